// The common envelope of every device request: which driver and which open
// device it is meant for, how the device is reached, a free list of named
// parameters and the log identifier; and the transport made from it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/parameter_list.h"
#include "device/receipt_util.h"
#include "transport/io_handler.h"

namespace korvane {

// How a request's optional texts are read when one of them cannot be (an
// element holding elements where a text belongs): the call fails, or the
// text is left out and noted.
enum class MalformedText : uint8_t { Fail, LeaveOut };

// Notes a text left out: "<aWhere> (<aWhy>)", once.
void NoteLeftOutText(std::vector<std::string>& aNotes, std::string_view aWhere, std::string_view aWhy);

// Appends one entry per child node of aParameters, in document order: the
// child's name in lower case, "=", and the text of the first child of
// aParameters with that name (read as string, with its wrapped error). With
// aLeftOut given, a child whose text cannot be read is left out and noted
// there ("Parameters/<name> (<why>)") instead. With aChildren given, it
// receives the children of aParameters as read, in order.
void AppendParameterEntries(XmlNode aParameters, kParameterList& aList,
                            std::vector<std::string>* aLeftOut = nullptr,
                            std::vector<kXmlChild>* aChildren = nullptr);

// Elements of the request's root element that a caller reads beside the
// envelope, found in the envelope's own pass over the root's children (as
// XmlFindChild finds them).
struct kEnvelopeNodes {
  std::string_view fDocumentName;  // a further element to find (empty: none)
  XmlNode fParameters;
  XmlNode fDocument;  // the element fDocumentName
};

class kDeviceHandler {
 public:
  kDeviceHandler() = default;
  virtual ~kDeviceHandler() = default;
  kDeviceHandler(const kDeviceHandler&) = delete;
  kDeviceHandler& operator=(const kDeviceHandler&) = delete;

  // Parses a request (UTF-16, as it comes from the host; or UTF-8) and fills
  // the envelope fields: Type, Driver, Method, Handle, LogId, the Connection
  // element, the Parameters entries, then the DeviceName and ConnectTimeout
  // parameter overrides. Returns the parsed document for the caller to read
  // more from. With MalformedText::LeaveOut (for calls that need none of
  // them) a Parameters entry or override that cannot be read is left out
  // and noted in fLeftOutTexts. With aParameterChildren given, it receives
  // the children of Parameters as read (valid while the document lives), so
  // that the caller can look more of them up without reading them again;
  // with aNodes given, it receives the Parameters element and the element
  // aNodes->fDocumentName.
  kXmlDocument Deserialize(std::u16string_view aXml, MalformedText aMalformed = MalformedText::Fail,
                           std::vector<kXmlChild>* aParameterChildren = nullptr,
                           kEnvelopeNodes* aNodes = nullptr);
  kXmlDocument Deserialize(std::string_view aXml, MalformedText aMalformed = MalformedText::Fail,
                           std::vector<kXmlChild>* aParameterChildren = nullptr,
                           kEnvelopeNodes* aNodes = nullptr);

  // The envelope as an XML text (document element ReceiptPrinterManager).
  // Fails when a parameter name is not a valid element name.
  std::string Serialize() const;

  std::string GetParameter(std::string_view aName) const { return fParameters.Value(aName); }
  bool ParameterExists(std::string_view aName) const { return fParameters.Exists(aName); }
  void SetParameter(std::string_view aName, std::string_view aValue) { fParameters.Set(aName, aValue); }

  // Makes the transport for fConnection through the transport table, with
  // the log in aLogDir named fDriver "_" fLogId, and hex logging on exactly
  // when the parameter HexLog is "true" in any letter case. The caller owns it.
  // Fails when fLogId cannot name a log file of its own: a character invalid
  // in paths ("Invalid characters in path"), one of / \ : * ? or more than
  // 200 bytes, each with an error naming LogId.
  std::unique_ptr<kIOHandler> CreateIOHandler(const std::string& aLogDir) const;

  std::string fType;
  std::string fDriver;
  std::string fMethod;
  kConnection fConnection;
  int32_t fDeviceHandle = 0;
  kParameterList fParameters;
  std::string fLogId;
  // The optional texts the last Deserialize left out, one note each.
  std::vector<std::string> fLeftOutTexts;

 protected:
  // Brings every field back to a new holder's state, keeping the room its
  // texts took: one holder may serve call after call. Each Deserialize
  // begins with it.
  void Reset();
  // Reads the envelope from a parsed document.
  void ReadEnvelope(XmlTree& aDocument, MalformedText aMalformed,
                    std::vector<kXmlChild>* aParameterChildren = nullptr, kEnvelopeNodes* aNodes = nullptr);

 private:
  void ReadConnection(XmlNode aConnection);

  bool fConnectionRead = false;  // whether fConnection may differ from a new one's
};

}  // namespace korvane

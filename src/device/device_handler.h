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

#include "device/receipt_util.h"
#include "transport/io_handler.h"

namespace korvane {

// An ordered list of entries name "=" value (split at the first "="). Names
// are looked up without regard to letter case (ASCII letters); the first
// matching entry wins; duplicates are allowed and keep their order. The
// entries share one text buffer, so that filling and copying a list takes
// few allocations.
class kParameterList {
 public:
  void Append(std::string_view aName, std::string_view aValue);
  // Appends aName in lower case (ASCII letters) "=" aValue.
  void AppendLowerCaseName(std::string_view aName, std::string_view aValue);
  struct NamedValue {
    std::string_view name;
    std::string_view value;
  };
  // The same for each of aEntries in order, the room for all taken at once.
  void AppendLowerCaseNames(std::span<const NamedValue> aEntries);
  // Appends a whole entry as it is (a line without "=" matches no name).
  void AppendEntry(std::string_view aEntry);
  // Index of the first entry named aName, or -1.
  int IndexOfName(std::string_view aName) const;
  // The value of the first entry named aName; "" when there is none.
  std::string Value(std::string_view aName) const;
  bool Exists(std::string_view aName) const { return IndexOfName(aName) >= 0; }
  // With a non-empty aValue replaces the first entry named aName by
  // aName "=" aValue (the name kept as given) or appends it; with an empty
  // aValue removes the first entry named aName.
  void Set(std::string_view aName, std::string_view aValue);
  void Clear();

  size_t Count() const { return fEntries.size(); }
  // The entry at aIndex (valid until the list changes).
  std::string_view operator[](size_t aIndex) const {
    return std::string_view(fText).substr(fEntries[aIndex].offset, fEntries[aIndex].length);
  }
  std::vector<std::string> Entries() const;

  // The name of the entry at aIndex ("" when it has no "=").
  std::string_view NameAt(size_t aIndex) const {
    const Span& e = fEntries[aIndex];
    return e.nameLength == std::string_view::npos ? std::string_view()
                                                  : std::string_view(fText).substr(e.offset, e.nameLength);
  }
  bool HasName(size_t aIndex) const { return fEntries[aIndex].nameLength != std::string_view::npos; }
  // The value of the entry at aIndex (after its first "="; "" without one).
  std::string_view ValueAt(size_t aIndex) const {
    const Span& e = fEntries[aIndex];
    return e.nameLength == std::string_view::npos
               ? std::string_view()
               : std::string_view(fText).substr(e.offset + e.nameLength + 1, e.length - e.nameLength - 1);
  }

  static std::string_view NameOf(std::string_view aEntry);
  static std::string_view ValueOf(std::string_view aEntry);

 private:
  struct Span {
    size_t offset;
    size_t length;
    size_t nameLength;  // position of the first "=" (npos: none)
  };
  char* Reserve(size_t aLength, size_t aNameLength);

  std::string fText;
  std::vector<Span> fEntries;
};

// A fixed set of distinct names (texts that outlive it) to look up together
// in parameter lists:
// made once, it then finds all of them in one pass over a list, each as
// kParameterList::IndexOfName would (ASCII letter case ignored, the first
// matching entry).
class kParameterNames {
 public:
  explicit kParameterNames(std::span<const std::string_view> aNames);
  size_t Count() const { return fNames.size(); }
  // aIndexes[k] (Count() of them): the index of the first entry of aList
  // named like the k-th name, or -1.
  void Find(const kParameterList& aList, std::span<int> aIndexes) const;

 private:
  std::vector<std::string_view> fNames;
  std::vector<uint32_t> fSlots;  // name index + 1; 0 is free
};

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
void AppendParameterEntries(pugi::xml_node aParameters, kParameterList& aList,
                            std::vector<std::string>* aLeftOut = nullptr,
                            std::vector<kXmlChild>* aChildren = nullptr);

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
  // that the caller can look more of them up without reading them again.
  kXmlDocument Deserialize(std::u16string_view aXml, MalformedText aMalformed = MalformedText::Fail,
                           std::vector<kXmlChild>* aParameterChildren = nullptr);
  kXmlDocument Deserialize(std::string_view aXml, MalformedText aMalformed = MalformedText::Fail,
                           std::vector<kXmlChild>* aParameterChildren = nullptr);

  // The envelope as an XML text (document element ReceiptPrinterManager).
  // Fails when a parameter name is not a valid element name.
  std::string Serialize() const;

  std::string GetParameter(std::string_view aName) const { return fParameters.Value(aName); }
  bool ParameterExists(std::string_view aName) const { return fParameters.Exists(aName); }
  void SetParameter(std::string_view aName, std::string_view aValue) { fParameters.Set(aName, aValue); }

  // Makes the transport for fConnection through the transport table, with
  // the log in aLogDir named fDriver "_" fLogId, and hex logging on exactly
  // when the parameter HexLog is "true" in any letter case. The caller owns it.
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
  // Reads the envelope from a parsed document.
  void ReadEnvelope(const pugi::xml_document& aDocument, MalformedText aMalformed,
                    std::vector<kXmlChild>* aParameterChildren = nullptr);

 private:
  void ReadConnection(pugi::xml_node aConnection);
};

}  // namespace korvane

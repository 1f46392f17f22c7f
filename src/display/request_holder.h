// The request holder of every display call. The documents it reads have
// headers of their own: open_document.h (the OPEN settings) and
// display_documents.h (the message, idle, thank-you and receipt documents).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/currency.h"
#include "device/byte_set.h"
#include "device/device_handler.h"
#include "device/receipt_util.h"
#include "display/display_documents.h"
#include "display/open_document.h"

namespace korvane {

// Which document a request holder reads.
enum tkCustomerDisplayHandlerDocumentType : uint8_t {
  dt_Open,
  dt_Message,
  dt_Receipt,
  dt_Thankyou,
  dt_Idle,
  dt_Close
};
using tkCustomerDisplayHandlerDocumentTypes = kByteSet<tkCustomerDisplayHandlerDocumentType>;

// The request holder of every customer-display call: the common envelope,
// the display-side texts of Parameters (FPType ...) and one document per
// call kind.
class kCustomerDisplayHandler : public kDeviceHandler {
 public:
  kCustomerDisplayHandler() = default;
  ~kCustomerDisplayHandler() override = default;

  // Reads the envelope, the FP texts of Parameters and the first document
  // of aDocumentTypes in the order Open, Message, Receipt, Thankyou, Idle.
  // Fails with "Parameters node not found" when the request has no
  // Parameters element. For {dt_Close} alone it reads an optional Message
  // element into fMessage (for CLOSEMESSAGE) and the optional parameters
  // CloseText1 and CloseText2 into fOpen (for CLOSE); then an optional
  // text that cannot be read (the display texts and entries of Parameters,
  // the texts of Message) is left out and noted in fLeftOutTexts, so that
  // these calls always reach their device.
  void Deserialize(std::u16string_view aXml, tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
  void Deserialize(std::string_view aXml, tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);

  // The OPEN settings (OPEN), or the close texts (CLOSE); the RECEIPT,
  // THANKYOU and IDLE documents. A call of another kind never makes them
  // and sees them empty.
  const kOpen& Open() const { return fOpen ? *fOpen : Empty<kOpen>(); }
  const kCDReceipt& Receipt() const { return fReceipt ? *fReceipt : Empty<kCDReceipt>(); }
  const kThankyou& Thankyou() const { return fThankyou ? *fThankyou : Empty<kThankyou>(); }
  const kIdle& Idle() const { return fIdle ? *fIdle : Empty<kIdle>(); }
  kMessage fMessage;
  // The display-side texts, as read. fType hides the envelope's
  // kDeviceHandler::fType (the root Type element), which keeps its value.
  std::string fType;
  std::string fConnectTimeout;
  std::string fReadTimeout;
  std::string fAddress;
  std::string fPort;
  std::string fURL;
  std::string fAuthType;
  std::string fUser;
  std::string fPassword;
  std::string fSerialPort;
  std::string fSpeed;
  std::string fDataBits;
  std::string fParity;
  std::string fStopBits;
  std::string fLibraryName;
  std::string fPrinterName;
  std::string fProtocol;

 private:
  template <class T>
  static const T& Empty() {
    static const T kEmpty;
    return kEmpty;
  }
  std::unique_ptr<kOpen> fOpen;
  std::unique_ptr<kCDReceipt> fReceipt;
  std::unique_ptr<kThankyou> fThankyou;
  std::unique_ptr<kIdle> fIdle;
  bool fDisplaySideTextsRead = false;  // whether a display-side text may be non-empty

  // The documents back to a new holder's state (the envelope's Reset does
  // the rest; the display-side texts are cleared where they were read).
  void ResetDocuments();
  static MalformedText MalformedTextsOf(tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
  // aParameterChildren: the children of Parameters, as the envelope read them.
  // aNodes: the Parameters element and the document element as the
  // envelope's pass found them (DocumentNameOf).
  static std::string_view DocumentNameOf(tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
  void ReadDocuments(const kEnvelopeNodes& aNodes, std::span<const kXmlChild> aParameterChildren,
                     tkCustomerDisplayHandlerDocumentTypes aDocumentTypes);
};

}  // namespace korvane

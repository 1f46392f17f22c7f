#include "request_builder.h"

#include "korvane_library.h"

namespace korvane::host {

// examples/*.xml, embedded.
extern const std::string_view kExampleOpen;
extern const std::string_view kExampleClose;
extern const std::string_view kExampleMessage;
extern const std::string_view kExampleCloseMessage;
extern const std::string_view kExampleReceipt;
extern const std::string_view kExampleThankyou;
extern const std::string_view kExampleIdle;

namespace {

std::string Escape(std::string_view aText) {
  std::string out;
  for (const char c : aText) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string Element(const char* aName, std::string_view aText) {
  return std::string("<") + aName + ">" + Escape(aText) + "</" + aName + ">";
}

std::string Request(const std::string& aMethod, const std::string& aConnection,
                    const std::string& aParameters, const std::string& aBody, const std::string& aLogId) {
  std::string xml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<ReceiptPrinterManager>";
  xml +=
      Element("Type", "CustomerDisplay") + Element("Driver", "QORD_KORVANE_10") + Element("Method", aMethod);
  xml += aMethod == "OPEN" ? Element("LogId", aLogId) : "<Handle>HANDLE</Handle>";
  xml += aConnection;
  xml += "<Parameters>" + aParameters + "</Parameters>";
  xml += aBody;
  xml += "</ReceiptPrinterManager>";
  return xml;
}

std::string WithHandle(std::string aRequest, const std::string& aHandle) {
  if (const auto at = aRequest.find("<Handle>HANDLE</Handle>"); at != std::string::npos)
    aRequest.replace(at + 8, 6, aHandle);
  return aRequest;
}

std::string TextDocument(const char* aElement, std::string_view aText1, std::string_view aText2) {
  return std::string("<") + aElement + ">" + Element("Text1", aText1) + Element("Text2", aText2) + "</" +
         aElement + ">";
}

std::string TcpConnection(const DisplayAddress& aDisplay, int aReadTimeoutMs) {
  return "<Connection>" + Element("Type", "TCP") + Element("Address", aDisplay.fHost) +
         Element("Port", std::to_string(aDisplay.fPort)) + Element("ConnectTimeout", "3000") +
         Element("ReadTimeout", std::to_string(aReadTimeoutMs)) + "</Connection>";
}

std::string RequestTemplate(const std::string& aExport) {
  const std::string name = RequestCallName(aExport);
  if (name == "OPEN") return std::string(kExampleOpen);
  if (name == "CLOSE") return std::string(kExampleClose);
  if (name == "MESSAGE") return std::string(kExampleMessage);
  if (name == "CLOSEMESSAGE") return std::string(kExampleCloseMessage);
  if (name == "RECEIPT") return std::string(kExampleReceipt);
  if (name == "THANKYOU") return std::string(kExampleThankyou);
  return std::string(kExampleIdle);
}

}  // namespace korvane::host

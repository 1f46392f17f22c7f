// The request holder of the customer-display calls.
#include "display/request_holder.h"

#include <array>

#include "platform/error.h"

namespace korvane {

void kCustomerDisplayHandler::Deserialize(std::u16string_view aXml,
                                          tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  std::vector<kXmlChild> parameters;
  const kXmlDocument doc = kDeviceHandler::Deserialize(aXml, MalformedTextsOf(aDocumentTypes), &parameters);
  ReadDocuments(*doc, parameters, aDocumentTypes);
}

void kCustomerDisplayHandler::Deserialize(std::string_view aXml,
                                          tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  std::vector<kXmlChild> parameters;
  const kXmlDocument doc = kDeviceHandler::Deserialize(aXml, MalformedTextsOf(aDocumentTypes), &parameters);
  ReadDocuments(*doc, parameters, aDocumentTypes);
}

MalformedText kCustomerDisplayHandler::MalformedTextsOf(
    tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  // CLOSE and CLOSEMESSAGE must end the device whatever optional text
  // they carry.
  return aDocumentTypes == tkCustomerDisplayHandlerDocumentTypes{dt_Close} ? MalformedText::LeaveOut
                                                                           : MalformedText::Fail;
}

void kCustomerDisplayHandler::ReadDocuments(const pugi::xml_document& aDocument,
                                            std::span<const kXmlChild> aParameterChildren,
                                            tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  if (!XmlFindChild(aDocument.document_element(), "Parameters")) throw Error("Parameters node not found");

  struct Text {
    const char* name;
    std::string kCustomerDisplayHandler::*field;
  };
  static constexpr Text kTexts[] = {
      {"FPType", &kCustomerDisplayHandler::fType},
      {"FPConnectTimeout", &kCustomerDisplayHandler::fConnectTimeout},
      {"FPReadTimeout", &kCustomerDisplayHandler::fReadTimeout},
      {"FPAddress", &kCustomerDisplayHandler::fAddress},
      {"FPPort", &kCustomerDisplayHandler::fPort},
      {"FPURL", &kCustomerDisplayHandler::fURL},
      {"FPAuthType", &kCustomerDisplayHandler::fAuthType},
      {"FPUser", &kCustomerDisplayHandler::fUser},
      {"FPPassword", &kCustomerDisplayHandler::fPassword},
      {"FPSerialPort", &kCustomerDisplayHandler::fSerialPort},
      {"FPSpeed", &kCustomerDisplayHandler::fSpeed},
      {"FPDataBits", &kCustomerDisplayHandler::fDataBits},
      {"FPParity", &kCustomerDisplayHandler::fParity},
      {"FPStopBits", &kCustomerDisplayHandler::fStopBits},
      {"FPLibraryName", &kCustomerDisplayHandler::fLibraryName},
      {"FPPrinterName", &kCustomerDisplayHandler::fPrinterName},
      {"FPProtocol", &kCustomerDisplayHandler::fProtocol},
  };
  static constexpr auto kNames = [] {
    std::array<std::string_view, std::size(kTexts)> names{};
    for (size_t i = 0; i < names.size(); ++i) names[i] = kTexts[i].name;
    return names;
  }();
  std::array<pugi::xml_node, std::size(kTexts)> found;
  XmlFindChildren(aParameterChildren, kNames, found);  // among the children read with the envelope
  const bool leaveOut = MalformedTextsOf(aDocumentTypes) == MalformedText::LeaveOut;
  for (size_t i = 0; i < found.size(); ++i) {
    if (!leaveOut) {
      this->*kTexts[i].field = XmlChildAsString(found[i], kNames[i]);
      continue;
    }
    try {
      this->*kTexts[i].field = found[i] ? XmlNodeText(found[i]) : std::string();
    } catch (const std::exception& e) {
      (this->*kTexts[i].field).clear();
      NoteLeftOutText(fLeftOutTexts, "Parameters/" + std::string(XmlNodeNameView(found[i])), e.what());
    }
  }

  if (aDocumentTypes.Contains(dt_Open)) {
    fOpen.Deserialize(fParameters);  // the entries of this document's Parameters
  } else if (aDocumentTypes.Contains(dt_Message)) {
    fMessage.Deserialize("Message", aDocument);
  } else if (aDocumentTypes.Contains(dt_Receipt)) {
    fReceipt.Deserialize(aDocument);
  } else if (aDocumentTypes.Contains(dt_Thankyou)) {
    fThankyou.Deserialize("Thankyou", aDocument);
  } else if (aDocumentTypes.Contains(dt_Idle)) {
    fIdle.Deserialize("Idle", aDocument);
  } else if (aDocumentTypes.Contains(dt_Close)) {
    // CLOSEMESSAGE shows the texts of an optional Message element, CLOSE the
    // optional close texts of the parameters.
    // A text that cannot be read is left out (noted in fLeftOutTexts).
    fMessage.DeserializeOptional("Message", aDocument, &fLeftOutTexts);
    fOpen.DeserializeCloseTexts(fParameters);
  }
}

}  // namespace korvane

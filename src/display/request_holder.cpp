// The request holder of the customer-display calls.
#include "display/request_holder.h"

#include <algorithm>
#include <array>

#include "platform/error.h"

namespace korvane {

void kCustomerDisplayHandler::Deserialize(std::u16string_view aXml,
                                          tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  ResetDocuments();
  std::vector<kXmlChild> parameters;
  kEnvelopeNodes nodes{DocumentNameOf(aDocumentTypes), {}, {}};
  const kXmlDocument doc =
      kDeviceHandler::Deserialize(aXml, MalformedTextsOf(aDocumentTypes), &parameters, &nodes);
  ReadDocuments(nodes, parameters, aDocumentTypes);
}

void kCustomerDisplayHandler::Deserialize(std::string_view aXml,
                                          tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  ResetDocuments();
  std::vector<kXmlChild> parameters;
  kEnvelopeNodes nodes{DocumentNameOf(aDocumentTypes), {}, {}};
  const kXmlDocument doc =
      kDeviceHandler::Deserialize(aXml, MalformedTextsOf(aDocumentTypes), &parameters, &nodes);
  ReadDocuments(nodes, parameters, aDocumentTypes);
}

void kCustomerDisplayHandler::ResetDocuments() {
  fMessage.Clear();
  fOpen.reset();
  fReceipt.reset();
  fThankyou.reset();
  fIdle.reset();
}

MalformedText kCustomerDisplayHandler::MalformedTextsOf(
    tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  // CLOSE and CLOSEMESSAGE must end the device whatever optional text
  // they carry.
  return aDocumentTypes == tkCustomerDisplayHandlerDocumentTypes{dt_Close} ? MalformedText::LeaveOut
                                                                           : MalformedText::Fail;
}

std::string_view kCustomerDisplayHandler::DocumentNameOf(
    tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  // The first of the types in the order ReadDocuments reads them.
  if (aDocumentTypes.Contains(dt_Open)) return {};
  if (aDocumentTypes.Contains(dt_Message)) return "Message";
  if (aDocumentTypes.Contains(dt_Receipt)) return "Receipt";
  if (aDocumentTypes.Contains(dt_Thankyou)) return "Thankyou";
  if (aDocumentTypes.Contains(dt_Idle)) return "Idle";
  if (aDocumentTypes.Contains(dt_Close)) return "Message";
  return {};
}

void kCustomerDisplayHandler::ReadDocuments(const kEnvelopeNodes& aNodes,
                                            std::span<const kXmlChild> aParameterChildren,
                                            tkCustomerDisplayHandlerDocumentTypes aDocumentTypes) {
  if (!aNodes.fParameters) throw Error("Parameters node not found");

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
  // Every one of the names begins with "FP": without such a child (the
  // usual request) all the texts are empty.
  const bool any = std::any_of(aParameterChildren.begin(), aParameterChildren.end(), [](const kXmlChild& c) {
    return c.fName.starts_with("FP") || c.fLocalName.starts_with("FP");
  });
  if (!any) {
    // (Cleared only where an earlier request of this holder read some.)
    if (fDisplaySideTextsRead)
      for (const Text& text : kTexts) (this->*text.field).clear();
    fDisplaySideTextsRead = false;
  }
  std::array<XmlNode, std::size(kTexts)> found;
  if (any) {
    XmlFindChildren(aParameterChildren, kNames, found);  // among the children read with the envelope
    fDisplaySideTextsRead = true;
  }
  const bool leaveOut = MalformedTextsOf(aDocumentTypes) == MalformedText::LeaveOut;
  for (size_t i = 0; any && i < found.size(); ++i) {
    if (!leaveOut) {
      (this->*kTexts[i].field).assign(XmlChildAsStringView(found[i], kNames[i]));
      continue;
    }
    try {
      (this->*kTexts[i].field).assign(found[i] ? XmlNodeTextView(found[i]) : std::string_view());
    } catch (const std::exception& e) {
      (this->*kTexts[i].field).clear();
      NoteLeftOutText(fLeftOutTexts, "Parameters/" + std::string(XmlNodeNameView(found[i])), e.what());
    }
  }

  if (aDocumentTypes.Contains(dt_Open)) {
    fOpen = std::make_unique<kOpen>();
    fOpen->Deserialize(fParameters);  // the entries of this document's Parameters
  } else if (aDocumentTypes.Contains(dt_Message)) {
    fMessage.Deserialize("Message", aNodes.fDocument);
  } else if (aDocumentTypes.Contains(dt_Receipt)) {
    fReceipt = std::make_unique<kCDReceipt>();
    fReceipt->Deserialize(aNodes.fDocument);
  } else if (aDocumentTypes.Contains(dt_Thankyou)) {
    fThankyou = std::make_unique<kThankyou>();
    fThankyou->Deserialize("Thankyou", aNodes.fDocument);
  } else if (aDocumentTypes.Contains(dt_Idle)) {
    fIdle = std::make_unique<kIdle>();
    fIdle->Deserialize("Idle", aNodes.fDocument);
  } else if (aDocumentTypes.Contains(dt_Close)) {
    // CLOSEMESSAGE shows the texts of an optional Message element, CLOSE the
    // optional close texts of the parameters.
    // A text that cannot be read is left out (noted in fLeftOutTexts).
    fMessage.DeserializeOptional("Message", aNodes.fDocument, &fLeftOutTexts);
    fOpen = std::make_unique<kOpen>();
    fOpen->DeserializeCloseTexts(fParameters);
  }
}

}  // namespace korvane

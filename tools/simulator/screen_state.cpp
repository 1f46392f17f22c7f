#include "screen_state.h"

#include <algorithm>

#include "helpers/ascii.h"

namespace korvane::simulator {

using nlohmann::json;

const char* const kDefaultColors[10] = {
    "#fef7ff",  // surface
    "#1d1b20",  // on surface
    "#49454f",  // on surface variant
    "#6750a4",  // primary
    "#ffffff",  // on primary
    "#eaddff",  // primary container
    "#21005d",  // on primary container
    "#625b71",  // secondary
    "#ffffff",  // on secondary
    "#cac4d0",  // outline variant
};

namespace {

// The fixed words of the screen in the languages the simulator knows; the
// language code's first two letters choose, English otherwise.
struct Labels {
  const char* fCode;
  char fDecimalPoint;
  const char *fSubtotal, *fTaxes, *fTotal, *fPayments, *fChange, *fQuantity, *fThankyou, *fClosed, *fWaiting;
};

const Labels kLabels[] = {
    {"en", '.', "Subtotal", "Taxes", "Total", "Payments", "Change", "Qty", "Thank you", "Closed",
     "Waiting for the point of sale"},
    {"de", ',', "Zwischensumme", "Steuern", "Summe", "Zahlungen", "Rückgeld", "Menge", "Vielen Dank",
     "Geschlossen", "Warte auf die Kasse"},
    {"fr", ',', "Sous-total", "Taxes", "Total", "Paiements", "Rendu", "Qté", "Merci", "Fermé",
     "En attente de la caisse"},
    {"es", ',', "Subtotal", "Impuestos", "Total", "Pagos", "Cambio", "Cant.", "Gracias", "Cerrado",
     "Esperando a la caja"},
    {"it", ',', "Subtotale", "Imposte", "Totale", "Pagamenti", "Resto", "Qtà", "Grazie", "Chiuso",
     "In attesa della cassa"},
    {"nl", ',', "Subtotaal", "Belasting", "Totaal", "Betalingen", "Wisselgeld", "Aantal", "Bedankt",
     "Gesloten", "Wachten op de kassa"},
    {"pt", ',', "Subtotal", "Impostos", "Total", "Pagamentos", "Troco", "Qtd.", "Obrigado", "Fechado",
     "À espera da caixa"},
};

const Labels& LabelsFor(const std::string& aLanguage) {
  const std::string code = AsciiLower(aLanguage.substr(0, 2));
  for (const auto& labels : kLabels)
    if (code == labels.fCode) return labels;
  return kLabels[0];
}

// How the screen draws a receipt line of the given type.
const char* LineKind(const std::string& aType) {
  const std::string type = AsciiLower(aType);
  if (type == "text") return "text";
  if (type == "subtotal") return "subtotal";
  if (type == "productreturn") return "return";
  if (type.rfind("discount", 0) == 0 || type == "voucherredeem" || type == "giftcardredeem")
    return "discount";
  if (type.rfind("markup", 0) == 0) return "markup";
  return "sale";
}

DisplaySettings SettingsFrom(const OpenMessage& aOpen, std::vector<std::string>& aWarnings) {
  DisplaySettings settings;
  auto take = [](const std::optional<std::string>& aValue, std::string& aField) {
    if (aValue && !aValue->empty()) aField = *aValue;
  };
  take(aOpen.fMode, settings.fMode);
  take(aOpen.fLayout, settings.fLayout);
  take(aOpen.fContentRatio, settings.fContentRatio);
  take(aOpen.fLanguage, settings.fLanguage);
  take(aOpen.fFontName, settings.fFontName);
  settings.fShowTaxes = aOpen.fShowTaxes;
  if (aOpen.fIdleTimeout) settings.fIdleTimeout = *aOpen.fIdleTimeout;
  settings.fIdleText1 = aOpen.fIdleText1;
  settings.fIdleText2 = aOpen.fIdleText2;
  settings.fThankyouText1 = aOpen.fThankyouText1;
  settings.fThankyouText2 = aOpen.fThankyouText2;
  settings.fCloseText1 = aOpen.fCloseText1;
  settings.fCloseText2 = aOpen.fCloseText2;
  settings.fShowOnlyVideo = aOpen.fShowOnlyVideo;
  const std::string url = AsciiLower(aOpen.fIdleVideoUrl);
  if (url.rfind("http://", 0) == 0 || url.rfind("https://", 0) == 0)
    settings.fIdleVideoUrl = aOpen.fIdleVideoUrl;
  else if (!aOpen.fIdleVideoUrl.empty())
    aWarnings.push_back("Open.IdleVideoUrl: not an http or https address, ignored");
  for (int i = 0; i < 10; ++i) {
    settings.fColors[i] = kDefaultColors[i];
    if (aOpen.fColors[i].empty()) continue;
    if (auto css = NormalizeColor(aOpen.fColors[i]))
      settings.fColors[i] = *css;
    else
      aWarnings.push_back(std::string("Open.") + kColorRoles[i] + ": \"" + aOpen.fColors[i] +
                          "\" is not a colour, default used");
  }
  auto usable = [](const ImagePtr& aImage) { return aImage && aImage->fError.empty() ? aImage : nullptr; };
  settings.fLogoDark = usable(aOpen.fLogoDark);
  settings.fLogoLight = usable(aOpen.fLogoLight);
  settings.fIdleImage = usable(aOpen.fIdleImage);
  settings.fReceiptImage = usable(aOpen.fReceiptImage);
  settings.fThankyouImage = usable(aOpen.fThankyouImage);
  return settings;
}

ImagePtr Usable(const ImagePtr& aImage) { return aImage && aImage->fError.empty() ? aImage : nullptr; }

// Relative luminance of a "#rrggbb" colour; other forms count as light.
double Luminance(const std::string& aCss) {
  if (aCss.size() != 7 || aCss[0] != '#') return 1.0;
  const auto channel = [&](int at) { return std::stoi(aCss.substr(at, 2), nullptr, 16) / 255.0; };
  return 0.2126 * channel(1) + 0.7152 * channel(3) + 0.0722 * channel(5);
}

}  // namespace

const char* ScreenName(Screen aScreen) {
  switch (aScreen) {
    case Screen::Waiting: return "waiting";
    case Screen::Idle: return "idle";
    case Screen::Message: return "message";
    case Screen::Receipt: return "receipt";
    case Screen::Thankyou: return "thankyou";
    case Screen::Closed: return "closed";
  }
  return "?";
}

void ScreenState::Apply(const DisplayMessage& aMessage, Clock::time_point aNow,
                        std::vector<std::string>& aWarnings) {
  const TextMessage& text = aMessage.fText;
  const bool hasTexts = !text.fText1.empty() || !text.fText2.empty();
  const ImagePtr image = Usable(text.fImage);
  switch (aMessage.fKind) {
    case MessageKind::Open:
      fSettings = SettingsFrom(aMessage.fOpen, aWarnings);
      fOpened = true;
      fReceipt.reset();
      fIdleContent = {fSettings.fIdleText1, fSettings.fIdleText2, fSettings.fIdleImage};
      fContent = fIdleContent;
      fScreen = Screen::Idle;
      break;
    case MessageKind::Idle:
      fIdleContent = hasTexts ? Content{text.fText1, text.fText2, nullptr}
                              : Content{fSettings.fIdleText1, fSettings.fIdleText2, nullptr};
      fIdleContent.fImage = image ? image : fSettings.fIdleImage;
      fContent = fIdleContent;
      fScreen = Screen::Idle;
      break;
    case MessageKind::Message:
      fContent = {text.fText1, text.fText2, image};
      fScreen = Screen::Message;
      break;
    case MessageKind::Thankyou:
      fContent = hasTexts ? Content{text.fText1, text.fText2, nullptr}
                          : Content{fSettings.fThankyouText1, fSettings.fThankyouText2, nullptr};
      fContent.fImage = image ? image : fSettings.fThankyouImage;
      fScreen = Screen::Thankyou;
      break;
    case MessageKind::Close:
      fContent = hasTexts ? Content{text.fText1, text.fText2, image}
                          : Content{fSettings.fCloseText1, fSettings.fCloseText2, image};
      fOpened = false;
      fScreen = Screen::Closed;
      break;
    case MessageKind::Receipt:
      fReceipt = aMessage.fReceipt;
      fReceipt->fImage = Usable(fReceipt->fImage);
      fScreen = Screen::Receipt;
      break;
  }
  fLastActivity = aNow;
  fLastMessage = KindName(aMessage.fKind);
  fLastWarnings = aMessage.fWarnings;
  fLastWarnings.insert(fLastWarnings.end(), aWarnings.begin(), aWarnings.end());
  ++fMessages;
  ++fVersion;
  RegisterImages();
}

void ScreenState::NoteError(const std::string& aError) {
  ++fErrors;
  fLastError = aError;
  ++fVersion;
}

std::optional<ScreenState::Clock::time_point> ScreenState::IdleDeadline() const {
  if (fSettings.fIdleTimeout <= 0) return std::nullopt;
  if (fScreen != Screen::Message && fScreen != Screen::Receipt && fScreen != Screen::Thankyou)
    return std::nullopt;
  return fLastActivity + std::chrono::seconds(fSettings.fIdleTimeout);
}

bool ScreenState::CheckIdle(Clock::time_point aNow) {
  const auto deadline = IdleDeadline();
  if (!deadline || aNow < *deadline) return false;
  fContent = fIdleContent;
  fScreen = Screen::Idle;
  ++fVersion;
  RegisterImages();
  return true;
}

void ScreenState::RegisterImages() {
  std::vector<ImagePtr> live = {fSettings.fLogoDark,     fSettings.fLogoLight,     fSettings.fIdleImage,
                                fSettings.fReceiptImage, fSettings.fThankyouImage, fContent.fImage,
                                fIdleContent.fImage};
  if (fReceipt) live.push_back(fReceipt->fImage);
  std::map<std::uint64_t, ImagePtr> images;
  std::map<const Image*, std::uint64_t> serials;
  for (const auto& image : live) {
    if (!image || serials.count(image.get())) continue;
    const auto known = fSerials.find(image.get());
    const std::uint64_t serial = known != fSerials.end() ? known->second : fNextSerial++;
    serials[image.get()] = serial;
    images[serial] = image;
  }
  fImages = std::move(images);
  fSerials = std::move(serials);
}

ImagePtr ScreenState::ImageBySerial(std::uint64_t aSerial) const {
  const auto it = fImages.find(aSerial);
  return it == fImages.end() ? nullptr : it->second;
}

json ScreenState::ImageRef(const ImagePtr& aImage) const {
  if (!aImage) return nullptr;
  const auto it = fSerials.find(aImage.get());
  if (it == fSerials.end()) return nullptr;
  return {{"url", "/image/" + std::to_string(it->second)},
          {"type", aImage->fMime},
          {"bytes", aImage->fBytes.size()}};
}

ImagePtr ScreenState::Logo() const {
  // The dark variant belongs on a dark surface, the light one on a light surface.
  const bool dark = Luminance(fSettings.fColors[0]) < 0.5;
  const ImagePtr& preferred = dark ? fSettings.fLogoDark : fSettings.fLogoLight;
  return preferred ? preferred : (dark ? fSettings.fLogoLight : fSettings.fLogoDark);
}

json ScreenState::ContentJson(const Content& aContent) const {
  return {{"text1", aContent.fText1}, {"text2", aContent.fText2}, {"image", ImageRef(aContent.fImage)}};
}

json ScreenState::ReceiptJson() const {
  if (!fReceipt) return nullptr;
  const char point = LabelsFor(fSettings.fLanguage).fDecimalPoint;
  const ReceiptMessage& receipt = *fReceipt;
  json lines = json::array();
  for (const auto& line : receipt.fLines)
    lines.push_back({{"type", line.fType},
                     {"kind", LineKind(line.fType)},
                     {"code", line.fCode},
                     {"description", line.fDescription},
                     {"quantity", line.fQuantity.Format(0, point)},
                     {"price", line.fPrice.Format(2, point)},
                     {"amount", line.fAmount.Format(2, point)}});
  json payments = json::array();
  for (const auto& payment : receipt.fPayments)
    payments.push_back({{"type", payment.fType},
                        {"kind", AsciiEqualsIgnoreCase(payment.fType, "change") ? "change" : "payment"},
                        {"text1", payment.fText1},
                        {"text2", payment.fText2},
                        {"amount", payment.fAmount.Format(2, point)}});
  return {{"currency", receipt.fCurrency},
          {"subtotal", receipt.fSubtotal.Format(2, point)},
          {"taxes", receipt.fTaxes.Format(2, point)},
          {"total", receipt.fTotal.Format(2, point)},
          {"text1", receipt.fText1},
          {"text2", receipt.fText2},
          {"image", ImageRef(receipt.fImage ? receipt.fImage : fSettings.fReceiptImage)},
          {"showTaxes", fSettings.fShowTaxes},
          {"showPayments", receipt.fShowPayments},
          {"lines", std::move(lines)},
          {"payments", std::move(payments)}};
}

json ScreenState::ToJson() const {
  const DisplaySettings& s = fSettings;
  json colors = json::object();
  for (int i = 0; i < 10; ++i) {
    std::string role = kColorRoles[i] + 5;  // "ColorOnSurface" -> "onSurface"
    role[0] = AsciiLowerChar(role[0]);
    colors[role] = s.fColors[i];
  }
  const Labels& labels = LabelsFor(s.fLanguage);
  return {
      {"version", fVersion},
      {"screen", ScreenName(fScreen)},
      {"opened", fOpened},
      {"messages", fMessages},
      {"errors", fErrors},
      {"lastMessage", fLastMessage},
      {"lastError", fLastError},
      {"warnings", fLastWarnings},
      {"settings",
       {{"mode", s.fMode},
        {"layout", s.fLayout},
        {"contentRatio", s.fContentRatio},
        {"language", s.fLanguage},
        {"fontName", s.fFontName},
        {"showTaxes", s.fShowTaxes},
        {"idleTimeout", s.fIdleTimeout},
        {"idleText1", s.fIdleText1},
        {"idleText2", s.fIdleText2},
        {"thankyouText1", s.fThankyouText1},
        {"thankyouText2", s.fThankyouText2},
        {"closeText1", s.fCloseText1},
        {"closeText2", s.fCloseText2},
        {"showOnlyVideo", s.fShowOnlyVideo},
        {"idleVideoUrl", s.fIdleVideoUrl},
        {"colors", std::move(colors)},
        {"images",
         {{"logoDark", ImageRef(s.fLogoDark)},
          {"logoLight", ImageRef(s.fLogoLight)},
          {"idle", ImageRef(s.fIdleImage)},
          {"receipt", ImageRef(s.fReceiptImage)},
          {"thankyou", ImageRef(s.fThankyouImage)}}}}},
      {"labels",
       {{"subtotal", labels.fSubtotal},
        {"taxes", labels.fTaxes},
        {"total", labels.fTotal},
        {"payments", labels.fPayments},
        {"change", labels.fChange},
        {"quantity", labels.fQuantity},
        {"thankyou", labels.fThankyou},
        {"closed", labels.fClosed},
        {"waiting", labels.fWaiting}}},
      {"logo", ImageRef(Logo())},
      {"content", ContentJson(fContent)},
      {"receipt", ReceiptJson()},
  };
}

}  // namespace korvane::simulator

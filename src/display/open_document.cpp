// The OPEN settings and their settings file.
#include "display/open_document.h"

#include "base/ascii.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/utf.h"

namespace korvane {
namespace {

std::u16string Utf16FromBytes(std::string_view aBytes, bool aBigEndian) {
  std::u16string text;
  text.reserve(aBytes.size() / 2);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(aBytes[i]);
    const auto b1 = static_cast<unsigned char>(aBytes[i + 1]);
    text += static_cast<char16_t>(aBigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return text;
}

// The file's text: a byte-order mark selects UTF-8 or UTF-16 (either byte
// order); without one the bytes are in the ANSI code page.
std::string DecodeFileText(std::string_view aBytes) {
  if (aBytes.substr(0, 3) == "\xEF\xBB\xBF")  // UTF-8; bad sequences become U+FFFD
    return platform::Utf16ToUtf8(platform::Utf8ToUtf16(aBytes.substr(3)));
  if (aBytes.substr(0, 2) == "\xFF\xFE")
    return platform::Utf16ToUtf8(Utf16FromBytes(aBytes.substr(2), false));
  if (aBytes.substr(0, 2) == "\xFE\xFF") return platform::Utf16ToUtf8(Utf16FromBytes(aBytes.substr(2), true));
  return platform::DecodeCodePage(aBytes, platform::kAnsiCodePage);
}

// One layer over another: the file line for aKey when there is one, then the
// request entry when there is one (both even when empty).
class Settings {
 public:
  Settings(const kParameterList& aFile, const kParameterList& aRequest) : fFile(aFile), fRequest(aRequest) {}

  std::string FileOr(std::string_view aKey, std::string_view aDefault) const {
    const int i = fFile.IndexOfName(aKey);
    return i < 0 ? std::string(aDefault) : std::string(fFile.List().ValueAt(static_cast<size_t>(i)));
  }
  std::string Settle(std::string_view aKey, std::string_view aDefault) const {
    const int i = fRequest.IndexOfName(aKey);
    return i < 0 ? FileOr(aKey, aDefault) : std::string(fRequest.List().ValueAt(static_cast<size_t>(i)));
  }
  bool SettleBool(std::string_view aKey) const { return AsciiLower(Settle(aKey, "false")) == "true"; }
  // Overrides aValue with the request entry for aKey when there is one.
  void Override(std::string_view aKey, std::string& aValue) const {
    const int i = fRequest.IndexOfName(aKey);
    if (i >= 0) aValue = fRequest.List().ValueAt(static_cast<size_t>(i));
  }
  const kParameterList& Request() const { return fRequest.List(); }

 private:
  // Both lists stay as they are while the settings are read: looked up
  // through tables, each name in constant time.
  const kParameterIndex fFile;
  const kParameterIndex fRequest;
};

// The logo rule: a logo from the request (or, without one, from the file)
// stands for both variants; only without a logo do the request's variants
// count.
void SettleLogo(const Settings& aSettings, std::string_view aKey, std::string_view aDarkKey,
                std::string_view aLightKey, std::string& aLogo, std::string& aDark, std::string& aLight) {
  aLogo = aSettings.FileOr(aKey, "");
  aDark = aSettings.FileOr(aDarkKey, "");
  aLight = aSettings.FileOr(aLightKey, "");
  aSettings.Override(aKey, aLogo);
  if (!aLogo.empty()) {
    aDark = aLogo;
    aLight = aLogo;
  } else {
    aSettings.Override(aDarkKey, aDark);
    aSettings.Override(aLightKey, aLight);
  }
}

}  // namespace

// Relative to the current working directory, as the path ".\QORD_KORVANE_10.ini"
// is on the host system.
std::string kOpen::SettingsFilePath() { return std::string(".") + platform::kPathDelim + kSettingsFileName; }

kParameterList kOpen::LoadSettingsFile(const std::string& aPath) {
  kParameterList lines;
  if (!platform::FileExists(aPath)) return lines;
  const std::string text = DecodeFileText(platform::ReadFileBytes(aPath));
  // Lines end at CR LF, LF or CR.
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.AppendEntry(text.substr(start));
      break;
    }
    lines.AppendEntry(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

void kOpen::Deserialize(const pugi::xml_document& aXmlDocument) {
  kParameterList request;
  if (const pugi::xml_node parameters = XmlFindChild(aXmlDocument.document_element(), "Parameters"))
    AppendParameterEntries(parameters, request);
  Deserialize(request);
}

void kOpen::Deserialize(const kParameterList& aRequestParameters) {
  const kParameterList file = LoadSettingsFile(SettingsFilePath());
  if (fParameters.Count() == 0)
    fParameters = aRequestParameters;
  else
    for (size_t i = 0; i < aRequestParameters.Count(); ++i) fParameters.AppendEntry(aRequestParameters[i]);
  const Settings s(file, fParameters);

  fMode = s.Settle("mode", "Display");
  fLayout = s.Settle("layout", "0");
  fContentRatio = s.Settle("contentratio", "fromimage");
  fLanguage = s.Settle("language", "");
  fFontName = s.Settle("fontname", "Roboto");
  fShowTaxes = s.SettleBool("showtaxes");
  SettleLogo(s, "logoimage", "logoimage_dark", "logoimage_light", fLogoImage, fLogoImage_Dark,
             fLogoImage_Light);
  SettleLogo(s, "logoimageurl", "logoimage_darkurl", "logoimage_lighturl", fLogoImageUrl, fLogoImage_DarkUrl,
             fLogoImage_LightUrl);
  fIdleImage = s.Settle("idleimage", "");
  fIdleImageUrl = s.Settle("idleimageurl", "");
  fReceiptImage = s.Settle("receiptimage", "");
  fReceiptImageUrl = s.Settle("receiptimageurl", "");
  fThankyouImage = s.Settle("thankyouimage", "");
  fThankyouImageUrl = s.Settle("thankyouimageurl", "");
  // The idle time-out: the default or file text must be an integer; the
  // request's overrides only when it is not empty.
  fIdleTimeout = krptUtil::StrToInt(s.FileOr("idletimeout", "10"));
  const std::string requestTimeout = fParameters.Value("idletimeout");
  if (!requestTimeout.empty()) fIdleTimeout = krptUtil::StrToInt(requestTimeout);
  fIdleText1 = s.Settle("idletext1", "");
  fIdleText2 = s.Settle("idletext2", "");
  fThankyouText1 = s.Settle("thankyoutext1", "");
  fThankyouText2 = s.Settle("thankyoutext2", "");
  fCloseText1 = s.Settle("closetext1", "");
  fCloseText2 = s.Settle("closetext2", "");
  fShowOnlyVideo = s.SettleBool("showonlyvideo");
  fIdleVideoUrl = s.Settle("idlevideourl", "");
  fColorSurface = s.Settle("colorsurface", "");
  fColorOnSurface = s.Settle("coloronsurface", "");
  fColorOnSurfaceVariant = s.Settle("coloronsurfacevariant", "");
  fColorPrimary = s.Settle("colorprimary", "");
  fColorOnPrimary = s.Settle("coloronprimary", "");
  fColorPrimaryContainer = s.Settle("colorprimarycontainer", "");
  fColorOnPrimaryContainer = s.Settle("coloronprimarycontainer", "");
  fColorSecondary = s.Settle("colorsecondary", "");
  fColorOnSecondary = s.Settle("coloronsecondary", "");
  fColorOutlineVariant = s.Settle("coloroutlinevariant", "");
}

void kOpen::DeserializeCloseTexts(const kParameterList& aRequestParameters) {
  for (size_t i = 0; i < aRequestParameters.Count(); ++i) fParameters.AppendEntry(aRequestParameters[i]);
  fCloseText1 = fParameters.Value("closetext1");
  fCloseText2 = fParameters.Value("closetext2");
}

}  // namespace korvane

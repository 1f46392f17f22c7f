// The OPEN settings and their settings file.
#include "display/open_document.h"

#include "helpers/ascii.h"
#include "helpers/utf.h"
#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/process.h"

namespace korvane {
namespace {

// Line breaks as the file's lines end: CR LF, LF or CR each count once.
template <class Text>
size_t LineOf(const Text& aText, size_t aOffset) {
  size_t line = 1;
  for (size_t i = 0; i < aOffset && i < aText.size(); ++i) {
    if (aText[i] == '\n' || (aText[i] == '\r' && (i + 1 >= aText.size() || aText[i + 1] != '\n'))) ++line;
  }
  return line;
}

// The file's text, and where the first character that its encoding does not
// allow was (each such character is read as U+FFFD); line 0 when none.
struct FileText {
  std::string text;
  const char* encoding = "";
  size_t badLine = 0;
};

// UTF-16 in either byte order: a lone surrogate, and an odd last byte, each
// become U+FFFD.
FileText Utf16FromBytes(std::string_view aBytes, bool aBigEndian) {
  std::u16string text;
  text.reserve(aBytes.size() / 2 + 1);
  for (size_t i = 0; i + 1 < aBytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(aBytes[i]);
    const auto b1 = static_cast<unsigned char>(aBytes[i + 1]);
    text += static_cast<char16_t>(aBigEndian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  FileText result;
  result.encoding = "UTF-16";
  size_t bad = std::u16string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;  // a pair
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      text[i] = 0xFFFD;
      if (bad == std::u16string::npos) bad = i;
    }
  }
  if (aBytes.size() % 2 != 0) {
    if (bad == std::u16string::npos) bad = text.size();
    text += char16_t{0xFFFD};
  }
  if (bad != std::u16string::npos) result.badLine = LineOf(text, bad);
  result.text = platform::Utf16ToUtf8(text);
  return result;
}

// The file's text: a byte-order mark selects UTF-8 or UTF-16 (either byte
// order); without one the bytes are in the ANSI code page, where every byte
// is a character.
FileText DecodeFileText(std::string_view aBytes) {
  if (aBytes.substr(0, 3) == "\xEF\xBB\xBF") {  // UTF-8; bad sequences become U+FFFD
    const std::string_view bytes = aBytes.substr(3);
    FileText result;
    result.encoding = "UTF-8";
    const size_t bad = platform::InvalidUtf8Offset(bytes);
    if (bad != std::string_view::npos) result.badLine = LineOf(bytes, bad);
    result.text = platform::Utf16ToUtf8(platform::Utf8ToUtf16(bytes));
    return result;
  }
  if (aBytes.substr(0, 2) == "\xFF\xFE") return Utf16FromBytes(aBytes.substr(2), false);
  if (aBytes.substr(0, 2) == "\xFE\xFF") return Utf16FromBytes(aBytes.substr(2), true);
  FileText result;
  result.text = platform::DecodeCodePage(aBytes, platform::kAnsiCodePage);
  return result;
}

// The settings file as its notes and errors name it: the full path where the
// working directory can be told.
std::string SettingsFileShown(const std::string& aPath) {
  if (aPath != kOpen::SettingsFilePath()) return aPath;
  try {
    return platform::CurrentDirectory() + kOpen::kSettingsFileName;
  } catch (const std::exception&) {
    return aPath;
  }
}

// The settings OPEN reads, by their names in the lists (lower case).
enum Key : size_t {
  kMode,
  kLayout,
  kContentRatio,
  kLanguage,
  kFontName,
  kShowTaxes,
  kLogoImage,
  kLogoImageDark,
  kLogoImageLight,
  kLogoImageUrl,
  kLogoImageDarkUrl,
  kLogoImageLightUrl,
  kIdleImage,
  kIdleImageUrl,
  kReceiptImage,
  kReceiptImageUrl,
  kThankyouImage,
  kThankyouImageUrl,
  kIdleTimeout,
  kIdleText1,
  kIdleText2,
  kThankyouText1,
  kThankyouText2,
  kCloseText1,
  kCloseText2,
  kShowOnlyVideo,
  kIdleVideoUrl,
  kColorSurface,
  kColorOnSurface,
  kColorOnSurfaceVariant,
  kColorPrimary,
  kColorOnPrimary,
  kColorPrimaryContainer,
  kColorOnPrimaryContainer,
  kColorSecondary,
  kColorOnSecondary,
  kColorOutlineVariant,
  kKeyCount
};
constexpr std::string_view kKeyNames[kKeyCount] = {"mode",
                                                   "layout",
                                                   "contentratio",
                                                   "language",
                                                   "fontname",
                                                   "showtaxes",
                                                   "logoimage",
                                                   "logoimage_dark",
                                                   "logoimage_light",
                                                   "logoimageurl",
                                                   "logoimage_darkurl",
                                                   "logoimage_lighturl",
                                                   "idleimage",
                                                   "idleimageurl",
                                                   "receiptimage",
                                                   "receiptimageurl",
                                                   "thankyouimage",
                                                   "thankyouimageurl",
                                                   "idletimeout",
                                                   "idletext1",
                                                   "idletext2",
                                                   "thankyoutext1",
                                                   "thankyoutext2",
                                                   "closetext1",
                                                   "closetext2",
                                                   "showonlyvideo",
                                                   "idlevideourl",
                                                   "colorsurface",
                                                   "coloronsurface",
                                                   "coloronsurfacevariant",
                                                   "colorprimary",
                                                   "coloronprimary",
                                                   "colorprimarycontainer",
                                                   "coloronprimarycontainer",
                                                   "colorsecondary",
                                                   "coloronsecondary",
                                                   "coloroutlinevariant"};

const kParameterNames& KeyNames() {
  static const kParameterNames names(kKeyNames);
  return names;
}

// One layer over another: the file line for a key when there is one, then
// the request entry when there is one (both even when empty). Both lists
// stay as they are while the settings are read; every key is found in them
// at once, in one pass over each.
class Settings {
 public:
  Settings(const kParameterList& aFile, const kParameterList& aRequest) : fFile(aFile), fRequest(aRequest) {
    KeyNames().Find(aFile, fFileAt);
    KeyNames().Find(aRequest, fRequestAt);
  }

  std::string FileOr(Key aKey, std::string_view aDefault) const {
    const int i = fFileAt[aKey];
    return i < 0 ? std::string(aDefault) : std::string(fFile.ValueAt(static_cast<size_t>(i)));
  }
  std::string Settle(Key aKey, std::string_view aDefault) const {
    const int i = fRequestAt[aKey];
    return i < 0 ? FileOr(aKey, aDefault) : std::string(fRequest.ValueAt(static_cast<size_t>(i)));
  }
  bool SettleBool(Key aKey) const { return AsciiLower(Settle(aKey, "false")) == "true"; }
  // Overrides aValue with the request entry for aKey when there is one.
  void Override(Key aKey, std::string& aValue) const {
    const int i = fRequestAt[aKey];
    if (i >= 0) aValue = fRequest.ValueAt(static_cast<size_t>(i));
  }
  // The request entry for aKey; "" when there is none.
  std::string RequestValue(Key aKey) const {
    const int i = fRequestAt[aKey];
    return i < 0 ? std::string() : std::string(fRequest.ValueAt(static_cast<size_t>(i)));
  }

 private:
  const kParameterList& fFile;
  const kParameterList& fRequest;
  int fFileAt[kKeyCount];
  int fRequestAt[kKeyCount];
};

// The logo rule: a logo from the request (or, without one, from the file)
// stands for both variants; only without a logo do the request's variants
// count.
void SettleLogo(const Settings& aSettings, Key aKey, Key aDarkKey, Key aLightKey, std::string& aLogo,
                std::string& aDark, std::string& aLight) {
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

kParameterList kOpen::LoadSettingsFile(const std::string& aPath, std::vector<std::string>* aNotes) {
  kParameterList lines;
  if (!platform::FileExists(aPath)) return lines;
  const FileText file = DecodeFileText(platform::ReadFileBytes(aPath));
  const std::string& text = file.text;
  if (file.badLine > 0 && aNotes)
    aNotes->push_back("Settings file " + SettingsFileShown(aPath) + ": characters that are not valid " +
                      file.encoding + " read as U+FFFD, the first on line " + std::to_string(file.badLine));
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

void kOpen::Deserialize(XmlTree& aXmlDocument) {
  kParameterList request;
  if (const XmlNode parameters = XmlFindChild(aXmlDocument.DocumentElement(), "Parameters"))
    AppendParameterEntries(parameters, request);
  Deserialize(request);
}

void kOpen::Deserialize(const kParameterList& aRequestParameters) {
  fSettingsFileNotes.clear();
  const kParameterList file = LoadSettingsFile(SettingsFilePath(), &fSettingsFileNotes);
  if (fParameters.Count() == 0)
    fParameters = aRequestParameters;
  else
    for (size_t i = 0; i < aRequestParameters.Count(); ++i) fParameters.AppendEntry(aRequestParameters[i]);
  const Settings s(file, fParameters);

  fMode = s.Settle(kMode, "Display");
  fLayout = s.Settle(kLayout, "0");
  fContentRatio = s.Settle(kContentRatio, "fromimage");
  fLanguage = s.Settle(kLanguage, "");
  fFontName = s.Settle(kFontName, "Roboto");
  fShowTaxes = s.SettleBool(kShowTaxes);
  SettleLogo(s, kLogoImage, kLogoImageDark, kLogoImageLight, fLogoImage, fLogoImage_Dark, fLogoImage_Light);
  SettleLogo(s, kLogoImageUrl, kLogoImageDarkUrl, kLogoImageLightUrl, fLogoImageUrl, fLogoImage_DarkUrl,
             fLogoImage_LightUrl);
  fIdleImage = s.Settle(kIdleImage, "");
  fIdleImageUrl = s.Settle(kIdleImageUrl, "");
  fReceiptImage = s.Settle(kReceiptImage, "");
  fReceiptImageUrl = s.Settle(kReceiptImageUrl, "");
  fThankyouImage = s.Settle(kThankyouImage, "");
  fThankyouImageUrl = s.Settle(kThankyouImageUrl, "");
  // The idle time-out: the request's when it is not empty; otherwise the
  // file text (an error names the file and the key) or the default.
  const std::string requestTimeout = s.RequestValue(kIdleTimeout);
  if (!requestTimeout.empty()) {
    fIdleTimeout = krptUtil::StrToInt(requestTimeout);
  } else {
    try {
      fIdleTimeout = krptUtil::StrToInt(s.FileOr(kIdleTimeout, "10"));
    } catch (const std::exception& e) {
      throw Error("Settings file " + SettingsFileShown(SettingsFilePath()) +
                  ", key IdleTimeout: " + e.what());
    }
  }
  fIdleText1 = s.Settle(kIdleText1, "");
  fIdleText2 = s.Settle(kIdleText2, "");
  fThankyouText1 = s.Settle(kThankyouText1, "");
  fThankyouText2 = s.Settle(kThankyouText2, "");
  fCloseText1 = s.Settle(kCloseText1, "");
  fCloseText2 = s.Settle(kCloseText2, "");
  fShowOnlyVideo = s.SettleBool(kShowOnlyVideo);
  fIdleVideoUrl = s.Settle(kIdleVideoUrl, "");
  fColorSurface = s.Settle(kColorSurface, "");
  fColorOnSurface = s.Settle(kColorOnSurface, "");
  fColorOnSurfaceVariant = s.Settle(kColorOnSurfaceVariant, "");
  fColorPrimary = s.Settle(kColorPrimary, "");
  fColorOnPrimary = s.Settle(kColorOnPrimary, "");
  fColorPrimaryContainer = s.Settle(kColorPrimaryContainer, "");
  fColorOnPrimaryContainer = s.Settle(kColorOnPrimaryContainer, "");
  fColorSecondary = s.Settle(kColorSecondary, "");
  fColorOnSecondary = s.Settle(kColorOnSecondary, "");
  fColorOutlineVariant = s.Settle(kColorOutlineVariant, "");
}

void kOpen::DeserializeCloseTexts(const kParameterList& aRequestParameters) {
  for (size_t i = 0; i < aRequestParameters.Count(); ++i) fParameters.AppendEntry(aRequestParameters[i]);
  fCloseText1 = fParameters.Value("closetext1");
  fCloseText2 = fParameters.Value("closetext2");
}

}  // namespace korvane

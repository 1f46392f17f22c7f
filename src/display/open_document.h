// The OPEN document: the display settings of an OPEN call and their
// settings file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/device_handler.h"

namespace korvane {

// The display settings of an OPEN call. Each value is settled in three
// layers: the built-in default, the settings file QORD_KORVANE_10.ini in the
// current working directory (read afresh at every OPEN), and the request's
// Parameters element, each overriding the one before.
class kOpen {
 public:
  // The settings file's name, looked for in the current working directory.
  static constexpr const char* kSettingsFileName = "QORD_KORVANE_10.ini";

  kOpen() = default;
  virtual ~kOpen() = default;

  // Fills every field from the defaults, the settings file and the request.
  // Fails with "'<text>' is not a valid integer value" on a bad idle
  // time-out in the request, with "Settings file <path>, key IdleTimeout: "
  // and that text on a bad one in the file when the request has none, with
  // the wrapped string error on a Parameters child holding elements, and
  // with the file layer's error on an unreadable settings file. Characters
  // the file's encoding does not allow are read as U+FFFD and noted in
  // fSettingsFileNotes.
  void Deserialize(XmlTree& aXmlDocument);
  // The same with the request's parameter entries already read from that
  // document (the request holder has them from the envelope).
  void Deserialize(const kParameterList& aRequestParameters);

  // For CLOSE: fParameters from the request's parameter entries (the request
  // holder has them from the envelope) and only the two close texts from the
  // parameters CloseText1 and CloseText2 (absent: empty); no settings file,
  // no other setting.
  void DeserializeCloseTexts(const kParameterList& aRequestParameters);

  std::string GetParameter(std::string_view aName) const { return fParameters.Value(aName); }
  bool ParameterExists(std::string_view aName) const { return fParameters.Exists(aName); }
  void SetParameter(std::string_view aName, std::string_view aValue) { fParameters.Set(aName, aValue); }

  // The settings file's lines ("name=value"); empty when there is no file.
  // A character its encoding does not allow (UTF-8 or UTF-16 after a
  // byte-order mark) becomes U+FFFD, noted in aNotes when given.
  static kParameterList LoadSettingsFile(const std::string& aPath,
                                         std::vector<std::string>* aNotes = nullptr);
  // Where the settings file is read from: the current working directory.
  static std::string SettingsFilePath();

  std::string fMode;
  std::string fLayout;
  std::string fFontName;
  bool fShowTaxes = false;
  std::string fLogoImage;
  std::string fLogoImage_Dark;
  std::string fLogoImage_Light;
  std::string fIdleImage;
  std::string fReceiptImage;
  std::string fThankyouImage;
  int32_t fIdleTimeout = 0;
  std::string fIdleText1;
  std::string fIdleText2;
  std::string fLogoImageUrl;
  std::string fLogoImage_DarkUrl;
  std::string fLogoImage_LightUrl;
  std::string fIdleImageUrl;
  std::string fReceiptImageUrl;
  std::string fThankyouImageUrl;
  kParameterList fParameters;
  std::string fCloseText1;
  std::string fCloseText2;
  std::string fThankyouText1;
  std::string fThankyouText2;
  std::string fContentRatio;
  std::string fLanguage;
  bool fShowOnlyVideo = false;
  std::string fIdleVideoUrl;
  std::string fColorSurface;
  std::string fColorOnSurface;
  std::string fColorOnSurfaceVariant;
  std::string fColorPrimary;
  std::string fColorOnPrimary;
  std::string fColorPrimaryContainer;
  std::string fColorOnPrimaryContainer;
  std::string fColorSecondary;
  std::string fColorOnSecondary;
  std::string fColorOutlineVariant;
  // What the last Deserialize found amiss in the settings file, for the
  // device's log.
  std::vector<std::string> fSettingsFileNotes;
};

}  // namespace korvane

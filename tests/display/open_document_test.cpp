// The OPEN settings: defaults, the settings file in the working directory
// and the request's parameters, each overriding the one before.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "display/request_holder.h"
#include "platform/error.h"
#include "support/test_support.h"

namespace korvane {
namespace {

namespace fs = std::filesystem;

using korvane::testing::ErrorOf;

// Runs each test in a fresh temporary working directory.
class OpenSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    fOldDir = fs::current_path();
    fs::current_path(fDir.Path());
  }
  void TearDown() override { fs::current_path(fOldDir); }
  void WriteSettings(const std::string& aBytes) {
    std::ofstream(fDir / kOpen::kSettingsFileName, std::ios::binary) << aBytes;
  }
  kOpen Open(const std::string& aParameters) {
    kCustomerDisplayHandler h;
    h.Deserialize(
        "<Request><Driver>QORD_KORVANE_10</Driver><Parameters>" + aParameters + "</Parameters></Request>",
        {dt_Open});
    return h.Open();
  }

  fs::path fOldDir;
  korvane::testing::TempDir fDir;
};

TEST_F(OpenSettings, DefaultsWithoutFileOrParameters) {
  const kOpen o = Open("");
  EXPECT_EQ(o.fMode, "Display");
  EXPECT_EQ(o.fLayout, "0");
  EXPECT_EQ(o.fContentRatio, "fromimage");
  EXPECT_EQ(o.fFontName, "Roboto");
  EXPECT_EQ(o.fIdleTimeout, 10);
  EXPECT_FALSE(o.fShowTaxes);
  EXPECT_FALSE(o.fShowOnlyVideo);
  for (const std::string* s :
       {&o.fLanguage, &o.fLogoImage, &o.fLogoImage_Dark, &o.fLogoImage_Light, &o.fIdleImage, &o.fReceiptImage,
        &o.fThankyouImage, &o.fIdleText1, &o.fIdleText2, &o.fLogoImageUrl, &o.fIdleImageUrl, &o.fCloseText1,
        &o.fThankyouText2, &o.fIdleVideoUrl, &o.fColorSurface, &o.fColorOutlineVariant})
    EXPECT_EQ(*s, "");
}

TEST_F(OpenSettings, RequestBeatsFileBeatsDefault) {
  WriteSettings("FontName=Arial\r\nIdleTimeout=30\r\nmode=Idle\r\nLayout=2\r\nColorPrimary=#fff\r\n");
  const kOpen o = Open("<Layout>3</Layout><colorOnPrimary>#000</colorOnPrimary><IdleText1>Hi</IdleText1>");
  EXPECT_EQ(o.fFontName, "Arial");
  EXPECT_EQ(o.fIdleTimeout, 30);
  EXPECT_EQ(o.fMode, "Idle");
  EXPECT_EQ(o.fLayout, "3");
  EXPECT_EQ(o.fColorPrimary, "#fff");
  EXPECT_EQ(o.fColorOnPrimary, "#000");
  EXPECT_EQ(o.fIdleText1, "Hi");
  EXPECT_EQ(o.GetParameter("LAYOUT"), "3");
  EXPECT_EQ(o.fParameters.Count(), 3u);
}

TEST_F(OpenSettings, FileLinesSplitAtFirstEqualsUntrimmedAnySectionFirstWins) {
  WriteSettings(
      "; comment\n[Display]\nmode = Idle\n\nmode=Idle\n[Other]\nMODE=Later\nlanguage=\nfontname=A=B\n"
      " layout=5\nIdleText1= padded \r");
  const kOpen o = Open("");
  EXPECT_EQ(o.fMode, "Idle");     // "mode " never matches; the first "mode" line wins
  EXPECT_EQ(o.fLanguage, "");     // empty value taken
  EXPECT_EQ(o.fFontName, "A=B");  // split at the first "="
  EXPECT_EQ(o.fLayout, "0");      // " layout" does not match
  EXPECT_EQ(o.fIdleText1, " padded ");
}

TEST_F(OpenSettings, ByteOrderMarkSelectsEncoding) {
  struct Case {
    std::string bytes;
    const char* font;
  };
  const Case cases[] = {
      {"\xEF\xBB\xBF"
       "fontname=Caf\xC3\xA9",
       "Caf\xC3\xA9"},
      {std::string("\xFF\xFE"
                   "f\0o\0n\0t\0n\0a\0m\0e\0=\0\xAC\x20",
                   22),
       "\xE2\x82\xAC"},
      {std::string("\xFE\xFF\0f\0o\0n\0t\0n\0a\0m\0e\0=\x03\x91", 22), "\xCE\x91"},
      {"fontname=Caf\xE9\x80", "Caf\xC3\xA9\xE2\x82\xAC"},                            // no mark: Windows-1252
      {"fontname=\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // all of it
  };
  for (const Case& c : cases) {
    WriteSettings(c.bytes);
    EXPECT_EQ(Open("").fFontName, c.font);
  }
}

TEST_F(OpenSettings, FileIsReadAfreshAtEveryOpen) {
  WriteSettings("mode=A");
  EXPECT_EQ(Open("").fMode, "A");
  WriteSettings("mode=B");
  EXPECT_EQ(Open("").fMode, "B");
  fs::remove(fDir / kOpen::kSettingsFileName);
  EXPECT_EQ(Open("").fMode, "Display");
}

TEST_F(OpenSettings, EmptyRequestValueOverridesExceptIdleTimeout) {
  WriteSettings("idletimeout=25\nfontname=Arial");
  const kOpen o = Open("<FontName/><IdleTimeout></IdleTimeout>");
  EXPECT_EQ(o.fFontName, "");
  EXPECT_EQ(o.fIdleTimeout, 25);
  EXPECT_EQ(Open("<IdleTimeout>$10</IdleTimeout>").fIdleTimeout, 16);
}

TEST_F(OpenSettings, BadIdleTimeoutFailsNamingTheFileAndKeyWhenTheRequestHasNone) {
  EXPECT_EQ(ErrorOf([&] { Open("<IdleTimeout>abc</IdleTimeout>"); }), "'abc' is not a valid integer value");
  const std::string file = (fs::current_path() / kOpen::kSettingsFileName).string();
  for (const std::string value : {"", "abc", "99999999999"}) {
    WriteSettings("fontname=Arial\r\nidletimeout=" + value + "\r\n");
    EXPECT_EQ(ErrorOf([&] { Open(""); }),
              "Settings file " + file + ", key IdleTimeout: '" + value + "' is not a valid integer value");
    EXPECT_EQ(ErrorOf([&] { Open("<IdleTimeout></IdleTimeout>"); }),
              "Settings file " + file + ", key IdleTimeout: '" + value + "' is not a valid integer value");
    // The request's value stands: the file's is not needed.
    const kOpen o = Open("<IdleTimeout>5</IdleTimeout>");
    EXPECT_EQ(o.fIdleTimeout, 5) << value;
    EXPECT_EQ(o.fFontName, "Arial");
  }
}

TEST_F(OpenSettings, BooleansAreTrueOnlyForTheTextTrue) {
  struct Case {
    const char* text;
    bool value;
  };
  for (const Case& c : {Case{"True", true}, Case{"TRUE", true}, Case{"1", false}, Case{"yes", false},
                        Case{" true", false}, Case{"", false}}) {
    const kOpen o = Open(std::string("<ShowTaxes>") + c.text + "</ShowTaxes><showonlyvideo>" + c.text +
                         "</showonlyvideo>");
    EXPECT_EQ(o.fShowTaxes, c.value) << c.text;
    EXPECT_EQ(o.fShowOnlyVideo, c.value) << c.text;
  }
  WriteSettings("showtaxes=true");
  EXPECT_TRUE(Open("").fShowTaxes);
  EXPECT_FALSE(Open("<ShowTaxes>false</ShowTaxes>").fShowTaxes);
}

TEST_F(OpenSettings, LogoStandsForBothVariants) {
  WriteSettings("logoimage_dark=dark.png");
  kOpen o = Open("<LogoImage>logo.png</LogoImage>");
  EXPECT_EQ(o.fLogoImage, "logo.png");
  EXPECT_EQ(o.fLogoImage_Dark, "logo.png");
  EXPECT_EQ(o.fLogoImage_Light, "logo.png");

  WriteSettings("logoimage=logo.png");
  o = Open("<LogoImage_Dark>dark.png</LogoImage_Dark>");
  EXPECT_EQ(o.fLogoImage, "logo.png");
  EXPECT_EQ(o.fLogoImage_Dark, "logo.png");
  EXPECT_EQ(o.fLogoImage_Light, "logo.png");

  WriteSettings("logoimage=logo.png\nlogoimage_dark=filedark.png");
  o = Open("<LogoImage/><LogoImage_Light>light.png</LogoImage_Light>");
  EXPECT_EQ(o.fLogoImage, "");
  EXPECT_EQ(o.fLogoImage_Dark, "filedark.png");
  EXPECT_EQ(o.fLogoImage_Light, "light.png");
}

TEST_F(OpenSettings, LogoUrlFollowsTheSameRule) {
  WriteSettings("logoimage_darkurl=http://d\nlogoimage_lighturl=http://l");
  kOpen o = Open("<LogoImageUrl>http://logo</LogoImageUrl><LogoImage_LightUrl>x</LogoImage_LightUrl>");
  EXPECT_EQ(o.fLogoImage_DarkUrl, "http://logo");
  EXPECT_EQ(o.fLogoImage_LightUrl, "http://logo");
  o = Open("<LogoImage_DarkUrl>http://rd</LogoImage_DarkUrl>");
  EXPECT_EQ(o.fLogoImageUrl, "");
  EXPECT_EQ(o.fLogoImage_DarkUrl, "http://rd");
  EXPECT_EQ(o.fLogoImage_LightUrl, "http://l");
}

TEST_F(OpenSettings, ReadsItsOwnParametersFromTheDocument) {
  WriteSettings("mode=File");
  const kXmlDocument doc = ParseXmlDocumentUtf8(
      "<R><Parameters><IdleTimeout>7</IdleTimeout><LogoImage>l.png</LogoImage></Parameters></R>");
  kOpen o;
  o.Deserialize(*doc);
  EXPECT_EQ(o.fMode, "File");
  EXPECT_EQ(o.fIdleTimeout, 7);
  EXPECT_EQ(o.fLogoImage_Light, "l.png");
  EXPECT_EQ(o.fParameters.Entries(), (std::vector<std::string>{"idletimeout=7", "logoimage=l.png"}));
  o.SetParameter("Extra", "1");
  EXPECT_TRUE(o.ParameterExists("EXTRA"));
}

TEST_F(OpenSettings, CharactersTheEncodingDoesNotAllowAreReadAsReplacementsAndNoted) {
  // UTF-16 and UTF-8 alike: the bad character becomes U+FFFD, the rest of
  // the file counts, and a note names the file, the encoding and the line.
  const std::string file = (fs::current_path() / kOpen::kSettingsFileName).string();
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string bytes;
    std::string font;
    std::string note;  // empty: none
  };
  const std::string le = "\xFF\xFE";
  const std::string mode = std::string("m\0o\0d\0e\0=\0I\0\r\0\n\0", 16);
  const std::string font = std::string("f\0o\0n\0t\0n\0a\0m\0e\0=\0", 18);
  const Case cases[] = {
      {le + std::string("\x00\xD8", 2), "Roboto",
       "UTF-16 read as U+FFFD, the first on line 1"},  // a lone surrogate
      {le + mode + font + std::string("A\0\x00\xDC", 4), "A" + fffd,
       "UTF-16 read as U+FFFD, the first on line 2"},
      {le + mode + font + std::string("\x3D\xD8\x00\xDE", 4), "\xF0\x9F\x98\x80", ""},  // a pair is fine
      {le + mode + font + std::string("A\0B", 3), "A" + fffd, "UTF-16 read as U+FFFD, the first on line 2"},
      {"\xFE\xFF" + std::string("\0m\0o\0d\0e\0=\0I\0\n\xDB\xFF", 16), "Roboto",
       "UTF-16 read as U+FFFD, the first on line 2"},
      {"\xEF\xBB\xBFmode=I\r\nfontname=A\xC3", "A" + fffd, "UTF-8 read as U+FFFD, the first on line 2"},
      {"\xEF\xBB\xBFmode=I\rx=\xED\xA0\x80\nfontname=A", "A", "UTF-8 read as U+FFFD, the first on line 2"},
      {"\xEF\xBB\xBF\xFFmode=I\nfontname=A", "A", "UTF-8 read as U+FFFD, the first on line 1"},
      {"fontname=\xFF", "\xC3\xBF", ""},  // no mark: every byte is a character of the code page
  };
  for (const Case& c : cases) {
    WriteSettings(c.bytes);
    kOpen o;
    EXPECT_EQ(ErrorOf([&] { o = Open(""); }), korvane::testing::kNoError) << c.note;
    EXPECT_EQ(o.fFontName, c.font) << c.note;
    if (c.note.empty()) {
      EXPECT_TRUE(o.fSettingsFileNotes.empty()) << c.font;
    } else {
      EXPECT_EQ(o.fSettingsFileNotes, std::vector<std::string>{"Settings file " + file +
                                                               ": characters that are not valid " + c.note});
    }
  }
  // Read afresh at every OPEN: a good file leaves no note.
  WriteSettings("fontname=B");
  EXPECT_TRUE(Open("").fSettingsFileNotes.empty());
}

}  // namespace
}  // namespace korvane

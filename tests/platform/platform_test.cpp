#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <sys/stat.h>
#endif

#include <cerrno>
#include <set>

#include "platform/code_page.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/locale.h"
#include "platform/named_lock.h"
#include "platform/process.h"
#include "platform/resources.h"
#include "helpers/utf.h"
#include "platform/uuid.h"
#include "support/test_support.h"

using namespace korvane;
using namespace korvane::platform;

TEST(Unicode, ConvertsBetweenUtf8AndUtf16) {
  const std::string text = "A\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA0";  // A, euro, emoji, a-grave
  const std::u16string wide = Utf8ToUtf16(text);
  EXPECT_EQ(wide, (std::u16string{u'A', 0x20AC, 0xD83D, 0xDE00, 0xE0}));
  EXPECT_EQ(Utf16ToUtf8(wide), text);
  EXPECT_EQ(Utf16Length(text), 5u);
  EXPECT_EQ(Utf8ToUtf16("\xFF"
                        "a"),
            (std::u16string{0xFFFD, u'a'}));  // invalid bytes are replaced
}

TEST(Unicode, ConvertsEveryCharacterWhereverItStandsInALongText) {
  // ASCII goes through in blocks: a character of each kind at every place of
  // texts around the block size converts as it does on its own.
  const std::vector<std::u16string> others = {u"\u00E9", u"\u20AC", u"\U0001F600", u"\u007F"};
  for (size_t length = 0; length <= 40; ++length) {
    for (const std::u16string& other : others) {
      for (size_t at = 0; at <= length; ++at) {
        std::u16string wide;
        std::string expected;
        for (size_t i = 0; i < length; ++i) {
          wide += static_cast<char16_t>('a' + i % 26);
          expected += static_cast<char>('a' + i % 26);
        }
        wide.insert(at, other);
        expected.insert(at, Utf16ToUtf8(other));
        ASSERT_EQ(Utf16ToUtf8(wide), expected) << length << " " << at;
        ASSERT_EQ(Utf8ToUtf16(expected), wide) << length << " " << at;
        // A lone surrogate and an invalid byte there too.
        std::u16string lone = wide;
        lone[at] = 0xDC00;
        EXPECT_THROW(Utf16ToUtf8(lone), Error);
        std::u16string replaced = lone;
        if (other.size() == 2)
          replaced.erase(at + 1, 1), replaced[at] = 0xFFFD;  // the pair's second half
        else
          replaced[at] = 0xFFFD;
        std::string bad = expected;
        bad.replace(at, Utf16ToUtf8(other).size(), "\xFF");
        EXPECT_EQ(Utf8ToUtf16(bad), replaced) << length << " " << at;
      }
    }
  }
}

TEST(Unicode, RefusesALoneSurrogate) {
  for (std::u16string bad :
       {std::u16string{0xD800}, std::u16string{u'a', 0xDC00, u'b'}, std::u16string{0xD800, u'x'}}) {
    try {
      Utf16ToUtf8(bad);
      FAIL();
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Invalid UTF-16 text: unpaired surrogate");
    }
  }
}

TEST(Unicode, PrefixNeverSplitsASurrogatePair) {
  const std::string text =
      "ab\xF0\x9F\x98\x80"
      "c";
  EXPECT_EQ(Utf16Prefix(text, 2), "ab");
  EXPECT_EQ(Utf16Prefix(text, 3), "ab");
  EXPECT_EQ(Utf16Prefix(text, 4), "ab\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16Prefix(text, 100), text);
  EXPECT_EQ(Utf16Prefix(text, 0), "");
}

TEST(Unicode, EncodesAndDecodesCodePages) {
  const std::string euroA =
      "\xE2\x82\xAC"
      "A";
  EXPECT_EQ(EncodeCodePage(euroA, 1252),
            "\x80"
            "A");
  EXPECT_EQ(EncodeCodePage(euroA, 20127), "?A");
  EXPECT_EQ(EncodeCodePage(euroA, 65001), euroA);
  EXPECT_EQ(EncodeCodePage("A", 1200), std::string("A\0", 2));
  EXPECT_EQ(EncodeCodePage("A", 1201), std::string("\0A", 2));
  EXPECT_EQ(EncodeCodePage("\xE4\xB8\xAD"
                           "b",
                           1252),
            "?b");  // no such character: "?"
  EXPECT_EQ(DecodeCodePage("\x80\xE0", 1252), "\xE2\x82\xAC\xC3\xA0");
  EXPECT_EQ(DecodeCodePage("\xE1", 1253), "\xCE\xB1");  // Greek alpha
  EXPECT_THROW(EncodeCodePage("x", 4242), Error);
}

TEST(CodePages, Windows1252RoundTripsEveryByte) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string text = DecodeCodePage(all, 1252);
  EXPECT_EQ(EncodeCodePage(text, 1252), all);
  EXPECT_EQ(InvalidUtf8Offset(text), std::string::npos);

  // The five bytes the code page leaves out are the control characters of the
  // same code, as on Windows (there by the system's own converter).
  for (const int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
    EXPECT_EQ(DecodeCodePage(std::string(1, static_cast<char>(b)), 1252),
              Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(b))))
        << b;
#ifndef _WIN32
  // Byte by byte: iconv's table where it has the byte, the control character
  // of the same code for the five it leaves out.
  iconv_t oracle = iconv_open("UTF-8", "CP1252");
  ASSERT_NE(oracle, reinterpret_cast<iconv_t>(-1));
  const std::set<int> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  for (int b = 0; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    std::string expected;
    if (unassigned.count(b) != 0) {
      expected = Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(b)));
    } else {
      char in[1] = {static_cast<char>(b)};
      char out[8];
      char* inPtr = in;
      char* outPtr = out;
      size_t inLeft = 1;
      size_t outLeft = sizeof out;
      ASSERT_NE(iconv(oracle, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1)) << b;
      expected.assign(out, static_cast<size_t>(outPtr - out));
    }
    EXPECT_EQ(DecodeCodePage(byte, 1252), expected) << b;
    EXPECT_EQ(EncodeCodePage(expected, 1252), byte) << b;
  }
  iconv_close(oracle);
#endif

  // Characters it lacks are "?", one for each, also beyond the first plane.
  EXPECT_EQ(EncodeCodePage("\xC2\x80|\xE4\xB8\xAD|\xF0\x9F\x98\x80|\xFF|", 1252), "?|?|?|?|");
}

TEST(CodePages, WindowsNumbersNameTheirCodePages) {
  struct Case {
    int codePage;
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {28591, "\xC3\xA9", "\xE9"},                                          // e acute, ISO-8859-1
      {28592, "\xC5\x81", "\xA3"},                                          // L stroke, ISO-8859-2
      {28595, "\xD0\x96", "\xB6"},                                          // Zhe, ISO-8859-5
      {28597, "\xCE\xB1", "\xE1"},                                          // alpha, ISO-8859-7
      {28599, "\xC4\x9F", "\xF0"},                                          // g breve, ISO-8859-9
      {28603, "\xC4\x85", "\xE0"},                                          // a ogonek, ISO-8859-13
      {28605, "\xE2\x82\xAC", "\xA4"},                                      // euro, ISO-8859-15
      {20866, "\xD0\x96", "\xF6"},                                          // KOI8-R
      {21866, "\xD2\x90", "\xBD"},                                          // Ghe upturn, KOI8-U
      {20127, "Az~", "Az~"},                                                // US-ASCII
      {54936, "\xE2\x82\xAC\xF0\x9F\x98\x80", "\xA2\xE3\x94\x39\xFC\x36"},  // GB18030
      {10000, "\xC3\xA9", "\x8E"},                                          // Macintosh
      {65001, "\xE2\x82\xAC", "\xE2\x82\xAC"},                              // UTF-8
      {1200, "A\xE2\x82\xAC", std::string("A\0\xAC\x20", 4)},               // UTF-16LE
      {1201, "A\xE2\x82\xAC", std::string("\0A\x20\xAC", 4)},               // UTF-16BE
      {12000, "A", std::string("A\0\0\0", 4)},                              // UTF-32LE
      {437, "\xC3\xA9", "\x82"},                                            // DOS
      {850, "\xC3\x98", "\x9D"},                                            // DOS Latin-1
      {866, "\xD0\x96", "\x86"},                                            // DOS Cyrillic
      {874, "\xE0\xB8\x81", "\xA1"},                                        // Thai
      {932, "\xE3\x82\xA2", "\x83\x41"},                                    // Shift JIS
      {936, "\xE4\xB8\xAD", "\xD6\xD0"},                                    // GBK
      {949, "\xED\x95\x9C", "\xC7\xD1"},                                    // Korean
      {950, "\xE4\xB8\xAD", "\xA4\xA4"},                                    // Big5
      {1250, "\xC5\x81", "\xA3"},                                           // Central European
      {1251, "\xD0\x96", "\xC6"},                                           // Cyrillic
      {1253, "\xCE\xA9", "\xD9"},                                           // Greek
      {1255, "\xD7\x90", "\xE0"},                                           // Hebrew
      {37, "A", "\xC1"},                                                    // EBCDIC
      {50220, "\xE3\x82\xA2", "\x1B$B%\"\x1B(B"},                           // ISO-2022-JP
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    // GB18030 and ISO-2022-JP: Windows has them, Wine's converters lack
    // them; where they are missing, the library says so.
    if ((c.codePage == 54936 || c.codePage == 50220) && !IsValidCodePage(static_cast<UINT>(c.codePage))) {
      EXPECT_EQ(korvane::testing::ErrorOf([&] { EncodeCodePage(c.text, c.codePage); }),
                "Code page " + std::to_string(c.codePage) + " is not supported");
      continue;
    }
#endif
    EXPECT_EQ(EncodeCodePage(c.text, c.codePage), c.bytes) << c.codePage;
    EXPECT_EQ(DecodeCodePage(c.bytes, c.codePage), c.text) << c.codePage;
  }
  // A character the code page lacks is the code page's own "?".
  EXPECT_EQ(EncodeCodePage("\xE2\x82\xAC", 37), "\x6F");
  EXPECT_EQ(EncodeCodePage("\xFF", 1200), std::string("?\0", 2));
  for (const int unknown : {0, -1, 1, 4242, 28602, 65002, 99999})
    EXPECT_EQ(korvane::testing::ErrorOf([&] { EncodeCodePage("x", unknown); }),
              "Code page " + std::to_string(unknown) + " is not supported")
        << unknown;
  EXPECT_EQ(korvane::testing::ErrorOf([] { DecodeCodePage("x", 4242); }), "Code page 4242 is not supported");
#ifndef _WIN32
  // A byte without a character right after one iconv holds back to compose
  // with an accent: both are kept.
  EXPECT_EQ(DecodeCodePage("\xD6\x9D", 1258), "\xC3\x96\xEF\xBF\xBD");
  EXPECT_EQ(DecodeCodePage("\xE0\x9D\xE0", 1255), "\xD7\x90\xEF\xBF\xBD\xD7\x90");
  // A number outside the table still works when iconv knows it as CP<n>.
  EXPECT_EQ(DecodeCodePage("\x80", 1125), "\xD0\x90");
#endif
}

TEST(Paths, CombineAndSplitNames) {
  EXPECT_EQ(CombinePath("", "a.log"), "a.log");
  EXPECT_EQ(CombinePath("/x/", "a.log"), "/x/a.log");
  EXPECT_EQ(CombinePath("/x", "a.log"), std::string("/x") + kPathDelim + "a.log");
  EXPECT_EQ(CombinePath("C:\\x\\", "a.log"), "C:\\x\\a.log");
  EXPECT_EQ(ExtractFileName("/a/b\\c.log"), "c.log");
  EXPECT_EQ(ExtractFileName("c.log"), "c.log");
  EXPECT_EQ(ExtractFileName("/a/"), "");
  EXPECT_EQ(ChangeFileExt("/a.b/c.log", ""), "/a.b/c");
  EXPECT_EQ(ChangeFileExt("/a.b/c", ".txt"), "/a.b/c.txt");
  for (const char* bad : {"a|b", "a<b", "a>b", "a\"b", "a\tb"})
    EXPECT_THROW(CombinePath("/x", bad), Error) << bad;
  EXPECT_THROW(CombinePath("/x|y", "a"), Error);
}

TEST(Paths, CreateFoldersAndRenameFiles) {
  korvane::testing::TempDir dir;
  EXPECT_NO_THROW(ForceDirectories(dir / "a/b/c/"));
  EXPECT_TRUE(DirectoryExists(dir / "a/b/c"));
  EXPECT_THROW(ForceDirectories(""), Error);
  korvane::testing::WriteFile(dir / "f", "12345");
  EXPECT_THROW(ForceDirectories(dir / "f/sub"), OsError);
  EXPECT_EQ(FileSize(dir / "f"), 5);
  EXPECT_EQ(FileSize(dir / "missing"), -1);
  EXPECT_NO_THROW(RenameFile(dir / "f", dir / "g"));
  EXPECT_THROW(RenameFile(dir / "f", dir / "h"), OsError);
  korvane::testing::WriteFile(dir / "taken", "keep");
  EXPECT_THROW(RenameFile(dir / "g", dir / "taken"), OsError);  // never replaces a file
  EXPECT_EQ(ReadFileBytes(dir / "taken"), "keep");
  EXPECT_NO_THROW(AppendToFile(dir / "g", "67"));
  EXPECT_EQ(ReadFileBytes(dir / "g"), "1234567");
}

TEST(Paths, ReadsOnlyRegularFilesUpToTheirLimit) {
  korvane::testing::TempDir dir;
  korvane::testing::WriteFile(dir / "ten", "0123456789");
  EXPECT_EQ(ReadFileBytes(dir / "ten", 10), "0123456789");
  EXPECT_EQ(ReadFileBytes(dir / "ten"), "0123456789");
  struct Case {
    std::string path;
    size_t limit;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir / "ten", 9, "File larger than 9 bytes"},
      {dir / "ten", 0, "File larger than 0 bytes"},
#ifdef _WIN32
      // A device is not read to its (absent) end; a folder is refused as the
      // system refuses to open one as a file.
      {"NUL", SIZE_MAX, "Not a regular file"},
      {dir.Path(), SIZE_MAX, OsErrorText(ERROR_ACCESS_DENIED)},
      {dir / "missing", SIZE_MAX, OsErrorText(ERROR_FILE_NOT_FOUND)},
#else
      // A pipe without a writer is not waited for; a device is not read to
      // its (absent) end.
      {dir / "pipe", SIZE_MAX, "Not a regular file"},
      {"/dev/zero", SIZE_MAX, "Not a regular file"},
      {dir.Path(), SIZE_MAX, "Is a directory"},
      {dir / "missing", SIZE_MAX, "No such file or directory"},
#endif
  };
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
#endif
  for (const Case& c : cases)
    EXPECT_EQ(korvane::testing::ErrorOf([&] { ReadFileBytes(c.path, c.limit); }),
              "Cannot open file \"" + c.path + "\". " + c.reason);
#ifndef _WIN32
  // A file whose size the system does not know ahead is read to its end.
  EXPECT_NE(ReadFileBytes("/proc/self/status").find("Pid:"), std::string::npos);
#endif
}

// The system's codes for the failures below.
#ifdef _WIN32
constexpr int kFileExists = ERROR_ALREADY_EXISTS, kNoPath = ERROR_PATH_NOT_FOUND,
              kDenied = ERROR_ACCESS_DENIED, kRefused = WSAECONNREFUSED;
#else
constexpr int kFileExists = EEXIST, kNoPath = ENOENT, kDenied = EACCES, kRefused = ECONNREFUSED;
#endif

TEST(Paths, FailuresCarryTheSystemsCodeAndText) {
  korvane::testing::TempDir dir;
  korvane::testing::WriteFile(dir / "taken", "keep");
  korvane::testing::WriteFile(dir / "g", "1");
  try {
    RenameFile(dir / "g", dir / "taken");
    ADD_FAILURE() << "renamed onto an existing file";
  } catch (const OsError& e) {
    EXPECT_EQ(e.Code(), kFileExists);
    EXPECT_EQ(std::string(e.what()), "Cannot rename \"" + (dir / "g") + "\" to \"" + (dir / "taken") +
                                         "\": " + OsErrorText(kFileExists));
  }
  try {
    AppendToFile(dir / "missing/x", "1");
    ADD_FAILURE() << "appended to a file in a missing folder";
  } catch (const OsError& e) {
    EXPECT_EQ(e.Code(), kNoPath);
    EXPECT_EQ(std::string(e.what()),
              "Cannot append to \"" + (dir / "missing/x") + "\": " + OsErrorText(kNoPath));
  }
  try {
    ThrowOsError(kDenied, "Cannot do it: ");
  } catch (const OsError& e) {
    EXPECT_EQ(e.Code(), kDenied);
    EXPECT_EQ(std::string(e.what()), "Cannot do it: " + OsErrorText(kDenied));
  }
  try {
    ThrowOsError(kRefused);
  } catch (const Error& e) {
    EXPECT_EQ(std::string(e.what()), OsErrorText(kRefused));
  }
#ifndef _WIN32
  EXPECT_EQ(OsErrorText(EACCES), "Permission denied");
  EXPECT_EQ(OsErrorText(ECONNREFUSED), "Connection refused");
#endif
}

#ifdef _WIN32
TEST(Locale, ShortDatesUseTheSystemsShortDateFormWithFourDigitYears) {
  // Wine's en-US short date form is M/d/yyyy: days and months of two digits.
  EXPECT_EQ(FormatShortDate(2024, 9, 17), "09/17/2024");
  EXPECT_EQ(FormatShortDate(2024, 9, 7), "09/07/2024");
}
#else
TEST(Locale, ShortDatesUseTheEnvironmentsLocaleWithFourDigitYears) {
  korvane::testing::ScopedEnv lcAll("LC_ALL", "C");
  EXPECT_EQ(ShortDatePattern(), "dd/mm/yyyy");
  EXPECT_EQ(FormatShortDate(2024, 9, 17), "17/09/2024");
  korvane::testing::ScopedEnv missing("LC_ALL", "xx_NOWHERE.UTF-8");  // not installed
  EXPECT_EQ(FormatShortDate(2024, 9, 7), "07/09/2024");
}
#endif

TEST(Uuid, IsRandomAndWrittenInRegistryForm) {
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) seen.insert(FormatUuid(NewUuid()));
  EXPECT_EQ(seen.size(), 100u);
  EXPECT_EQ(FormatUuid(Uuid{0x78, 0x56, 0x34, 0x12, 0xBC, 0x9A, 0xF0, 0xDE, 1, 2, 3, 4, 5, 6, 7, 8}),
            "{12345678-9ABC-DEF0-0102-030405060708}");
}

TEST(NamedLock, HasOneHolderAtATime) {
  const std::string name = "korvane-test-" + FormatUuid(NewUuid());
  auto first = CreateNamedLock(name);
  auto second = CreateNamedLock(name);
  EXPECT_TRUE(first->TryAcquire());
  EXPECT_FALSE(second->TryAcquire());
  first->Release();
  EXPECT_TRUE(second->TryAcquire());
}

TEST(Process, KnowsTheHostExecutable) {
  EXPECT_EQ(ExecutableBaseName(), "tests_platform");
  EXPECT_EQ(ChangeFileExt(ExecutablePath(), ""), ExecutableFolder() + "tests_platform");
  ASSERT_FALSE(CommandLineParams().empty());
  EXPECT_EQ(ChangeFileExt(ExtractFileName(CommandLineParams()[0]), ""), "tests_platform");
  EXPECT_EQ(CurrentDirectory().back(), kPathDelim);
}

TEST(Resources, HoldsTheVersionRecords) {
  EXPECT_EQ(LoadResourceString(10002).value_or(""), "$VERSION=1.00");
  EXPECT_FALSE(LoadResourceString(9999).has_value());
  EXPECT_FALSE(FindRawResource("NO_SUCH_RESOURCE").has_value());
}

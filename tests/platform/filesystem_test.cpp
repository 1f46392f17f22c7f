#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#include <sys/stat.h>
#endif

#include <cerrno>

#include "platform/error.h"
#include "platform/filesystem.h"
#include "support/test_support.h"
#ifdef _WIN32
#include "platform/long_path_win32.h"
#endif

using namespace korvane;
using namespace korvane::platform;

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
// The long form the file calls get: absolute paths made full and prefixed,
// anything else as it was.
TEST(Paths, AbsolutePathsTakeTheLongForm) {
  const std::pair<const char*, const wchar_t*> cases[] = {
      {"C:\\logs\\a.log", L"\\\\?\\C:\\logs\\a.log"},
      {"C:/logs/a.log", L"\\\\?\\C:\\logs\\a.log"},
      {"C:\\logs\\.\\old\\..\\a.log", L"\\\\?\\C:\\logs\\a.log"},
      {"C:\\logs/sub\\..\\..\\a.log", L"\\\\?\\C:\\a.log"},
      {"C:\\caf\xc3\xa9\\a.log", L"\\\\?\\C:\\caf\u00e9\\a.log"},
      {"\\\\server\\share\\logs\\a.log", L"\\\\?\\UNC\\server\\share\\logs\\a.log"},
      {"//server/share/logs/../a.log", L"\\\\?\\UNC\\server\\share\\a.log"},
      // already long, a device, not absolute: untouched
      {"\\\\?\\C:\\kept\\..\\as\\is", L"\\\\?\\C:\\kept\\..\\as\\is"},
      {"\\\\?\\UNC\\server\\share\\x", L"\\\\?\\UNC\\server\\share\\x"},
      {"\\\\.\\COM1", L"\\\\.\\COM1"},
      {"logs\\a.log", L"logs\\a.log"},
      {"..\\a.log", L"..\\a.log"},
      {"C:a.log", L"C:a.log"},
      {"\\logs\\a.log", L"\\logs\\a.log"},
      {"", L""},
  };
  for (const auto& [path, expected] : cases) EXPECT_EQ(LongPath(path), expected) << path;
  // Past the limit, whole.
  const std::string deep = "C:\\" + std::string(200, 'd') + "\\" + std::string(200, 'e') + "\\f.log";
  EXPECT_EQ(LongPath(deep), L"\\\\?\\" + std::wstring(deep.begin(), deep.end()));
}
#endif

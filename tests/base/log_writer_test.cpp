#include "base/log_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <regex>
#include <set>
#include <thread>

#include "platform/clock_testing.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/module_unload.h"
#include "support/test_support.h"

using namespace korvane;
using korvane::testing::ReadFile;
using korvane::testing::SplitCrLf;
using korvane::testing::TempDir;
using korvane::testing::WaitFor;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Another writer holding the log file, so that every append is refused until
// Release: on POSIX systems its lock, on Windows the file itself, opened
// without sharing.
class HeldFile {
 public:
  explicit HeldFile(const std::string& aPath) {
#ifdef _WIN32
    fHandle = ::CreateFileA(aPath.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    fHeld = fHandle != INVALID_HANDLE_VALUE;
#else
    fFd = ::open(aPath.c_str(), O_WRONLY);
    fHeld = fFd >= 0 && ::flock(fFd, LOCK_EX) == 0;
#endif
  }
  ~HeldFile() { Release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool Held() const { return fHeld; }
  void Release() {
#ifdef _WIN32
    if (fHandle != INVALID_HANDLE_VALUE) ::CloseHandle(fHandle);
    fHandle = INVALID_HANDLE_VALUE;
#else
    if (fFd >= 0) ::close(fFd);
    fFd = -1;
#endif
  }

 private:
#ifdef _WIN32
  HANDLE fHandle = INVALID_HANDLE_VALUE;
#else
  int fFd = -1;
#endif
  bool fHeld = false;
};

// Fixes the wall clock at 2024-09-17 14:03:59.123 for the scope.
class FixedClock {
 public:
  FixedClock() {
    platform::SetNowForTesting([] { return platform::LocalTime{2024, 9, 17, 14, 3, 59, 123}; });
  }
  ~FixedClock() { platform::SetNowForTesting(nullptr); }
};

std::vector<std::string> LinesOf(const std::string& aPath) { return SplitCrLf(ReadFile(aPath)); }

}  // namespace

TEST(LogWriter, NamesDailyAndPlainFilesInTheDirectory) {
  FixedClock clock;
  TempDir dir;
  const std::string logDir = dir / "LogFiles";
  {
    tTK_LogWriter daily("ABC", logDir, 0, true);
    EXPECT_EQ(daily.FileName(), logDir + platform::kPathDelim + "ABC_20240917.log");
    EXPECT_TRUE(std::filesystem::is_directory(logDir));       // created at once
    EXPECT_FALSE(std::filesystem::exists(daily.FileName()));  // the file waits for its first line
  }
  tTK_LogWriter plain("ABC", logDir + "/", 0, false);
  EXPECT_EQ(plain.FileName(), logDir + "/ABC.log");
  EXPECT_EQ(plain.MaxLogFileSize(), 5000);
  EXPECT_FALSE(plain.ShowInstanceGuid());
}

TEST(LogWriter, KeepsOnlyTheFileNamePartOfTheName) {
  TempDir dir;
  for (const std::string name : {"sub/dir/ABC", "C:\\x\\y\\ABC", "../../ABC"}) {
    tTK_LogWriter writer(name, dir.Path(), 0, false);
    EXPECT_EQ(writer.FileName(), dir / "ABC.log") << name;
  }
}

TEST(LogWriter, WritesInformationAndErrorLinesWithCrLf) {
  FixedClock clock;
  TempDir dir;
  std::string path;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, true);
    path = writer.FileName();
    writer.Write(let_info, "started");
    writer.Write(let_error, "it failed");
    writer.Write(static_cast<tTK_MessageType>(7), "other type");
    writer.Write(let_info, "two\r\nlines");
  }
  EXPECT_EQ(ReadFile(path),
            "2024-09-17 14:03:59:123 - started\r\n"
            "2024-09-17 14:03:59:123 - ERROR - it failed\r\n"
            "2024-09-17 14:03:59:123 - other type\r\n"
            "2024-09-17 14:03:59:123 - two\r\nlines\r\n");
}

TEST(LogWriter, StampsLinesWithTheCurrentLocalTime) {
  TempDir dir;
  std::string path;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    writer.Write(let_info, "x");
  }
  const std::regex line(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d:\d{3} - x\r\n)");
  EXPECT_TRUE(std::regex_match(ReadFile(path), line)) << ReadFile(path);
}

TEST(LogWriter, WritesTimestampsWithFixedWidthFields) {
  const struct {
    platform::LocalTime time;
    const char* text;
  } cases[] = {
      {{2024, 9, 17, 14, 3, 59, 123}, "2024-09-17 14:03:59:123"},
      {{2025, 1, 2, 0, 0, 0, 0}, "2025-01-02 00:00:00:000"},
      {{999, 12, 31, 23, 59, 59, 999}, "0999-12-31 23:59:59:999"},
      {{9999, 10, 10, 10, 10, 10, 7}, "9999-10-10 10:10:10:007"},
      {{12345, 1, 1, 1, 1, 1, 1}, "12345-01-01 01:01:01:001"},  // wider than its field: not cut
  };
  for (const auto& c : cases) EXPECT_EQ(FormatLogTimestamp(c.time), c.text);
}

TEST(LogWriter, StampsEachLineWithItsOwnTimeWhateverTheLineBefore) {
  // Lines of one second, of the next, of a clock set back, of another time
  // zone (only the hour differs) and of fields wider than their place, one
  // after another: each line's stamp is that of its own time.
  const struct {
    platform::LocalTime time;
    const char* stamp;
  } lines[] = {
      {{2024, 9, 17, 14, 3, 59, 123}, "2024-09-17 14:03:59:123"},
      {{2024, 9, 17, 14, 3, 59, 124}, "2024-09-17 14:03:59:124"},
      {{2024, 9, 17, 14, 4, 0, 5}, "2024-09-17 14:04:00:005"},
      {{2024, 9, 17, 14, 3, 59, 999}, "2024-09-17 14:03:59:999"},
      {{2024, 9, 17, 16, 3, 59, 999}, "2024-09-17 16:03:59:999"},
      {{2024, 9, 18, 16, 3, 59, 0}, "2024-09-18 16:03:59:000"},
      {{2025, 9, 18, 16, 3, 59, 0}, "2025-09-18 16:03:59:000"},
      {{12345, 9, 18, 16, 3, 59, 0}, "12345-09-18 16:03:59:000"},
      {{12345, 9, 18, 16, 3, 59, 1}, "12345-09-18 16:03:59:001"},
      {{2025, 9, 18, 16, 3, 59, 1000}, "2025-09-18 16:03:59:1000"},
      {{2025, 9, 18, 16, 3, 59, 1}, "2025-09-18 16:03:59:001"},
  };
  std::mutex lock;
  size_t next = 0;
  platform::SetNowForTesting([&] {
    std::lock_guard<std::mutex> guard(lock);
    return lines[next].time;
  });
  TempDir dir;
  std::string path;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    for (size_t i = 0; i < std::size(lines); ++i) {
      {
        std::lock_guard<std::mutex> guard(lock);
        next = i;
      }
      writer.Write(let_info, "line " + std::to_string(i));
    }
  }
  platform::SetNowForTesting(nullptr);
  std::vector<std::string> expected;
  for (size_t i = 0; i < std::size(lines); ++i)
    expected.push_back(std::string(lines[i].stamp) + " - line " + std::to_string(i));
  EXPECT_EQ(LinesOf(path), expected);
}

TEST(LogWriter, ShowsTheInstanceGuidWhenAsked) {
  FixedClock clock;
  TempDir dir;
  std::string path, guid;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    guid = platform::FormatUuid(writer.Guid());
    writer.SetShowInstanceGuid(true);
    writer.Write(let_error, "boom");
  }
  EXPECT_TRUE(std::regex_match(
      guid, std::regex(R"(\{[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}\})")));
  EXPECT_EQ(ReadFile(path), "2024-09-17 14:03:59:123 - " + guid + " - ERROR - boom\r\n");
}

TEST(LogWriter, CutsMessagesToTheMaximumLengthInUtf16Units) {
  TempDir dir;
  std::string path;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 10, false);
    path = writer.FileName();
    writer.Write(let_info, "0123456789ABC");
    writer.Write(let_info,
                 "\xE2\x82\xAC"
                 "123456789XYZ");  // euro sign: one unit
    writer.Write(let_info,
                 "12345678\xF0\x9F\x98\x80"
                 "Z");                                    // emoji: two units, fits
    writer.Write(let_info, "123456789\xF0\x9F\x98\x80");  // emoji would be cut in half
  }
  std::vector<std::string> messages;
  for (const auto& line : LinesOf(path)) messages.push_back(line.substr(26));
  EXPECT_THAT(messages, ElementsAre("0123456789",
                                    "\xE2\x82\xAC"
                                    "123456789",
                                    "12345678\xF0\x9F\x98\x80", "123456789"));
}

TEST(LogWriter, RotatesAnOversizeFileBeforeTheFirstLine) {
  FixedClock clock;
  TempDir dir;
  const std::string path = dir / "ABC_20240917.log";
  const std::string rotated = dir / "ABC_20240917_20240917140359123.log";
  korvane::testing::WriteFile(path, std::string(5120001, 'x'));
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, true);
    writer.Write(let_info, "fresh");
  }
  EXPECT_EQ(std::filesystem::file_size(rotated), 5120001u);
  EXPECT_EQ(ReadFile(path), "2024-09-17 14:03:59:123 - fresh\r\n");
}

TEST(LogWriter, NeverRotatesOntoAnExistingFile) {
  FixedClock clock;
  TempDir dir;
  const std::string path = dir / "ABC_20240917.log";
  const std::string rotated = dir / "ABC_20240917_20240917140359123.log";
  korvane::testing::WriteFile(path, std::string(5120001, 'x'));
  korvane::testing::WriteFile(rotated, "rotated earlier");
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, true);
    writer.Write(let_info, "appended");
  }
  EXPECT_EQ(ReadFile(rotated), "rotated earlier");              // nothing is deleted
  EXPECT_EQ(std::filesystem::file_size(path), 5120001u + 36u);  // the rename failed: appended to the old file
}

TEST(LogWriter, KeepsAFileOfExactlyTheLimit) {
  TempDir dir;
  const std::string path = dir / "ABC.log";
  korvane::testing::WriteFile(path, std::string(5120000, 'x'));
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    writer.Write(let_info, "appended");
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  EXPECT_GT(std::filesystem::file_size(path), 5120000u);
}

TEST(LogWriter, ChecksTheSizeOnlyEveryTwentiethLine) {
  TempDir dir;
  const std::string path = dir / "ABC.log";
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  writer.Write(let_info, "first");  // the check before it finds no file
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 1; }));
  // Grow the file past the limit behind the writer's back.
  {
    std::ofstream grow(path, std::ios::binary | std::ios::app);
    grow << std::string(5120001, 'x');
  }
  for (int i = 2; i <= 20; ++i) writer.Write(let_info, "line " + std::to_string(i));
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 20; }));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);  // lines 2..20 unchecked
  writer.Write(let_info, "line 21");  // due: checked, rotated, then written to a new file
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 21; }));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
  EXPECT_THAT(ReadFile(path), HasSubstr(" - line 21\r\n"));
  EXPECT_EQ(writer.GetLogFileSize(), static_cast<int64_t>(ReadFile(path).size()));
}

TEST(LogWriter, WritesAQueuedBatchAsLineAfterLineWouldAndRotatesAtTheSameLine) {
  FixedClock clock;
  TempDir dir;
  const std::string path = dir / "ABC.log";
  const std::string rotated = dir / "ABC_20240917140359123.log";
  const std::string before(5120000 - 100, 'x');  // below the limit until twenty lines are added
  korvane::testing::WriteFile(path, before);
  std::string first, second;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    writer.Thread()->SetHeld(true);
    for (int i = 1; i <= 45; ++i) {
      const std::string line = "2024-09-17 14:03:59:123 - line " + std::to_string(i) + "\r\n";
      (i <= 20 ? first : second) += line;
      writer.Write(let_info, "line " + std::to_string(i));
    }
    writer.Thread()->SetHeld(false);  // all 45 taken at one wake-up
  }
  // Checked before lines 1, 21 and 41: the file went over the limit with
  // line 20, so lines 21 to 45 start a new file.
  EXPECT_EQ(ReadFile(rotated), before + first);
  EXPECT_EQ(ReadFile(path), second);
}

TEST(LogWriter, ReportsTheSizeOfAMissingFileAsMinusOne) {
  TempDir dir;
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  EXPECT_EQ(writer.GetLogFileSize(), -1);
  EXPECT_TRUE(writer.CheckLogfileSize());
}

TEST(LogWriter, DropsAndCountsLinesWhileTheQueueIsFullAndReportsThem) {
  TempDir dir;
  const auto created = std::chrono::steady_clock::now();
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  const std::string path = writer.FileName();
  writer.Thread()->SetHeld(true);
  for (int i = 0; i < 20000; ++i) writer.Write(let_info, "queued");
  EXPECT_EQ(writer.DroppedTotal(), 0);
  writer.Write(let_info, "dropped");
  EXPECT_EQ(writer.DroppedTotal(), 1);

  writer.Thread()->SetHeld(false);
  auto reports = [&] {
    std::vector<std::string> found;
    for (const auto& line : LinesOf(path))
      if (line.find(" - WARN - ") != std::string::npos) found.push_back(line.substr(23));
    return found;
  };
  ASSERT_TRUE(WaitFor([&] { return reports().size() == 1; }, std::chrono::seconds(30)));
  EXPECT_GE(std::chrono::steady_clock::now() - created, std::chrono::milliseconds(5000));
  EXPECT_THAT(reports(), ElementsAre(" - WARN - Log backpressure: dropped 1 lines (total=1)."));
  // The queue is empty again (every queued line written) before it is held
  // again: otherwise lines still waiting would take room from the next ones.
  ASSERT_TRUE(WaitFor(
      [&] {
        size_t queued = 0;
        for (const auto& line : LinesOf(path))
          if (line.find("queued") != std::string::npos) ++queued;
        return queued == 20000;
      },
      std::chrono::seconds(30)));

  // A second report speaks only of the lines dropped since the first.
  writer.Thread()->SetHeld(true);
  for (int i = 0; i < 20002; ++i) writer.Write(let_info, "again");
  EXPECT_EQ(writer.DroppedTotal(), 3);
  writer.Thread()->SetHeld(false);
  ASSERT_TRUE(WaitFor([&] { return reports().size() == 2; }, std::chrono::seconds(30)));
  EXPECT_EQ(reports()[1], " - WARN - Log backpressure: dropped 2 lines (total=3).");
}

TEST(LogWriter, WritesEveryAcceptedLineBeforeDestructionEnds) {
  TempDir dir;
  std::string path;
  constexpr int kThreads = 4, kLines = 2500;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&writer, t] {
        for (int i = 0; i < kLines; ++i)
          writer.Write(let_info, "t" + std::to_string(t) + " " + std::to_string(i));
      });
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(writer.DroppedTotal(), 0);
  }
  const auto lines = LinesOf(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  // Each thread's lines keep their order.
  std::vector<int> next(kThreads, 0);
  for (const auto& line : lines) {
    const int t = line[27] - '0';
    EXPECT_EQ(line.substr(29), std::to_string(next[t]++));
  }
}

// An idle writer holds no thread: its thread ends by itself once it has had
// nothing to do for a moment, and the next line starts it again.
TEST(LogWriter, EndsItsThreadWhenIdleAndStartsItAgainForTheNextLine) {
  TempDir dir;
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  EXPECT_FALSE(writer.Thread()->Running());  // nothing written yet
  for (int round = 1; round <= 3; ++round) {
    writer.Write(let_info, "line " + std::to_string(round));
    ASSERT_TRUE(WaitFor([&] { return writer.Counter() == static_cast<uint64_t>(round); }));
    ASSERT_TRUE(WaitFor([&] { return !writer.Thread()->Running(); })) << "round " << round;
  }
  const auto lines = LinesOf(writer.FileName());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].substr(23), " - line 3");
}

// While the module is unloaded no thread is started or waited for. When the
// host unloads it, the thread is over (it kept the module loaded while it
// ran), and the lines logged meanwhile are written by the unloading thread;
// at the end of the process (the thread stopped by the system, here held
// back) the unloading thread writes what the thread left. In both, every
// accepted line and the last line are in the file.
class LogWriterUnload : public ::testing::TestWithParam<platform::ModuleUnload> {
 protected:
  void TearDown() override { platform::SetModuleUnload(platform::ModuleUnload::None); }
};

TEST_P(LogWriterUnload, WritesEveryAcceptedLineAndTheLastWithoutWaitingForTheThread) {
  TempDir dir;
  std::string path;
  constexpr int kLines = 3000;  // more than two batches
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    writer.Write(let_info, "before");
    ASSERT_TRUE(WaitFor([&] { return LinesOf(path).size() == 1; }, std::chrono::seconds(10)));
    if (GetParam() == platform::ModuleUnload::Library) {
      ASSERT_TRUE(WaitFor([&] { return !writer.Thread()->Running(); }));
      platform::SetModuleUnload(GetParam());
    } else {
      writer.Thread()->SetHeld(true);
    }
    for (int i = 0; i < kLines; ++i) writer.Write(let_info, "line " + std::to_string(i));
    writer.WriteLast(let_info, "STOP");
    if (GetParam() == platform::ModuleUnload::Library) {
      EXPECT_FALSE(writer.Thread()->Running());  // none started while the module goes
    }
    writer.SetIsDLLFinalization(true);
    platform::SetModuleUnload(GetParam());
  }
  platform::SetModuleUnload(platform::ModuleUnload::None);
  const auto lines = LinesOf(path);
  ASSERT_EQ(lines.size(), static_cast<size_t>(kLines + 2));
  EXPECT_EQ(lines.front().substr(26), "before");
  for (int i = 0; i < kLines; ++i)
    ASSERT_EQ(lines[static_cast<size_t>(i) + 1].substr(26), "line " + std::to_string(i));
  EXPECT_EQ(lines.back().substr(26), "STOP");
}

INSTANTIATE_TEST_SUITE_P(Unloads, LogWriterUnload,
                         ::testing::Values(platform::ModuleUnload::Library,
                                           platform::ModuleUnload::ProcessEnd),
                         [](const ::testing::TestParamInfo<platform::ModuleUnload>& aInfo) {
                           return aInfo.param == platform::ModuleUnload::Library ? "HostUnloadsTheModule"
                                                                                 : "ProcessEnds";
                         });

TEST(LogWriter, FailsConstructionWithAnEmptyDirectory) {
  try {
    tTK_LogWriter writer("ABC", "", 0, false);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Cannot create directory: the directory name is empty");
  }
}

TEST(LogWriter, RefusesInvalidCharactersInPaths) {
  TempDir dir;
  EXPECT_THROW(tTK_LogWriter("A|B", dir.Path(), 0, false), Error);
  EXPECT_THROW(tTK_LogWriter("ABC", dir / "x<y", 0, false), Error);
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  EXPECT_THROW(writer.SetDirectory(dir / "bad\"dir"), Error);
  EXPECT_EQ(writer.FileName(), dir / "ABC.log");  // unchanged by the failed setting
  EXPECT_THROW(writer.SetFileName("new\x01name.log"), Error);
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(LogWriter, RaisesWhenTheFileNameIsEmpty) {
  TempDir dir;
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  EXPECT_THROW(writer.SetDirectory(""), Error);  // the name is the bare file name now
  writer.SetFileName("");
  try {
    writer.Write(let_info, "x");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Log filename is empty");
  }
}

TEST(LogWriter, MovesToANewDirectoryAndFileName) {
  TempDir dir;
  tTK_LogWriter writer("ABC", dir / "one", 0, false);
  writer.Write(let_info, "in one");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 1; }));
  writer.SetDirectory(dir / "two/deeper");
  EXPECT_EQ(writer.Directory(), dir / "two/deeper");
  EXPECT_EQ(writer.FileName(), dir / "two/deeper" + platform::kPathDelim + "ABC.log");
  writer.Write(let_info, "in two");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 2; }));  // the name is read when the line is written
  writer.SetFileName("/elsewhere/Other.txt");  // only the file-name part counts; no date, no .log
  EXPECT_EQ(writer.FileName(), dir / "two/deeper" + platform::kPathDelim + "Other.txt");
  writer.Write(let_info, "in other");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 3; }));
  EXPECT_THAT(ReadFile(dir / "one/ABC.log"), HasSubstr("in one"));
  EXPECT_THAT(ReadFile(dir / "two/deeper/ABC.log"), HasSubstr("in two"));
  EXPECT_THAT(ReadFile(dir / "two/deeper/Other.txt"), HasSubstr("in other"));
}

TEST(LogWriter, ChangesFileNameSafelyWhileOtherThreadsWrite) {
  TempDir dir;
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    std::thread producer([&] {
      while (!stop.load() || written.load() < 1000) {
        writer.Write(let_info, "busy");
        ++written;
      }
    });
    for (int i = 0; i < 50; ++i) {
      writer.SetFileName("F" + std::to_string(i % 3));
      writer.SetDirectory(dir / ("d" + std::to_string(i % 2)));
    }
    stop.store(true);
    producer.join();
  }
  // Every file written lies inside the temporary folder.
  size_t files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path()))
    files += entry.is_regular_file() ? 1 : 0;
  EXPECT_GT(files, 0u);
}

TEST(LogWriter, MakesAVanishedFolderAgainAndCountsWhatItCannotWrite) {
  TempDir dir;
  const std::string folder = dir / "LogFiles";
  tTK_LogWriter writer("ABC", folder, 0, false);
  const std::string path = writer.FileName();
  writer.Write(let_info, "first");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 1; }));

  // The folder removed: made again, and nothing is lost.
  std::filesystem::remove_all(folder);
  writer.Write(let_info, "in the folder made again");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 2; }));
  EXPECT_EQ(writer.DroppedTotal(), 0);

  // A file in the folder's way: every line is counted as lost, and the caller
  // never waits.
  std::filesystem::remove_all(folder);
  korvane::testing::WriteFile(folder, "not a folder");
  const auto before = std::chrono::steady_clock::now();
  for (int i = 0; i < 5; ++i) writer.Write(let_error, "lost");
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(1));
  ASSERT_TRUE(WaitFor([&] { return writer.DroppedTotal() == 5; }));
  EXPECT_EQ(ReadFile(folder), "not a folder");

  // The file gone: a probe makes the folder again, and the first line there
  // is the report of the lost ones.
  std::filesystem::remove(folder);
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(path); }));
  writer.Write(let_info, "back");
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 4; }));
  const auto lines = LinesOf(path);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(23), " - WARN - Log backpressure: dropped 5 lines (total=5).");
  EXPECT_EQ(lines[1].substr(23), " - back");
}

TEST(LogWriter, StopsWithinItsBoundAndCountsEveryLineWhenTheDiskNeverComesBack) {
  TempDir dir;
  korvane::testing::WriteFile(dir / "plainfile", "not a folder");
  // The folder cannot be made: it would lie below a file.
  tTK_LogWriter writer("ABC", dir / "plainfile/LogFiles", 0, false);
  writer.Thread()->SetHeld(true);
  for (int i = 0; i < 20000; ++i) writer.Write(let_info, "queued");
  writer.WriteLast(let_info, "last");
  writer.Write(let_info, "after the last line: ignored");
  EXPECT_EQ(writer.DroppedTotal(), 0);
  const auto start = std::chrono::steady_clock::now();
  writer.Thread()->Stop(-1);  // what destruction does
  // Eleven attempts for the first line, then no more attempts than a probe
  // now and then: far below the bound of 2 s without progress.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(writer.DroppedTotal(), 20001);
  EXPECT_EQ(ReadFile(dir / "plainfile"), "not a folder");
}

#ifndef _WIN32  // a FIFO: POSIX only
TEST(LogWriter, GivesUpOnAWriteThatNeverEnds) {
  TempDir dir;
  const std::string path = dir / "ABC.log";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // opening it to write waits for a reader
  auto writer = std::make_unique<tTK_LogWriter>("ABC", dir.Path(), 0, false);
  writer->Write(let_info, "blocked");
  writer->WriteLast(let_info, "last");
  const auto start = std::chrono::steady_clock::now();
  writer.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // 2 s by design
  // A reader lets the left-over thread finish on its own.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  std::string seen;
  ASSERT_TRUE(WaitFor([&] {
    char buffer[256];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) seen.append(buffer, static_cast<size_t>(n));
    return seen.find(" - last\r\n") != std::string::npos;
  }));
  ::close(fd);
  EXPECT_THAT(seen, HasSubstr(" - blocked\r\n"));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // let it end before the test does
}
#endif

TEST(LogWriter, ReportsDropsStillPendingBeforeItsLastLine) {
  TempDir dir;
  std::string path;
  {
    tTK_LogWriter writer("ABC", dir.Path(), 0, false);
    path = writer.FileName();
    writer.Thread()->SetHeld(true);
    for (int i = 0; i < 20002; ++i) writer.Write(let_info, "queued");
    EXPECT_EQ(writer.DroppedTotal(), 2);
    writer.WriteLast(let_info, "STOP");
    writer.Thread()->SetHeld(false);
  }
  const auto lines = LinesOf(path);
  ASSERT_EQ(lines.size(), 20002u);
  EXPECT_EQ(lines.back().substr(23), " - STOP");
  std::vector<std::string> reports;
  for (const auto& line : lines)
    if (line.find(" - WARN - ") != std::string::npos) reports.push_back(line.substr(23));
  // The last report before the end (or an earlier periodic one, on a slow machine).
  EXPECT_THAT(reports, ElementsAre(" - WARN - Log backpressure: dropped 2 lines (total=2)."));
}

TEST(LogWriter, RetriesWhileAnotherWriterHoldsTheFile) {
  TempDir dir;
  const std::string path = dir / "ABC.log";
  korvane::testing::WriteFile(path, "");
  HeldFile held(path);
  ASSERT_TRUE(held.Held());
  tTK_LogWriter writer("ABC", dir.Path(), 0, false);
  writer.Write(let_info, "waited");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // a few refused attempts
  EXPECT_EQ(writer.Counter(), 0u);
  held.Release();
  ASSERT_TRUE(WaitFor([&] { return writer.Counter() == 1; }));
  EXPECT_THAT(ReadFile(path), HasSubstr(" - waited\r\n"));
}

TEST(LogWriter, BoundsTheWaitForItsThreadWhenTheLibraryUnloads) {
  TempDir dir;
  const std::string path = dir / "ABC.log";
  korvane::testing::WriteFile(path, "");
  HeldFile held(path);
  ASSERT_TRUE(held.Held());  // every append is refused: 550 ms a line
  auto writer = std::make_unique<tTK_LogWriter>("ABC", dir.Path(), 0, false);
  // The thread starts on the lines only when the writer stops, so that the
  // disk comes back while the first line is still being tried, however slow
  // this machine is in starting threads.
  writer->Thread()->SetHeld(true);
  for (int i = 0; i < 4; ++i) writer->Write(let_info, "slow " + std::to_string(i));
  writer->SetIsDLLFinalization(true);
  const auto start = std::chrono::steady_clock::now();
  std::thread release([&] {
    std::this_thread::sleep_until(start + std::chrono::milliseconds(460));
    held.Release();
  });
  writer.reset();
  const auto waited = std::chrono::steady_clock::now() - start;
  release.join();
  EXPECT_GE(waited, std::chrono::milliseconds(450));
  EXPECT_LT(waited, std::chrono::milliseconds(1500));
  // The thread carries on safely on its own: every line is written or, once
  // the first has used up its attempts, counted in the report that the end
  // of the thread writes.
  auto accounted = [&] {
    int count = 0;
    for (const auto& line : SplitCrLf(ReadFile(path))) {
      const size_t at = line.find(" - WARN - Log backpressure: dropped ");
      if (at != std::string::npos)
        count += std::stoi(line.substr(at + 36));
      else if (line.find(" - slow ") != std::string::npos)
        ++count;
    }
    return count;
  };
  EXPECT_TRUE(WaitFor([&] { return accounted() == 4; }, std::chrono::seconds(10))) << ReadFile(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));  // let it end before the test does
}

TEST(LogQueue, ShutDownQueueAcceptsNothingAndDrains) {
  tTK_LogQueue queue(2, 300);
  EXPECT_TRUE(queue.Push("a"));
  EXPECT_TRUE(queue.Push("b"));
  EXPECT_FALSE(queue.Push("c"));  // full: refused at once
  queue.Shutdown();
  EXPECT_TRUE(queue.Push("d"));  // accepted but not added
  std::string line;
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(line, "a");
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(line, "b");
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Empty);
}

TEST(LogQueue, PopsBatchesInOrderUpToTheirLimit) {
  tTK_LogQueue queue(10, 300);
  for (const char* line : {"a", "b", "c"}) EXPECT_TRUE(queue.Push(line));
  std::vector<std::string> lines;
  EXPECT_EQ(queue.PopBatch(lines, 2, 0), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(queue.PopBatch(lines, 5, 0), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c"}));  // added at the end
  queue.Shutdown();
  EXPECT_EQ(queue.PopBatch(lines, 5, 0), tTK_LogQueue::PopResult::Empty);
}

TEST(LogQueue, LinesWrittenIntoTheQueueReuseTheStringsOfLinesWritten) {
  tTK_LogQueue queue(3, 300);
  int writes = 0;
  auto written = [&writes](const char* aText) {
    return [&writes, aText](std::string& aLine) {
      ++writes;
      EXPECT_TRUE(aLine.empty());
      aLine += aText;
    };
  };
  EXPECT_TRUE(queue.PushWritten(10, written("a")));
  EXPECT_TRUE(queue.Push("b"));
  EXPECT_TRUE(queue.PushWritten(10, written("c")));
  EXPECT_FALSE(queue.PushWritten(10, written("d")));  // full: refused, not written
  EXPECT_EQ(writes, 2);
  std::vector<std::string> lines;
  EXPECT_EQ(queue.PopBatch(lines, 5, 0), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "c"}));

  // The strings of lines handed back hold the next lines, a string too large
  // to keep and those beyond the number kept go.
  std::vector<std::string> done = lines;
  done.push_back(std::string(tTK_LogQueue::kSpareBytes + 1, 'x'));
  for (size_t i = 0; i < tTK_LogQueue::kSpareLines; ++i) done.push_back(std::string(100, 'y'));
  std::vector<const char*> rooms;
  for (const std::string& line : done) rooms.push_back(line.data());
  std::vector<std::string> none;
  EXPECT_EQ(queue.PopBatch(none, 5, 0, &done), tTK_LogQueue::PopResult::Timeout);
  EXPECT_TRUE(done.empty());
  EXPECT_TRUE(queue.PushWritten(10, written("e")));
  std::string line;
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Line);
  EXPECT_EQ(line, "e");
  // (the last string kept is taken first: the 29th of the "y" lines)
  EXPECT_EQ(line.data(), rooms[3 + 1 + tTK_LogQueue::kSpareLines - 4]);
  queue.Shutdown();
  EXPECT_TRUE(queue.PushWritten(10, written("f")));  // accepted but not added, nor written
  EXPECT_EQ(writes, 3);
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Empty);
}

// The log thread hands each batch back once written: its strings hold the
// lines that follow, through batches of every size, a burst that grows the
// ring past what it keeps, and a line too large to keep.
TEST(LogQueue, BatchesHandedBackHoldTheNextLinesInOrder) {
  tTK_LogQueue queue(5000, 300);
  size_t pushed = 0, popped = 0;
  // (lines longer than a string holds without room of its own)
  auto text = [](size_t aNumber, size_t aWidth) {
    std::string line = "line " + std::to_string(aNumber);
    line.resize(std::max(line.size(), aWidth), '.');
    return line;
  };
  auto push = [&](size_t aCount, size_t aWidth = 40) {
    for (size_t i = 0; i < aCount; ++i) {
      const std::string line = text(pushed++, aWidth);
      EXPECT_TRUE(queue.PushWritten(line.size(), [&line](std::string& aLine) {
        EXPECT_TRUE(aLine.empty());
        aLine += line;
      }));
    }
  };
  tTK_LogQueue::Lines lines;
  std::set<const char*> rooms;  // of the strings handed back
  // Takes what is queued in batches of at most aMax; with aSameRooms, every
  // line is in a string handed back before.
  auto pop = [&](size_t aMax, bool aSameRooms = false) {
    while (queue.Count() > 0) {
      ASSERT_EQ(queue.PopBatchReusing(lines, aMax, 0), tTK_LogQueue::PopResult::Line);
      EXPECT_LE(lines.size(), aMax);
      for (const tTK_LogQueue::Line& taken : lines) {
        const std::string& line = *taken;
        EXPECT_EQ(line.substr(0, line.find('.')), text(popped++, 0));
        EXPECT_LE(line.capacity(), std::max(tTK_LogQueue::kSpareBytes, line.size()));
        if (aSameRooms) {
          EXPECT_EQ(rooms.count(line.data()), 1u) << line;
        }
        rooms.insert(line.data());
      }
    }
  };
  for (size_t round = 0; round < 200; ++round) {
    push(round % 7 + 1);
    pop(round % 5 + 1);
  }
  push(3 * tTK_LogQueue::kKeptSlots);  // a burst: the ring grows, and shrinks back once taken
  pop(tTK_LogQueue::kKeptSlots / 2);
  push(1, tTK_LogQueue::kSpareBytes + 1);  // not kept once handed back
  pop(1);
  // Batches of one size: once every slot has held a line, no line needs a
  // string of its own.
  for (size_t round = 0; round < 2 * tTK_LogQueue::kKeptSlots; ++round) {
    push(3);
    pop(3);
  }
  for (size_t round = 0; round < 100; ++round) {
    push(3);
    pop(3, true);
  }
  EXPECT_EQ(popped, pushed);
  // A batch not taken leaves what was handed back as it was.
  auto texts = [&lines] {
    std::vector<std::string> result;
    for (const tTK_LogQueue::Line& line : lines) result.push_back(*line);
    return result;
  };
  const std::vector<std::string> before = texts();
  EXPECT_EQ(queue.PopBatchReusing(lines, 5, 0), tTK_LogQueue::PopResult::Timeout);
  EXPECT_EQ(texts(), before);
}

TEST(LogQueue, GatheringEndsWhenTheBatchIsFullOrTheQueueShutsDown) {
  for (const bool shutDown : {false, true}) {
    tTK_LogQueue queue(10, 300);
    queue.Push("a");
    std::thread other([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      if (shutDown) {
        queue.Shutdown();
      } else {
        queue.Push("b");
        queue.Push("c");
      }
    });
    std::vector<std::string> lines;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.PopBatch(lines, 3, 20000), tTK_LogQueue::PopResult::Line);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // not the 20 s
    other.join();
    const std::vector<std::string> expected =
        shutDown ? std::vector<std::string>{"a"} : std::vector<std::string>{"a", "b", "c"};
    EXPECT_EQ(lines, expected);
  }
}

TEST(LogQueue, PopTimesOutOnAnEmptyQueue) {
  tTK_LogQueue queue(2, 50);
  std::string line;
  EXPECT_EQ(queue.Pop(line), tTK_LogQueue::PopResult::Timeout);
}

// A host's folder and a request's LogId make long paths: past the 260
// characters where Windows stops taking the plain form of a path.
TEST(LogWriter, WritesAndRotatesUnderAFolderPathOfMoreThan260Characters) {
  FixedClock clock;
  TempDir dir;
  std::string logDir = dir.Path();
  for (char part = 'a'; logDir.size() <= 300; ++part) logDir += platform::kPathDelim + std::string(60, part);
  ASSERT_GT(logDir.size(), 260u);
  std::string path;
  {
    tTK_LogWriter writer("ABC", logDir, 0, true);
    path = writer.FileName();
    writer.Write(let_info, "first");
  }
  EXPECT_TRUE(platform::DirectoryExists(logDir));
  EXPECT_EQ(platform::ReadFileBytes(path), "2024-09-17 14:03:59:123 - first\r\n");
  // An oversize file is renamed aside before the next line.
  platform::AppendToFile(path, std::string(5120001, 'x'));
  {
    tTK_LogWriter writer("ABC", logDir, 0, true);
    writer.Write(let_info, "fresh");
  }
  EXPECT_EQ(platform::FileSize(logDir + platform::kPathDelim + "ABC_20240917_20240917140359123.log"),
            5120001 + 33);
  EXPECT_EQ(platform::ReadFileBytes(path), "2024-09-17 14:03:59:123 - fresh\r\n");
}

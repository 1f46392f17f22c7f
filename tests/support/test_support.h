// The helpers every test program shares: temporary folders, files, waiting,
// the message of a korvane::Error, environment variables, device logs read
// back entry by entry, and other programs run to their end.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace korvane::testing {

// A fresh folder of a name of its own under the system's temporary folder,
// removed with its contents at the end of the scope.
class TempDir {
 public:
#ifdef _WIN32
  static constexpr char kSeparator = '\\';
#else
  static constexpr char kSeparator = '/';
#endif

  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return fPath; }
  // The path of aName in the folder, joined by the system's own separator.
  std::string File(const std::string& aName) const { return fPath + kSeparator + aName; }
  std::string operator/(const std::string& aName) const { return File(aName); }
  bool IsEmpty() const;

 private:
  std::string fPath;
};

std::string ReadFile(const std::string& aPath);
void WriteFile(const std::string& aPath, const std::string& aData);

// The lines of a CR LF text, without their line ends.
std::vector<std::string> SplitCrLf(const std::string& aText);
// The lines of a LF text, without their line ends.
std::vector<std::string> SplitLines(const std::string& aText);

// Polls aCondition every 10 ms until it holds or aTimeout passes.
bool WaitFor(const std::function<bool()>& aCondition,
             std::chrono::milliseconds aTimeout = std::chrono::seconds(10));

// What ErrorOf gives when the call raises nothing.
inline const std::string kNoError = "<no error>";

// The message of the korvane::Error that aCall(aArgs...) raises, or kNoError.
template <class F, class... Args>
std::string ErrorOf(F&& aCall, Args&&... aArgs) {
  try {
    std::forward<F>(aCall)(std::forward<Args>(aArgs)...);
  } catch (const korvane::Error& e) {
    return e.what();
  }
  return kNoError;
}

// Sets an environment variable (aValue null: removes it) for the scope and
// restores it after.
class ScopedEnv {
 public:
  ScopedEnv(const char* aName, const char* aValue);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string fName;
  std::string fOld;
  bool fHadOld = false;
};

// ---- device logs --------------------------------------------------------

// One log entry: its level and its message without the time stamp.
struct LogLine {
  bool error = false;
  std::string message;
  bool operator==(const LogLine&) const = default;
};

inline LogLine Info(const std::string& aMessage) { return {false, aMessage}; }
inline LogLine Err(const std::string& aMessage) { return {true, aMessage}; }

std::ostream& operator<<(std::ostream& aOut, const LogLine& aLine);

inline const std::string kStart = "*************************** START ***************************";
inline const std::string kStop = "*************************** STOP ****************************";

// The entries of a log file: "yyyy-mm-dd hh:mm:ss:zzz - message" or
// "... - ERROR - message", each ended by CR LF. A message may hold CR LF
// itself: a line break ends an entry only where a time stamp follows it. An
// entry without a time stamp comes back as the error "<malformed line> ...",
// text without its CR LF at the end as the error "<unterminated line> ...".
std::vector<LogLine> ReadLog(const std::string& aPath);

// The entries after the connection banner (the five banner lines themselves
// left out), without the STOP line.
std::vector<LogLine> AfterBanner(std::vector<LogLine> aLog);

// ---- what the systems do differently --------------------------------------

// This process's id.
unsigned long ThisProcessId();

// Whether this is a Windows program running under Wine (ntdll tells).
bool UnderWine();

// aFolder with aNames below it, joined by the system's own separator.
std::string JoinPath(std::string aFolder, std::initializer_list<std::string> aNames);

// The failures the tests provoke whose text is the system's own, as the
// library reports it: a folder opened as a file, a refused connection.
enum class SystemFailure { FolderOpenedAsFile, ConnectionRefused };
std::string SystemText(SystemFailure aFailure);

// A folder name that is legal on this system, but a test of the paths built
// from it: "pos|2 <till>" here ("|" and "<" are not allowed in a Windows
// path), on Windows one with blanks, "&" and a letter beyond ASCII.
extern const char* const kUnusualFolderName;

// A device that opens but is no regular file ("/dev/zero" here, "NUL" on
// Windows).
extern const char* const kCharacterDevice;

// A pipe with a path in the file system's name space, open for the life of
// the object: a FIFO in aFolder here, a named pipe under \\.\pipe\ on
// Windows (a few instances, each waiting for a client of its own).
class NamedPipe {
 public:
  explicit NamedPipe(const TempDir& aFolder);
  ~NamedPipe();
  NamedPipe(const NamedPipe&) = delete;
  NamedPipe& operator=(const NamedPipe&) = delete;
  const std::string& Path() const { return fPath; }

 private:
  std::string fPath;
  std::vector<void*> fInstances;  // the server ends on Windows
};

// Whether the system limits the size of the files a process writes (not
// Windows). LimitFileSize sets the limit for this process, so that a write
// beyond aBytes stops part-way (and raises no signal); RemoveFileSizeLimit
// puts back the limit there was before.
extern const bool kHaveFileSizeLimit;
bool LimitFileSize(unsigned long long aBytes);
bool RemoveFileSizeLimit();

// ---- other programs -----------------------------------------------------

// The full path of this test program's own executable file.
std::filesystem::path ThisProgramPath();

struct ProgramRun {
  int fStatus = -1;  // exit status, -1 when it did not exit normally
  std::string fOut;
  std::string fErr;
};

// Runs aArgs[0] with the other arguments, in this program's environment;
// aInput goes to its standard input, its standard output and error come back.
// A program still running after aTimeout is killed (its status is then -1).
ProgramRun RunProgram(const std::vector<std::string>& aArgs, const std::string& aInput = "",
                      std::chrono::seconds aTimeout = std::chrono::seconds(120));

}  // namespace korvane::testing

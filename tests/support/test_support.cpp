#include "support/test_support.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif
#include <stdlib.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "helpers/utf.h"
#include "support/loopback.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace korvane::testing {

// ---- TempDir ------------------------------------------------------------

TempDir::TempDir() {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char name[32];
    std::snprintf(name, sizeof name, "korvane-test-%016llx", static_cast<unsigned long long>(random()));
    // create_directory is false when the name is taken: try another.
    if (std::filesystem::create_directory(base / name)) {
      fPath = (base / name).string();
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder under " + base.string());
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(fPath, ignored);
}

bool TempDir::IsEmpty() const { return std::filesystem::is_empty(fPath); }

// ---- files and text -----------------------------------------------------

std::string ReadFile(const std::string& aPath) {
  std::ifstream in(aPath, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& aPath, const std::string& aData) {
  std::ofstream out(aPath, std::ios::binary | std::ios::trunc);
  out << aData;
}

std::vector<std::string> SplitCrLf(const std::string& aText) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t at = aText.find("\r\n"); at != std::string::npos; at = aText.find("\r\n", start)) {
    lines.push_back(aText.substr(start, at - start));
    start = at + 2;
  }
  if (start < aText.size()) lines.push_back(aText.substr(start));
  return lines;
}

std::vector<std::string> SplitLines(const std::string& aText) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < aText.size()) {
    size_t end = aText.find('\n', start);
    if (end == std::string::npos) end = aText.size();
    lines.push_back(aText.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool WaitFor(const std::function<bool()>& aCondition, std::chrono::milliseconds aTimeout) {
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  while (!aCondition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// ---- ScopedEnv ----------------------------------------------------------

namespace {

// Sets (aValue null: removes) a variable of the process's environment; on
// Windows the C runtime passes it on to the system's own copy.
void SetEnv(const char* aName, const char* aValue) {
#ifdef _WIN32
  ::_putenv_s(aName, aValue ? aValue : "");
#else
  if (aValue)
    ::setenv(aName, aValue, 1);
  else
    ::unsetenv(aName);
#endif
}

}  // namespace

ScopedEnv::ScopedEnv(const char* aName, const char* aValue) : fName(aName) {
  if (const char* old = ::getenv(aName)) fOld = old, fHadOld = true;
  SetEnv(aName, aValue);
}

ScopedEnv::~ScopedEnv() { SetEnv(fName.c_str(), fHadOld ? fOld.c_str() : nullptr); }

// ---- device logs --------------------------------------------------------

std::ostream& operator<<(std::ostream& aOut, const LogLine& aLine) {
  return aOut << (aLine.error ? "ERROR " : "info  ") << '"' << aLine.message << '"';
}

namespace {

constexpr size_t kStampLength = 23;

// "yyyy-mm-dd hh:mm:ss:zzz" at aText[aAt].
bool IsTimeStamp(const std::string& aText, size_t aAt) {
  static const char kShape[] = "dddd-dd-dd dd:dd:dd:ddd";
  if (aText.size() < aAt + kStampLength) return false;
  for (size_t i = 0; i < kStampLength; ++i) {
    const char c = aText[aAt + i];
    if (kShape[i] == 'd' ? (c < '0' || c > '9') : c != kShape[i]) return false;
  }
  return true;
}

}  // namespace

std::vector<LogLine> ReadLog(const std::string& aPath) {
  const std::string text = ReadFile(aPath);
  std::vector<LogLine> lines;
  size_t at = 0;
  while (at < text.size()) {
    // The entry ends at the first CR LF followed by a time stamp or the end.
    size_t end = at;
    while (true) {
      end = text.find("\r\n", end);
      if (end == std::string::npos || end + 2 == text.size() || IsTimeStamp(text, end + 2)) break;
      end += 2;
    }
    if (end == std::string::npos) {
      lines.push_back({true, "<unterminated line> " + text.substr(at)});
      break;
    }
    const std::string entry = text.substr(at, end - at);
    at = end + 2;
    if (!IsTimeStamp(entry, 0))
      lines.push_back({true, "<malformed line> " + entry});
    else if (entry.compare(kStampLength, 11, " - ERROR - ") == 0)
      lines.push_back({true, entry.substr(kStampLength + 11)});
    else if (entry.compare(kStampLength, 3, " - ") == 0)
      lines.push_back({false, entry.substr(kStampLength + 3)});
    else
      lines.push_back({true, "<malformed line> " + entry});
  }
  return lines;
}

std::vector<LogLine> AfterBanner(std::vector<LogLine> aLog) {
  static const std::string kBanner(61, '*');
  size_t from = 0;
  for (size_t i = 0; i < aLog.size(); ++i)
    if (aLog[i].message == kBanner) from = i + 5;
  std::vector<LogLine> result(aLog.begin() + static_cast<long>(std::min(from, aLog.size())), aLog.end());
  if (!result.empty() && result.back() == Info(kStop)) result.pop_back();
  return result;
}

// ---- what the systems do differently --------------------------------------

std::string JoinPath(std::string aFolder, std::initializer_list<std::string> aNames) {
  for (const std::string& name : aNames) aFolder += TempDir::kSeparator + name;
  return aFolder;
}

#ifdef _WIN32
unsigned long ThisProcessId() { return ::GetCurrentProcessId(); }

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string SystemText(SystemFailure aFailure) {
  // As the library's platform layer words it: the system's message, without
  // the line break at its end.
  const DWORD code = aFailure == SystemFailure::FolderOpenedAsFile ? ERROR_ACCESS_DENIED : WSAECONNREFUSED;
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::u16string message(text, text + n);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n' || message.back() == u' '))
    message.pop_back();
  return n == 0 ? "Unknown error " + std::to_string(code) : platform::Utf16ToUtf8Replacing(message);
}

const char* const kUnusualFolderName = "pos 2 & till \xC3\xA9";
const char* const kCharacterDevice = "NUL";

NamedPipe::NamedPipe(const TempDir&) {
  static std::atomic<int> count{0};
  fPath = "\\\\.\\pipe\\korvane-test-" + std::to_string(ThisProcessId()) + "-" + std::to_string(++count);
  const std::u16string name = platform::Utf8ToUtf16(fPath);
  for (int i = 0; i < 4; ++i) {
    HANDLE instance =
        ::CreateNamedPipeW(std::wstring(name.begin(), name.end()).c_str(), PIPE_ACCESS_OUTBOUND,
                           PIPE_TYPE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    if (instance == INVALID_HANDLE_VALUE) {
      for (void* made : fInstances) ::CloseHandle(made);
      throw std::runtime_error("cannot make the pipe " + fPath);
    }
    fInstances.push_back(instance);
  }
}

NamedPipe::~NamedPipe() {
  for (void* instance : fInstances) ::CloseHandle(instance);
  fInstances.clear();
}

const bool kHaveFileSizeLimit = false;
bool LimitFileSize(unsigned long long) { return false; }
bool RemoveFileSizeLimit() { return false; }
#else
unsigned long ThisProcessId() { return static_cast<unsigned long>(::getpid()); }

bool UnderWine() { return false; }

std::string SystemText(SystemFailure aFailure) {
  return std::strerror(aFailure == SystemFailure::FolderOpenedAsFile ? EISDIR : ECONNREFUSED);
}

const char* const kUnusualFolderName = "pos|2 <till>";
const char* const kCharacterDevice = "/dev/zero";

NamedPipe::NamedPipe(const TempDir& aFolder) : fPath(aFolder.File("pipe.png")) {
  if (::mkfifo(fPath.c_str(), 0600) != 0) throw std::runtime_error("cannot make the FIFO " + fPath);
}

NamedPipe::~NamedPipe() = default;

const bool kHaveFileSizeLimit = true;

namespace {
rlimit gSizeLimitBefore{};
bool gSizeLimited = false;
}  // namespace

bool LimitFileSize(unsigned long long aBytes) {
  if (!gSizeLimited && ::getrlimit(RLIMIT_FSIZE, &gSizeLimitBefore) != 0) return false;
  ::signal(SIGXFSZ, SIG_IGN);
  const rlimit tight{static_cast<rlim_t>(aBytes), gSizeLimitBefore.rlim_max};
  gSizeLimited = ::setrlimit(RLIMIT_FSIZE, &tight) == 0;
  return gSizeLimited;
}

bool RemoveFileSizeLimit() {
  if (!gSizeLimited) return true;
  gSizeLimited = ::setrlimit(RLIMIT_FSIZE, &gSizeLimitBefore) != 0;
  return !gSizeLimited;
}
#endif

// ---- other programs -----------------------------------------------------

#ifdef _WIN32
std::filesystem::path ThisProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) throw std::runtime_error("cannot find this program's path");
    if (n < path.size()) return std::filesystem::path(path.substr(0, n));
    path.resize(path.size() * 2);  // cut short: room for more
  }
}

// RunProgram: support/run_program_win32.cpp.
#else
std::filesystem::path ThisProgramPath() { return std::filesystem::canonical("/proc/self/exe"); }

ProgramRun RunProgram(const std::vector<std::string>& aArgs, const std::string& aInput,
                      std::chrono::seconds aTimeout) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  std::vector<std::string> args = aArgs;
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  ProgramRun run;
  if (spawned != 0) {
    close(in[1]), close(out[0]), close(err[0]);
    run.fErr = "cannot start " + aArgs[0];
    return run;
  }
  if (!aInput.empty()) (void)!write(in[1], aInput.data(), aInput.size());
  close(in[1]);
  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  bool outOpen = true, errOpen = true, timedOut = false;
  while (outOpen || errOpen) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timedOut = true;
      break;
    }
    pollfd fds[2] = {{outOpen ? out[0] : -1, POLLIN, 0}, {errOpen ? err[0] : -1, POLLIN, 0}};
    if (poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    char buffer[8192];
    for (int k = 0; k < 2; ++k) {
      if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = read(fds[k].fd, buffer, sizeof buffer);
      if (n <= 0) {
        (k == 0 ? outOpen : errOpen) = false;
      } else {
        (k == 0 ? run.fOut : run.fErr).append(buffer, static_cast<size_t>(n));
      }
    }
  }
  close(out[0]);
  close(err[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  run.fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (timedOut) run.fErr += "\n(killed after " + std::to_string(aTimeout.count()) + " s)";
  return run;
}
#endif

}  // namespace korvane::testing

// korvane-host: drives QORD_KORVANE_10.so by hand, loading it at run time
// exactly as a point-of-sale host does.
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "call_watchdog.h"
#include "demo.h"
#include "korvane_library.h"
#include "request_file.h"

using namespace korvane::host;

namespace {

constexpr const char* kUsage = R"(usage: korvane-host [--library PATH] [--timeout SEC] COMMAND ...

Commands:
  call [--display HOST:PORT] [--raw] [--keep-going] EXPORT FILE|- [EXPORT FILE|- ...]
        Sends each request file ("-": standard input) to the export named
        before it (OPEN, CLOSE, MESSAGE, CLOSEMESSAGE, RECEIPT, THANKYOU,
        IDLE), in one process, and prints the envelope, the error text and
        the result. --display points OPEN requests at another display;
        --raw sends the file unchecked. Stops at the first result -1 unless
        --keep-going; the exit status is 1 when any result was -1.
  version [DRIVER]
        Prints the version text of DRIVER (QORD_KORVANE_10).
  demo [--display HOST:PORT] [--pace MS] [--stay] [--screenshots DIR] [--display-log] [--faults]
        A scripted sale: OPEN, IDLE, a MESSAGE and a growing RECEIPT per
        item, payment, THANKYOU, IDLE, CLOSE. Without --display it starts the
        display simulator on free loopback ports and prints the address of
        its page first. --pace pauses after each step, --stay keeps the
        simulator running afterwards, --screenshots saves idle.png,
        receipt.png and thankyou.png (headless Chromium). --faults freezes
        the embedded display half-way for a few steps (it stops reading),
        then lets it recover: the calls meanwhile fail within their bound
        and the sale goes on; a call stuck for 10 s ends the demo.

Options:
  --library PATH   the library to load (default: the one built beside the tool)
  --timeout SEC    give up when one call takes longer (60; 0: wait forever)
)";

// The library built beside the tool: <tool folder>/../lib/QORD_KORVANE_10.so,
// else the one this build made.
std::string DefaultLibraryPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto beside = exe.parent_path().parent_path() / "lib" / "QORD_KORVANE_10.so";
    if (std::filesystem::exists(beside, ec)) return beside.string();
  }
#ifdef KORVANE_LIBRARY_PATH
  return KORVANE_LIBRARY_PATH;
#else
  return (exe.parent_path().parent_path() / "lib" / "QORD_KORVANE_10.so").string();
#endif
}

[[noreturn]] void UsageError(const std::string& aMessage) {
  std::fprintf(stderr, "korvane-host: %s (see --help)\n", aMessage.c_str());
  std::exit(2);
}

long Number(const std::string& aOption, const std::string& aText, long aMax) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(aText.c_str(), &end, 10);
  if (errno || aText.empty() || *end || value < 0 || value > aMax)
    UsageError(aOption + " expects a number from 0 to " + std::to_string(aMax) + ", not '" + aText + "'");
  return value;
}

void PrintLines(const std::string& aText) {
  // The envelope's pieces are joined by CR LF; print them one a line.
  std::size_t start = 0;
  while (start <= aText.size()) {
    auto end = aText.find("\r\n", start);
    if (end == std::string::npos) end = aText.size();
    std::printf("%s\n", aText.substr(start, end - start).c_str());
    start = end + 2;
  }
}

int Call(const std::string& aLibrary, std::chrono::seconds aTimeout, const std::vector<std::string>& aArgs) {
  RequestEdits edits;
  bool raw = false, keepGoing = false;
  std::vector<std::pair<std::string, std::string>> calls;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    const std::string& arg = aArgs[i];
    if (arg == "--display") {
      if (i + 1 >= aArgs.size()) UsageError("--display needs HOST:PORT");
      edits.fDisplay = ParseDisplayAddress(aArgs[++i]);
    } else if (arg == "--raw") {
      raw = true;
    } else if (arg == "--keep-going") {
      keepGoing = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      UsageError("unknown option '" + arg + "' for call");
    } else {
      if (i + 1 >= aArgs.size()) UsageError("call needs a request file after " + arg);
      calls.emplace_back(RequestCallName(arg), aArgs[++i]);
    }
  }
  if (calls.empty()) UsageError("call needs an export and a request file");
  if (raw && edits.fDisplay) UsageError("--raw sends the file unchanged: it cannot take --display");

  // Every file is read and checked before the first call.
  std::vector<std::string> requests;
  for (const auto& [name, file] : calls) {
    const std::string text = ReadRequestFile(file);
    requests.push_back(raw ? text : PrepareRequest(text, file == "-" ? "standard input" : file, edits));
  }
  KorvaneLibrary library(aLibrary);
  CallWatchdog watchdog(aTimeout);
  int status = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const auto& [name, file] = calls[i];
    std::printf("== %s %s\n", name.c_str(), file.c_str());
    watchdog.Arm(name);
    const CallResult result = library.Call(name, requests[i]);
    watchdog.Disarm();
    PrintLines(result.fEnvelope);
    std::printf("ErrorMessage: %s\n", result.fErrorText.empty() ? "(none)" : result.fErrorText.c_str());
    std::printf("Result: %d (%.1f ms)\n", result.fResult, result.fDuration.count() / 1000.0);
    std::fflush(stdout);
    if (result.fResult != 0) {
      std::string reason = result.fErrorText.empty() ? "result -1" : result.fErrorText;
      if (const auto eol = reason.find_first_of("\r\n"); eol != std::string::npos)
        reason = reason.substr(0, eol) + " ...";
      std::fprintf(stderr, "korvane-host: %s %s failed: %s\n", name.c_str(), file.c_str(), reason.c_str());
      status = 1;
      if (!keepGoing) break;
    }
  }
  return status;
}

int Version(const std::string& aLibrary, const std::vector<std::string>& aArgs) {
  if (aArgs.size() > 1) UsageError("version takes at most one driver name");
  const std::string driver = aArgs.empty() ? "QORD_KORVANE_10" : aArgs[0];
  KorvaneLibrary library(aLibrary);
  const auto version = library.Version(driver);
  if (!version) {
    std::fprintf(stderr, "korvane-host: no driver named '%s' in %s\n", driver.c_str(), aLibrary.c_str());
    return 1;
  }
  std::printf("%s\n", version->c_str());
  return 0;
}

int Demo(const std::string& aLibrary, std::chrono::seconds aTimeout, const std::vector<std::string>& aArgs) {
  DemoOptions options;
  options.fLibrary = aLibrary;
  options.fCallTimeout = aTimeout;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    const std::string& arg = aArgs[i];
    auto value = [&]() -> const std::string& {
      if (i + 1 >= aArgs.size()) UsageError(arg + " needs a value");
      return aArgs[++i];
    };
    if (arg == "--display")
      options.fDisplay = ParseDisplayAddress(value());
    else if (arg == "--pace")
      options.fPace = std::chrono::milliseconds(Number(arg, value(), 600000));
    else if (arg == "--stay")
      options.fStay = true;
    else if (arg == "--screenshots")
      options.fScreenshots = value();
    else if (arg == "--display-log")
      options.fShowDisplayLog = true;
    else if (arg == "--faults")
      options.fFaults = true;
    else
      UsageError("unknown option '" + arg + "' for demo");
  }
  return RunDemo(options, stdout, stderr);
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGPIPE, SIG_IGN);
  std::string library;
  std::chrono::seconds timeout{60};
  std::string command;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (command.empty() && (arg == "-h" || arg == "--help")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--library" || arg == "--timeout") {
      if (i + 1 >= argc) UsageError(arg + " needs a value");
      if (arg == "--library")
        library = argv[++i];
      else
        timeout = std::chrono::seconds(Number(arg, argv[++i], 86400));
    } else if (command.empty()) {
      command = arg;
    } else {
      args.push_back(arg);
    }
  }
  if (library.empty()) library = DefaultLibraryPath();
  try {
    if (command == "call") return Call(library, timeout, args);
    if (command == "version") return Version(library, args);
    if (command == "demo") return Demo(library, timeout, args);
    if (command.empty()) UsageError("a command is needed: call, version or demo");
    UsageError("unknown command '" + command + "'");
  } catch (const HostError& e) {
    std::fprintf(stderr, "korvane-host: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-host: %s\n", e.what());
    return 1;
  }
}

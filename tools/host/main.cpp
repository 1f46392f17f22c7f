// korvane-host: drives QORD_KORVANE_10.so by hand, loading it at run time
// exactly as a point-of-sale host does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "call_watchdog.h"
#include "demo.h"
#include "host_session.h"
#include "host_system.h"
#include "korvane_library.h"
#include "line_reader.h"
#include "request_builder.h"
#include "request_file.h"
#include "request_lint.h"
#include "simulator_system.h"

using namespace korvane::host;

namespace {

constexpr const char* kUsage = R"(usage: korvane-host [--library PATH] [--timeout SEC] COMMAND ...

Commands:
  call [--display HOST:PORT] [--raw] [--strict] [--keep-going] EXPORT FILE|- [EXPORT FILE|- ...]
        Sends each request file ("-": standard input) to the export named
        before it (OPEN, CLOSE, MESSAGE, CLOSEMESSAGE, RECEIPT, THANKYOU,
        IDLE), in one process, and prints the envelope, the error text and
        the result. The calls share the process, so a call other than OPEN
        needs an OPEN before it. A file may be UTF-8 or UTF-16 with a byte
        order mark. --display points OPEN requests at another display;
        --raw sends the file without checking it is XML (no --display then);
        --strict lists, with line and column, the elements no request of
        that export reads (typos included) and then calls nothing. Stops at
        the first result -1 unless --keep-going; the exit status is 1 when
        any result was -1.
  message [--display HOST:PORT] "LINE 1" ["LINE 2"]
        OPEN on the display (127.0.0.1:7390 unless --display), then MESSAGE
        with the two lines: no request file needed.
  template EXPORT
        Prints a commented request for EXPORT to start a file from.
  shell [--display HOST:PORT]
        A session for calls by hand: OPEN once, then commands (message,
        receipt add, idle, thankyou, close, send FILE, show; help lists
        them) with history and completion; each prints the envelope and the
        time taken.
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

// The library that came with the tool: beside it (the Windows package's
// bin/x64), in <tool folder>/../<libdir> as installed (Debian's
// lib/<multiarch>), or in <tool folder>/../lib as built; else the one this
// build made.
std::string DefaultLibraryPath() {
  const auto utf8 = [](const std::filesystem::path& aPath) {
    const std::u8string text = aPath.u8string();
    return std::string(text.begin(), text.end());
  };
  const std::filesystem::path folder = ThisProgramPath().parent_path();
  const std::filesystem::path beside = folder / KORVANE_LIBRARY_FILE_NAME;
  if (!folder.empty()) {
    std::error_code ec;
    for (const std::filesystem::path& candidate :
         {beside, folder.parent_path() / KORVANE_INSTALL_LIBDIR / KORVANE_LIBRARY_FILE_NAME,
          folder.parent_path() / "lib" / KORVANE_LIBRARY_FILE_NAME})
      if (std::filesystem::exists(candidate, ec)) return utf8(candidate);
  }
  std::error_code ec;
  if (std::filesystem::exists(KORVANE_LIBRARY_PATH, ec)) return KORVANE_LIBRARY_PATH;
  return utf8(beside);
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

// The simulator's default address, where quick calls and the shell go
// unless told otherwise.
const DisplayAddress kDefaultDisplay{"127.0.0.1", 7390};

int Call(const std::string& aLibrary, std::chrono::seconds aTimeout, const std::vector<std::string>& aArgs) {
  RequestEdits edits;
  bool raw = false, keepGoing = false, strict = false;
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
    } else if (arg == "--strict") {
      strict = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
      UsageError("unknown option '" + arg + "' for call");
    } else {
      if (i + 1 >= aArgs.size()) UsageError("call needs a request file after " + arg);
      calls.emplace_back(RequestCallName(arg), aArgs[++i]);
    }
  }
  if (calls.empty()) UsageError("call needs an export and a request file");
  if (raw && edits.fDisplay) UsageError("--raw sends the file unchanged: it cannot take --display");
  if (raw && strict) UsageError("--raw sends the file unchecked: it cannot take --strict");

  // Every file is read and checked before the first call.
  std::vector<std::string> requests;
  std::size_t findings = 0;
  for (const auto& [name, file] : calls) {
    const std::string text = ReadRequestFile(file);
    const std::string shown = file == "-" ? "standard input" : file;
    requests.push_back(raw ? text : PrepareRequest(text, shown, edits));
    if (strict)
      for (const LintFinding& finding : LintRequest(text, name)) {
        std::fprintf(stderr, "%s:%d:%d: %s\n", shown.c_str(), finding.fLine, finding.fColumn,
                     finding.fText.c_str());
        ++findings;
      }
  }
  if (findings) {
    std::fprintf(stderr, "korvane-host: --strict: %zu finding%s, nothing called\n", findings,
                 findings == 1 ? "" : "s");
    return 1;
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
    PrintCallResult(stdout, result);
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

// --display HOST:PORT among aArgs (taken out of them), else the default.
DisplayAddress TakeDisplay(std::vector<std::string>& aArgs) {
  DisplayAddress display = kDefaultDisplay;
  for (std::size_t i = 0; i < aArgs.size(); ++i) {
    if (aArgs[i] != "--display") continue;
    if (i + 1 >= aArgs.size()) UsageError("--display needs HOST:PORT");
    display = ParseDisplayAddress(aArgs[i + 1]);
    aArgs.erase(aArgs.begin() + static_cast<std::ptrdiff_t>(i),
                aArgs.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    break;
  }
  return display;
}

int QuickMessage(const std::string& aLibrary, std::chrono::seconds aTimeout, std::vector<std::string> aArgs) {
  const DisplayAddress display = TakeDisplay(aArgs);
  for (const auto& arg : aArgs)
    if (arg.rfind("--", 0) == 0) UsageError("unknown option '" + arg + "' for message");
  if (aArgs.empty() || aArgs.size() > 2) UsageError("message takes one or two lines of text");
  KorvaneLibrary library(aLibrary);
  CallWatchdog watchdog(aTimeout);
  HostSession session(library, display, stdout, stderr, &watchdog);
  if (!session.Open()) {
    std::fprintf(stderr, "korvane-host: OPEN on %s failed\n", display.Text().c_str());
    return 1;
  }
  if (!session.Message(aArgs[0], aArgs.size() > 1 ? aArgs[1] : "")) {
    std::fprintf(stderr, "korvane-host: MESSAGE failed\n");
    return 1;
  }
  return 0;
}

int Template(const std::vector<std::string>& aArgs) {
  if (aArgs.size() != 1) UsageError("template takes one export name");
  std::fputs(RequestTemplate(aArgs[0]).c_str(), stdout);
  return 0;
}

int Shell(const std::string& aLibrary, std::chrono::seconds aTimeout, std::vector<std::string> aArgs) {
  const DisplayAddress display = TakeDisplay(aArgs);
  if (!aArgs.empty()) UsageError("unknown argument '" + aArgs[0] + "' for shell");
  KorvaneLibrary library(aLibrary);
  CallWatchdog watchdog(aTimeout);
  HostSession session(library, display, stdout, stderr, &watchdog);
  std::printf("korvane-host shell: %s, display %s (help lists the commands)\n", library.Path().c_str(),
              display.Text().c_str());
  session.Open();
  LineReader reader;
  while (const std::optional<std::string> line = reader.Read("korvane> "))
    if (!session.Execute(*line)) break;
  return session.AnyFailed() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  korvane::simulator::IgnoreBrokenPipes();
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
    if (command == "message") return QuickMessage(library, timeout, args);
    if (command == "template") return Template(args);
    if (command == "shell") return Shell(library, timeout, args);
    if (command.empty()) UsageError("a command is needed: call, message, template, shell, version or demo");
    UsageError("unknown command '" + command + "'");
  } catch (const HostError& e) {
    std::fprintf(stderr, "korvane-host: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "korvane-host: %s\n", e.what());
    return 1;
  }
}

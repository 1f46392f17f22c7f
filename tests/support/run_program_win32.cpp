// RunProgram on Windows: the program started with CreateProcessW from one
// command line, its standard handles on pipes of this process. The pipes are
// read as bytes arrive, in one loop that also watches the program, so that no
// read blocks: the wait is bounded by the time-out alone.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "helpers/utf.h"
#include "support/test_support.h"

namespace korvane::testing {

namespace {

std::wstring Wide(const std::string& aUtf8) {
  const std::u16string text = platform::Utf8ToUtf16(aUtf8);
  return std::wstring(text.begin(), text.end());
}

// One argument as the C runtime's command-line parser reads it back: quoted
// when it holds blanks or quotes, backslashes doubled before a quote.
std::wstring Quoted(const std::wstring& aArg) {
  if (!aArg.empty() && aArg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return aArg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : aArg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

class Handle {
 public:
  Handle() = default;
  ~Handle() { Close(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* Out() { return &fHandle; }
  HANDLE Get() const { return fHandle; }
  void Close() {
    if (fHandle) ::CloseHandle(fHandle);
    fHandle = nullptr;
  }

 private:
  HANDLE fHandle = nullptr;
};

// A pipe whose aChildEnd (0: the read end, 1: the write end) the program
// inherits; this process keeps the other end to itself.
bool MakePipe(Handle& aRead, Handle& aWrite, int aChildEnd, DWORD aSize) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!::CreatePipe(aRead.Out(), aWrite.Out(), &inherit, aSize)) return false;
  return ::SetHandleInformation((aChildEnd == 0 ? aWrite : aRead).Get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

// Appends what aPipe holds now, without waiting; false once the program's
// end is closed and nothing is left.
bool Drain(HANDLE aPipe, std::string& aInto) {
  for (;;) {
    DWORD waiting = 0;
    if (!::PeekNamedPipe(aPipe, nullptr, 0, nullptr, &waiting, nullptr)) return false;
    if (waiting == 0) return true;
    char buffer[8192];
    DWORD n = 0;
    if (!::ReadFile(aPipe, buffer, std::min<DWORD>(waiting, sizeof buffer), &n, nullptr)) return false;
    aInto.append(buffer, n);
  }
}

}  // namespace

ProgramRun RunProgram(const std::vector<std::string>& aArgs, const std::string& aInput,
                      std::chrono::seconds aTimeout) {
  ProgramRun run;
  Handle inRead, inWrite, outRead, outWrite, errRead, errWrite;
  // The input pipe holds all of aInput: writing it never waits for the program.
  const DWORD inSize = static_cast<DWORD>(std::max<size_t>(aInput.size() + 1, 4096));
  if (!MakePipe(inRead, inWrite, 0, inSize) || !MakePipe(outRead, outWrite, 1, 0) ||
      !MakePipe(errRead, errWrite, 1, 0)) {
    run.fErr = "cannot make pipes for " + aArgs[0];
    return run;
  }
  std::wstring commandLine;
  for (const std::string& arg : aArgs) commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(Wide(arg));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead.Get();
  startup.hStdOutput = outWrite.Get();
  startup.hStdError = errWrite.Get();
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(Wide(aArgs[0]).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  // The program's ends are its own now: the pipes end when it does.
  inRead.Close();
  outWrite.Close();
  errWrite.Close();
  if (!started) {
    run.fErr = "cannot start " + aArgs[0] + " (error " + std::to_string(::GetLastError()) + ")";
    return run;
  }
  Handle program, thread;
  *program.Out() = process.hProcess;
  *thread.Out() = process.hThread;
  DWORD written = 0;
  if (!aInput.empty())
    ::WriteFile(inWrite.Get(), aInput.data(), static_cast<DWORD>(aInput.size()), &written, nullptr);
  inWrite.Close();

  const auto deadline = std::chrono::steady_clock::now() + aTimeout;
  bool outOpen = true, errOpen = true, exited = false, timedOut = false;
  auto exitedAt = std::chrono::steady_clock::time_point();
  while (outOpen || errOpen) {
    outOpen = outOpen && Drain(outRead.Get(), run.fOut);
    errOpen = errOpen && Drain(errRead.Get(), run.fErr);
    const auto now = std::chrono::steady_clock::now();
    if (!exited && ::WaitForSingleObject(program.Get(), 10) == WAIT_OBJECT_0) exited = true, exitedAt = now;
    // A program of its own may still hold the pipes: the output ends with
    // the program, at most a second later.
    if (exited && now - exitedAt > std::chrono::seconds(1)) break;
    if (!exited && now > deadline) {
      timedOut = true;
      ::TerminateProcess(program.Get(), 1);
      ::WaitForSingleObject(program.Get(), 10000);
      break;
    }
    if (exited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  DWORD code = 0;
  if (!timedOut && ::GetExitCodeProcess(program.Get(), &code) && code != STILL_ACTIVE)
    run.fStatus = static_cast<int>(code);
  if (timedOut) run.fErr += "\n(killed after " + std::to_string(aTimeout.count()) + " s)";
  return run;
}

}  // namespace korvane::testing

// The simulator's system calls on Windows: the console's stop events, handle
// inheritance, exclusive listening ports, the CRT's safe time conversions.
#include <winsock2.h>
// after winsock2.h
#include <windows.h>

#include <condition_variable>
#include <mutex>

#include "simulator_system.h"

namespace korvane::simulator {

namespace {

std::mutex gStopLock;
std::condition_variable gStopped;
bool gStopRequested = false;

// Called on a thread of the system's own; answering TRUE keeps the default
// handler (which ends the process at once) from running. (After a close or
// shutdown event the system ends the process anyway, soon after.)
BOOL WINAPI OnConsoleEvent(DWORD aEvent) {
  switch (aEvent) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT: {
      std::lock_guard<std::mutex> lock(gStopLock);
      gStopRequested = true;
      gStopped.notify_all();
      return TRUE;
    }
    default: return FALSE;
  }
}

}  // namespace

void HoldStopRequests() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

void WaitForStopRequest() {
  std::unique_lock<std::mutex> lock(gStopLock);
  gStopped.wait(lock, [] { return gStopRequested; });
}

// Winsock reports a write to a closed connection as an error already.
void IgnoreBrokenPipes() {}

void KeepSocketFromChildren(std::uintptr_t aSocket) {
  SetHandleInformation(reinterpret_cast<HANDLE>(aSocket), HANDLE_FLAG_INHERIT, 0);
}

// On Windows SO_REUSEADDR would let a second listener take a busy port;
// SO_EXCLUSIVEADDRUSE keeps it ours, and a port that only closed
// connections still hold binds anyway.
void ReuseListenAddress(std::uintptr_t aSocket) {
  const BOOL yes = TRUE;
  setsockopt(static_cast<SOCKET>(aSocket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
             reinterpret_cast<const char*>(&yes), sizeof yes);
}

std::tm UtcTime(std::time_t aTime) {
  std::tm parts{};
  gmtime_s(&parts, &aTime);
  return parts;
}

std::tm LocalTime(std::time_t aTime) {
  std::tm parts{};
  localtime_s(&parts, &aTime);
  return parts;
}

std::time_t UtcSeconds(std::tm aUtc) { return _mkgmtime(&aUtc); }

}  // namespace korvane::simulator

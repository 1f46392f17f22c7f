// The simulator's system calls on POSIX systems: signals, descriptor flags,
// socket options, the reentrant time conversions.
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include "simulator_system.h"

namespace korvane::simulator {

namespace {

sigset_t StopSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

}  // namespace

void HoldStopRequests() {
  const sigset_t signals = StopSignals();
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

void WaitForStopRequest() {
  const sigset_t signals = StopSignals();
  int signalNumber = 0;
  sigwait(&signals, &signalNumber);
}

void IgnoreBrokenPipes() { signal(SIGPIPE, SIG_IGN); }

void KeepSocketFromChildren(std::uintptr_t aSocket) { fcntl(static_cast<int>(aSocket), F_SETFD, FD_CLOEXEC); }

// Not SO_REUSEPORT, which would let a second server share a busy port.
void ReuseListenAddress(std::uintptr_t aSocket) {
  const int yes = 1;
  setsockopt(static_cast<int>(aSocket), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

std::tm UtcTime(std::time_t aTime) {
  std::tm parts{};
  gmtime_r(&aTime, &parts);
  return parts;
}

std::tm LocalTime(std::time_t aTime) {
  std::tm parts{};
  localtime_r(&aTime, &parts);
  return parts;
}

std::time_t UtcSeconds(std::tm aUtc) { return timegm(&aUtc); }

}  // namespace korvane::simulator

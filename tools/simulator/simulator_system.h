// What the display simulator asks of the system, one file per system:
// simulator_system_posix.cpp and simulator_system_win32.cpp. The host tool's
// demo, which runs the simulator inside itself, uses the same.
#pragma once

#include <cstdint>
#include <ctime>

namespace korvane::simulator {

// Keeps the stop requests (Ctrl-C, and the system's request to end: SIGINT
// and SIGTERM; on Windows the console's Ctrl-C, Ctrl-Break and close) for
// WaitForStopRequest. Called on the main thread before it starts any other,
// as every thread started afterwards inherits that.
void HoldStopRequests();
// Blocks until a stop request came (after HoldStopRequests).
void WaitForStopRequest();
// A write to a peer that went away fails instead of ending the process.
void IgnoreBrokenPipes();

// Keeps a socket (Asio's native handle) from the programs the process
// starts (a browser for a screenshot): a listening socket there would keep
// the port after a stop.
void KeepSocketFromChildren(std::uintptr_t aSocket);
// Lets a listening socket bind a port that a closed connection still holds,
// without letting a second listener share a busy port.
void ReuseListenAddress(std::uintptr_t aSocket);

// The broken-down time of aTime in UTC and in the local time zone.
std::tm UtcTime(std::time_t aTime);
std::tm LocalTime(std::time_t aTime);
// The time of aUtc, a broken-down time in UTC.
std::time_t UtcSeconds(std::tm aUtc);

}  // namespace korvane::simulator

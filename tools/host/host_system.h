// What the host tool asks of the system, one file per system:
// host_system_posix.cpp and host_system_win32.cpp.
#pragma once

#include <filesystem>
#include <string>

#include "request_file.h"

namespace korvane::host {

// The path of the running program itself.
std::filesystem::path ThisProgramPath();

// Whether a TCP connection to aAddress opens within aTimeoutMs; aReason gets
// the failure. The connection is closed at once.
bool ProbeDisplay(const DisplayAddress& aAddress, int aTimeoutMs, std::string& aReason);

}  // namespace korvane::host

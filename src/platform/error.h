// The one exception type of the library: every failure carries the message
// the system reports, exactly as it reads.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& aMessage) : std::runtime_error(aMessage) {}
};

namespace platform {

// Raises an Error whose message is aWhat followed by the operating system's
// own text for aErrorCode: "aWhat: <text>".
[[noreturn]] void ThrowOsError(const std::string& aWhat, int aErrorCode);

// The operating system's text for an error code.
std::string OsErrorText(int aErrorCode);

}  // namespace platform
}  // namespace korvane

// The one exception type of the library (helpers/error.h), and the failures
// that come with the system's own error code.
//
// The platform layer reports every failure the same way: it raises an Error,
// or an OsError when the failure comes with the system's own error code.
// What is not a failure (a file that does not exist, a lock another process
// holds, no byte waiting) is answered as a value.
#pragma once

#include <string>

#include "helpers/error.h"

namespace korvane {
namespace platform {

// A failure that the operating system (or the system library that stands in
// for it) reported: what() is the message, Code() the system's own error
// code, for the callers that answer some codes in their own way.
class OsError : public Error {
 public:
  OsError(int aCode, const std::string& aMessage) : Error(aMessage), fCode(aCode) {}
  int Code() const { return fCode; }

 private:
  int fCode;
};

// The operating system's own text for an error code.
std::string OsErrorText(int aCode);

// Raises an OsError carrying aCode whose message is aContext followed by the
// operating system's own text for aCode. aContext brings its own separator
// ("Cannot create a UUID: "); empty, the message is the system's text alone.
[[noreturn]] void ThrowOsError(int aCode, const std::string& aContext = std::string());

}  // namespace platform
}  // namespace korvane

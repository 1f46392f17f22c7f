// The one exception type of the library: every failure carries the message
// the system reports, exactly as it reads. Here, below every layer, so that
// the helpers raise it too; platform/error.h adds the system's error codes.
#pragma once

#include <stdexcept>
#include <string>

namespace korvane {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& aMessage) : std::runtime_error(aMessage) {}
};

}  // namespace korvane

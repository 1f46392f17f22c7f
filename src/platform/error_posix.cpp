#include <cstring>

#include "platform/error.h"

namespace korvane::platform {

std::string OsErrorText(int aCode) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not be in buffer.
  const char* text = strerror_r(aCode, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error");
}

void ThrowOsError(int aCode, const std::string& aContext) {
  throw OsError(aCode, aContext + OsErrorText(aCode));
}

}  // namespace korvane::platform

#include <cstring>

#include "platform/error.h"

namespace korvane::platform {

std::string OsErrorText(int aErrorCode) {
  char buffer[256];
  // GNU strerror_r returns the text, which may or may not be in buffer.
  const char* text = strerror_r(aErrorCode, buffer, sizeof buffer);
  return text ? std::string(text) : std::string("Unknown error");
}

void ThrowOsError(const std::string& aWhat, int aErrorCode) {
  throw Error(aWhat + ": " + OsErrorText(aErrorCode));
}

}  // namespace korvane::platform

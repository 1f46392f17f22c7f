#include "transport/com_handler.h"

#include "platform/error.h"

namespace korvane {

bool kIOHandler_Com::Write(const std::string&) { return false; }
std::string kIOHandler_Com::ReadUpTo(std::vector<uint8_t>) { return ""; }
std::string kIOHandler_Com::ReadChars(int32_t) { return ""; }
std::string kIOHandler_Com::ReadAll() { throw Error("ReadAll Unsupported"); }
std::string kIOHandler_Com::DecodeError(int32_t) { return ""; }
bool kIOHandler_Com::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }
void kIOHandler_Com::SetParameter(const std::string&, const std::string&) {}

}  // namespace korvane

#include "transport/no_data_handler.h"

#include "platform/error.h"

namespace korvane {

std::string NoDataIOHandler::ReadUpTo(std::vector<uint8_t>) { return ""; }
std::string NoDataIOHandler::ReadChars(int32_t) { return ""; }
std::string NoDataIOHandler::ReadAll() { throw Error("ReadAll Unsupported"); }
std::string NoDataIOHandler::DecodeError(int32_t) { return ""; }
bool NoDataIOHandler::InputBufferContainsData() { throw Error("InputBufferContainsData Unsupported"); }
void NoDataIOHandler::SetParameter(const std::string&, const std::string&) {}

}  // namespace korvane

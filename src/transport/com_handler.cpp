#include "transport/com_handler.h"

namespace korvane {

bool kIOHandler_Com::Write(const std::string&) { return false; }

}  // namespace korvane

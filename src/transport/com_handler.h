// The placeholder transport of the connection type Com: accepts every call
// and sends nothing.
#pragma once

#include "transport/no_data_handler.h"

namespace korvane {

class kIOHandler_Com : public NoDataIOHandler {
 public:
  // aConnection may be null: the time-outs then stay 0.
  kIOHandler_Com(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName)
      : NoDataIOHandler(aConnection, aDirectory, aFileName) {}
  kIOHandler_Com(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName)
      : NoDataIOHandler(&aConnection, aDirectory, aFileName) {}

  bool Write(const std::string& aMessage) override;  // false; nothing is sent
};

}  // namespace korvane

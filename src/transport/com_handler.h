// The placeholder transport of the connection type Com: accepts every call
// and sends nothing.
#pragma once

#include "transport/io_handler.h"

namespace korvane {

class kIOHandler_Com : public kIOHandler {
 public:
  // aConnection may be null: the time-outs then stay 0.
  kIOHandler_Com(const kConnection* aConnection, const std::string& aDirectory, const std::string& aFileName)
      : kIOHandler(aConnection, aDirectory, aFileName) {}
  kIOHandler_Com(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName)
      : kIOHandler(&aConnection, aDirectory, aFileName) {}

  bool Connected() override { return true; }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;  // false; nothing is sent
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;  // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;  // fails: "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override;
};

}  // namespace korvane

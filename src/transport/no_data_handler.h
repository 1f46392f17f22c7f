// The slots of a transport that moves no data (the DLL and Com transports):
// connected from the start, nothing to read, buffers and parameters ignored.
#pragma once

#include "transport/io_handler.h"

namespace korvane {

class NoDataIOHandler : public kIOHandler {
 public:
  bool Connected() override { return true; }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;  // ""
  std::string ReadChars(int32_t aCharsNum) override;           // ""
  std::string ReadAll() override;                              // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;        // ""
  bool InputBufferContainsData() override;                     // fails: "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override;  // ignored

 protected:
  using kIOHandler::kIOHandler;
};

}  // namespace korvane

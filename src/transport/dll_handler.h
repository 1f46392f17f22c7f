// The DLL transport: keeps another shared library loaded for the handler's
// life and hands out the addresses of its exports. It moves no data.
#pragma once

#include "platform/library.h"
#include "transport/io_handler.h"

namespace korvane {

class kIOHandler_Dll : public kIOHandler {
 public:
  // Loads aConnection.LibraryName(); fails with "Unable to Load Library
  // <name>. <system text> [<code>]", after which the log holds START, the
  // loading line and STOP.
  kIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Dll() override;  // unloads the library, with its two log lines

  // The address of the export aProcName (exact letter case); fails with
  // "Unable to get address for procedure <name>". Valid while the handler lives.
  void* GetAddress(const std::string& aProcName) const;

  bool Connected() override { return true; }
  bool Disconnect() override { return true; }
  void ClearBuffers() override {}
  bool Write(const std::string& aMessage) override;  // true; nothing is sent
  std::string ReadUpTo(std::vector<uint8_t> aChars) override;
  std::string ReadChars(int32_t aCharsNum) override;
  std::string ReadAll() override;  // fails: "ReadAll Unsupported"
  std::string DecodeError(int32_t aErrorCode) override;
  bool InputBufferContainsData() override;  // fails: "InputBufferContainsData Unsupported"
  void SetParameter(const std::string& aName, const std::string& aValue) override;

 private:
  platform::LibraryHandle fLibraryHandle = nullptr;
};

}  // namespace korvane

// The DLL transport: keeps another shared library loaded for the handler's
// life and hands out the addresses of its exports. It moves no data.
#pragma once

#include "platform/library.h"
#include "transport/no_data_handler.h"

namespace korvane {

class kIOHandler_Dll : public NoDataIOHandler {
 public:
  // Loads aConnection.LibraryName(); fails with "Unable to Load Library
  // <name>. <system text> [<code>]", after which the log holds START, the
  // loading line and STOP.
  kIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory, const std::string& aFileName);
  ~kIOHandler_Dll() override;  // unloads the library, with its two log lines

  // The address of the export aProcName (exact letter case); fails with
  // "Unable to get address for procedure <name>". Valid while the handler lives.
  void* GetAddress(const std::string& aProcName) const;

  bool Write(const std::string& aMessage) override;  // true; nothing is sent

 private:
  platform::LibraryHandle fLibraryHandle = nullptr;
};

}  // namespace korvane

#include "transport/dll_handler.h"

#include "platform/error.h"

namespace korvane {

kIOHandler_Dll::kIOHandler_Dll(const kConnection& aConnection, const std::string& aDirectory,
                               const std::string& aFileName)
    : NoDataIOHandler(&aConnection, aDirectory, aFileName) {
  const std::string& name = aConnection.LibraryName();
  WriteLog(let_info, "kIOHandler_Dll.Create", "Loading DLL " + name);
  try {
    fLibraryHandle = platform::LoadSharedLibrary(name);
  } catch (const platform::OsError& e) {
    throw Error("Unable to Load Library " + name + ". " + e.what() + " [" + std::to_string(e.Code()) + "]");
  }
  WriteLog(let_info, "kIOHandler_Dll.Create", "DLL Loaded successfully");
}

kIOHandler_Dll::~kIOHandler_Dll() {
  if (fLibraryHandle == nullptr) return;
  WriteLog(let_info, "kIOHandler_Dll.Destroy", "Unloading DLL");
  platform::FreeSharedLibrary(fLibraryHandle);
  fLibraryHandle = nullptr;
  WriteLog(let_info, "kIOHandler_Dll.Destroy", "DLL Unloaded Successfully");
}

void* kIOHandler_Dll::GetAddress(const std::string& aProcName) const {
  void* address = platform::FindLibrarySymbol(fLibraryHandle, aProcName);
  if (address == nullptr) throw Error("Unable to get address for procedure " + aProcName);
  return address;
}

bool kIOHandler_Dll::Write(const std::string&) { return true; }

}  // namespace korvane

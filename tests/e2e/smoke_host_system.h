// The Windows half of the smoke host (smoke_host.cpp): the DLL loaded at run
// time, OleAut32's strings, a display application on loopback and the
// watchdog. Kept apart from the host's calls because <windows.h> and the
// host header both name OLECHAR and BSTR, each its own way: nothing here
// says either.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvane::smoke {

// Ends the process with a message when it still runs after aSeconds: a host
// that hangs fails instead of waiting for ever.
void StartWatchdog(int aSeconds);

// The library as a host loads it: LoadLibraryW, GetProcAddress, FreeLibrary.
class Driver {
 public:
  // Loads the DLL named by the program's first argument (taken from the wide
  // command line); throws with the system's reason when it cannot.
  Driver();
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  const std::string& Path() const { return fPath; }
  // The address of an export by its plain name; throws when there is none.
  void* Export(const char* aName) const;
  // FreeLibrary; throws when the system refuses.
  void Unload();

 private:
  void* fModule = nullptr;
  std::string fPath;
};

// OLE Automation strings from OleAut32 (SysAllocStringLen, SysStringLen,
// SysFreeString), as UTF-16 code units.
char16_t* AllocString(const std::u16string& aText);
uint32_t StringLength(const char16_t* aText);
void FreeString(char16_t* aText);

// A display application on 127.0.0.1: a Winsock listener thread reads each
// frame (STX ... ETX) and answers "OK" ETX. Every wait is bounded.
class Peer {
 public:
  Peer();
  ~Peer();
  int Port() const;
  // The frames' JSON texts (without STX and ETX), in order.
  std::vector<std::string> Messages() const;
  int Connections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> fImpl;
};

}  // namespace korvane::smoke

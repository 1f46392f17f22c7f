// What the test control (fake_opos_control.dll) shows the tests that load
// it beside the library: the simulated printer behind its latest instance and
// the calls that instance received.
#pragma once

#include <string>
#include <vector>

namespace korvane {
class kOPOSFiscalPrinterSim;
}

// The control also serves this class id, under which a test registers it
// with the ProgID alone pointing there.
#define KORVANE_FAKE_OPOS_OTHER_CLASS L"{6A0F4E2C-5B7D-4C1E-9F3A-2D8B7C6E1A90}"

// DirectIO with this command answers only after pData milliseconds.
constexpr long kHangCommand = 999;

// The exports of the test control, by these names.
#define KORVANE_FAKE_OPOS_LAST "FakeOposLast"

struct FakeOposInstance {
  korvane::kOPOSFiscalPrinterSim* simulator = nullptr;
  // Every call, in order, as "Name(TYPE value, ...)" ("I4 3", "CY 100000",
  // "BOOL true", "BSTR 'x'", a by-reference one with "&" after its type;
  // property reads as "Name", writes as "Name=TYPE value").
  std::vector<std::string> calls;
  // Whether the instance was made on a thread of a single-threaded
  // apartment, and that thread's id; every call came on that thread when
  // wrongThreadCalls stays 0.
  bool createdInSta = false;
  unsigned long thread = 0;
  int wrongThreadCalls = 0;
  // How many names the instance was asked for the ids of (GetIDsOfNames).
  int nameLookups = 0;
};

// FakeOposInstance* FakeOposLast(): the latest instance (they live as long
// as the process).
using FakeOposLastFunction = FakeOposInstance* (*)();

#ifdef KORVANE_FAKE_OPOS_CONTROL
#include "platform/library.h"

// The latest instance of the registered test control (the module that
// automation loaded: the same file, so the same module).
inline FakeOposInstance* LastFakeOposInstance() {
  static const auto last = reinterpret_cast<FakeOposLastFunction>(korvane::platform::FindLibrarySymbol(
      korvane::platform::LoadSharedLibrary(KORVANE_FAKE_OPOS_CONTROL), KORVANE_FAKE_OPOS_LAST));
  return last();
}
#endif

// The OPOS transport on Windows when the control is not installed: creating
// the handler fails with a text that says so. The test takes the registered test control out of the
// registry for its time (it runs with no other test beside it) and puts it
// back at its end.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/library.h"
#include "support/test_support.h"
#include "transport/opos_handler.h"

namespace korvane {
namespace {

using testing::ErrorOf;
using testing::TempDir;

using RegistrationFunction = HRESULT(WINAPI*)();

RegistrationFunction Registration(const char* aName) {
  return reinterpret_cast<RegistrationFunction>(
      platform::FindLibrarySymbol(platform::LoadSharedLibrary(KORVANE_FAKE_OPOS_CONTROL), aName));
}

std::string CreationError() {
  TempDir dir;
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::OPOS);
  connection.SetDeviceName("SimulatedFiscalPrinter");
  return ErrorOf([&] { kIOHandler_OPOS handler(connection, dir.Path(), "Opos_absent"); });
}

TEST(OposControlAbsent, CreationSaysTheControlIsNotInstalled) {
  ASSERT_EQ(Registration("DllUnregisterServer")(), S_OK);

  EXPECT_EQ(CreationError(), "OPOS fiscal printer control is not installed (HRESULT 0x80040154)");

  // (A control registered for the other bitness only is not tested here:
  // Wine's registry shows the 32-bit view's class keys to 64-bit programs
  // too, where Windows keeps them apart.)

  // Registered again, the control is there.
  ASSERT_EQ(Registration("DllRegisterServer")(), S_OK);
  EXPECT_EQ(CreationError(), testing::kNoError);
}

}  // namespace
}  // namespace korvane

// The OPOS transport on Windows when the control is not installed: creating
// the handler fails with a text that says so; and when only the ProgID leads
// to a control. The test takes the registered test control out of the
// registry for its time (it runs with no other test beside it) and puts it
// back at its end.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>

#include "platform/library.h"
#include "support/test_support.h"
#include "transport/opos_handler.h"
#include "transport_opos/fake_control/fake_control.h"

namespace korvane {
namespace {

using testing::ErrorOf;
using testing::TempDir;

using RegistrationFunction = HRESULT(WINAPI*)();

RegistrationFunction Registration(const char* aName) {
  return reinterpret_cast<RegistrationFunction>(
      platform::FindLibrarySymbol(platform::LoadSharedLibrary(KORVANE_FAKE_OPOS_CONTROL), aName));
}

LONG SetValue(const std::wstring& aKey, const wchar_t* aName, const std::wstring& aValue) {
  HKEY key = nullptr;
  LONG status =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, aKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(key, aName, 0, REG_SZ, reinterpret_cast<const BYTE*>(aValue.c_str()),
                          static_cast<DWORD>((aValue.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return status;
}

std::string CreationError() {
  TempDir dir;
  kConnection connection;
  connection.SetConnectionType(tkConnectionType::OPOS);
  connection.SetDeviceName("SimulatedFiscalPrinter");
  return ErrorOf([&] { kIOHandler_OPOS handler(connection, dir.Path(), "Opos_absent"); });
}

TEST(OposControlAbsent, CreationSaysTheControlIsNotInstalledAndFallsBackOnTheProgId) {
  ASSERT_EQ(Registration("DllUnregisterServer")(), S_OK);

  EXPECT_EQ(CreationError(), "OPOS fiscal printer control is not installed (HRESULT 0x80040154)");

  // (A control registered for the other bitness only is not tested here:
  // Wine's registry shows the 32-bit view's class keys to 64-bit programs
  // too, where Windows keeps them apart.)

  // Only the ProgID registered, leading to a class id of its own.
  const std::wstring other = std::wstring(L"CLSID\\") + KORVANE_FAKE_OPOS_OTHER_CLASS;
  const std::string dll = KORVANE_FAKE_OPOS_CONTROL;
  const std::wstring path(dll.begin(), dll.end());
  ASSERT_EQ(SetValue(other + L"\\InprocServer32", nullptr, path), ERROR_SUCCESS);
  ASSERT_EQ(SetValue(other + L"\\InprocServer32", L"ThreadingModel", L"Apartment"), ERROR_SUCCESS);
  ASSERT_EQ(SetValue(L"OPOS.FiscalPrinter\\CLSID", nullptr, KORVANE_FAKE_OPOS_OTHER_CLASS), ERROR_SUCCESS);
  const FakeOposInstance* before = LastFakeOposInstance();
  EXPECT_EQ(CreationError(), testing::kNoError);
  EXPECT_NE(LastFakeOposInstance(), before);  // made through the ProgID
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, other.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, L"OPOS.FiscalPrinter"), ERROR_SUCCESS);

  // Registered again, the control is there.
  ASSERT_EQ(Registration("DllRegisterServer")(), S_OK);
  EXPECT_EQ(CreationError(), testing::kNoError);
}

}  // namespace
}  // namespace korvane

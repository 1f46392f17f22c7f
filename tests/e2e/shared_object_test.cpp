// What only the shared object of POSIX systems has: BSTR functions of its
// own, and staying in the process once a device exists (on Windows the
// strings are OleAut32's, and the module pins itself on its first call).
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/display_peer.h"
#include "e2e/requests.h"
#include "support/host_library.h"

using namespace korvane::testing;

TEST(BstrStrings, HaveTheAutomationLayout) {
  Library lib;
  auto alloc = lib.Find<KorvaneSysAllocString>("SysAllocString");
  auto len = lib.Find<KorvaneSysStringLen>("SysStringLen");
  const char16_t text[] = u"h\u00e9llo";
  BSTR b = alloc(text);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(len(b), 5u);
  uint32_t prefix;
  std::memcpy(&prefix, reinterpret_cast<char*>(b) - 4, 4);
  EXPECT_EQ(prefix, 10u);  // bytes
  EXPECT_EQ(b[5], 0);
  EXPECT_EQ(len(nullptr), 0u);
  lib.Free(b);
  lib.Free(nullptr);
  EXPECT_EQ(alloc(nullptr), nullptr);
}

TEST(LibraryLifetime, StaysLoadedOnceADeviceExists) {
  {
    Library lib;
    DisplayPeer peer;
    ASSERT_EQ(lib.Call("OPEN", OpenRequest(peer.Port())).result, 0);
  }  // the host lets go of the library
  void* still = dlopen(KORVANE_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD);
  EXPECT_NE(still, nullptr);
  if (still) dlclose(still);
}

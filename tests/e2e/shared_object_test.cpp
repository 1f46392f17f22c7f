// What only the shared object of POSIX systems has: BSTR functions of its
// own (on Windows they are OleAut32's), and staying in the process once a
// device exists, as dlopen's RTLD_NOLOAD shows (the DLL unloads otherwise).
#include <gtest/gtest.h>

#include <cstring>

#include "e2e/requests.h"
#include "support/display_peer.h"
#include "support/library_under_test.h"

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
    ASSERT_EQ(lib.Call("OPEN", OpenRequest(peer.Port())).fResult, 0);
  }                                                      // the host lets go of the library
  EXPECT_TRUE(Library::IsLoaded(KORVANE_LIBRARY_PATH));  // (dlopen with RTLD_NOLOAD)
}

// The DLL's version information, as Explorer's Properties -> Details shows
// it: read back with GetFileVersionInfoW and compared with what the DLL's
// own VERSION call answers. KORVANE_VERSION_RESOURCE_DLLS (paths separated
// by ';') names further DLLs to check the same way, for instance both DLLs
// of the Windows package, the 32-bit one read as a file only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "helpers/utf.h"
#include "support/library_under_test.h"

using namespace korvane::testing;

namespace {

struct VersionResource {
  VS_FIXEDFILEINFO fFixed{};
  std::vector<std::pair<std::string, std::optional<std::string>>> fStrings;
  std::optional<std::string> Value(const std::string& aName) const {
    for (const auto& [name, value] : fStrings)
      if (name == aName) return value;
    return std::nullopt;
  }
};

std::wstring Wide(const std::string& aUtf8) {
  const std::u16string text = korvane::platform::Utf8ToUtf16(aUtf8);
  return std::wstring(text.begin(), text.end());
}

std::string Narrow(const wchar_t* aText) {
  const std::wstring text(aText);
  return korvane::platform::Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

// The fixed part and the named strings of the first translation; the test
// fails when the file has no version information.
VersionResource ReadVersionResource(const std::string& aPath) {
  VersionResource found;
  const std::wstring path = Wide(aPath);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  EXPECT_NE(size, 0u) << aPath << ": no version information (error " << GetLastError() << ")";
  if (size == 0) return found;
  std::vector<unsigned char> data(size);
  EXPECT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, data.data())) << aPath;
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO))
    found.fFixed = *static_cast<VS_FIXEDFILEINFO*>(value);
  struct Translation {
    WORD fLanguage;
    WORD fCodePage;
  };
  EXPECT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", &value, &length) &&
              length >= sizeof(Translation))
      << aPath << ": no translation";
  if (length < sizeof(Translation)) return found;
  const Translation translation = *static_cast<Translation*>(value);
  wchar_t block[64];
  swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation.fLanguage, translation.fCodePage);
  for (const char* name : {"FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                           "OriginalFilename", "ProductName", "ProductVersion"}) {
    const std::wstring query = block + Wide(name);
    if (VerQueryValueW(data.data(), query.c_str(), &value, &length) && length > 0)
      found.fStrings.emplace_back(name, Narrow(static_cast<const wchar_t*>(value)));
    else
      found.fStrings.emplace_back(name, std::nullopt);
  }
  return found;
}

// "1.01" from "Version 1.01 - 17/09/2024".
std::string VersionNumber(const std::string& aVersionText) {
  const std::string prefix = "Version ";
  if (aVersionText.rfind(prefix, 0) != 0) return "";
  const std::string rest = aVersionText.substr(prefix.size());
  return rest.substr(0, rest.find(' '));
}

void ExpectVersionResource(const std::string& aPath, const std::string& aVersion) {
  SCOPED_TRACE(aPath);
  const VersionResource resource = ReadVersionResource(aPath);
  EXPECT_EQ(resource.Value("FileVersion"), aVersion);
  EXPECT_EQ(resource.Value("ProductVersion"), aVersion);
  EXPECT_EQ(resource.Value("OriginalFilename"), "QORD_KORVANE_10.dll");
  EXPECT_EQ(resource.Value("InternalName"), "QORD_KORVANE_10");
  EXPECT_EQ(resource.Value("ProductName"), "Korvane customer-display driver");
  EXPECT_EQ(resource.Value("FileDescription"), KORVANE_RC_DESCRIPTION);
  EXPECT_EQ(resource.Value("LegalCopyright"), KORVANE_RC_COPYRIGHT);
  // The fixed part, whose numbers Explorer shows as "File version": 1.01 is 1.1.0.0.
  const std::string major = aVersion.substr(0, aVersion.find('.'));
  const std::string minor = aVersion.substr(aVersion.find('.') + 1);
  EXPECT_EQ(resource.fFixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(HIWORD(resource.fFixed.dwFileVersionMS), std::stoul(major));
  EXPECT_EQ(LOWORD(resource.fFixed.dwFileVersionMS), std::stoul(minor));
  EXPECT_EQ(resource.fFixed.dwProductVersionMS, resource.fFixed.dwFileVersionMS);
  EXPECT_EQ(resource.fFixed.dwFileType, static_cast<DWORD>(VFT_DLL));
}

}  // namespace

TEST(VersionResource, CarriesTheVersionTheDllAnswers) {
  std::string version;
  {
    Library lib;
    version = VersionNumber(lib.VersionText("QORD_KORVANE_10"));
  }
  ASSERT_FALSE(version.empty());
  ExpectVersionResource(KORVANE_LIBRARY_PATH, version);
  // Further DLLs (a package's), each of which answers its own VERSION where
  // this process can load it.
  const char* others = std::getenv("KORVANE_VERSION_RESOURCE_DLLS");
  std::string list = others ? others : "";
  for (size_t start = 0; start < list.size();) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    const std::string path = list.substr(start, end - start);
    start = end + 1;
    if (path.empty()) continue;
    std::string expected = version;
    if (HMODULE loadable = LoadLibraryExW(Wide(path).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES)) {
      FreeLibrary(loadable);
      Library lib(path);
      expected = VersionNumber(lib.VersionText("QORD_KORVANE_10"));
      EXPECT_EQ(expected, version) << path;
    }
    ExpectVersionResource(path, expected);
  }
}

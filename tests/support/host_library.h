// A host program's view of the library, for the end-to-end tests and the
// host benchmarks: loads QORD_KORVANE_10.so (QORD_KORVANE_10.dll on Windows)
// at run time, makes BSTRs with the functions a host of this system uses
// (support/host_system.h) and calls the exports. KORVANE_LIBRARY_PATH names
// the library this build made.
#pragma once

#include <stdexcept>
#include <string>

#include "korvane_display.h"
#include "helpers/utf.h"
#include "support/host_system.h"

namespace korvane::testing {

struct CallResult {
  std::string envelope;
  std::string errorText;
  bool errorTextIsNull = true;
  int16_t result = 0;
};

class Library {
 public:
  explicit Library(const std::string& aPath = KORVANE_LIBRARY_PATH)
      : fHandle(host_system::Load(aPath)), fStrings(host_system::StringsOf(fHandle)) {}
  ~Library() { host_system::Unload(fHandle); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Whether the library exports aName.
  bool Has(const char* aName) const { return host_system::Find(fHandle, aName) != nullptr; }

  template <class T>
  T Find(const char* aName) const {
    void* symbol = host_system::Find(fHandle, aName);
    if (!symbol) throw std::runtime_error(std::string("no export ") + aName);
    return reinterpret_cast<T>(symbol);
  }

  BSTR MakeBstr(const std::string& aUtf8) const {
    const std::u16string wide = platform::Utf8ToUtf16(aUtf8);
    return reinterpret_cast<BSTR>(fStrings.alloc(wide.data(), static_cast<uint32_t>(wide.size())));
  }
  std::string Text(BSTR aText) const {
    char16_t* units = reinterpret_cast<char16_t*>(aText);  // wchar_t on Windows: UTF-16 as well
    return units ? platform::Utf16ToUtf8Replacing(std::u16string_view(units, fStrings.length(units)))
                 : std::string();
  }
  void Free(BSTR aText) const { fStrings.release(reinterpret_cast<char16_t*>(aText)); }

  // Calls one export with a request given as UTF-8 text.
  CallResult Call(const char* aExport, const std::string& aRequest) const {
    auto call = Find<KorvaneRequestCall>(aExport);
    BSTR request = MakeBstr(aRequest);
    BSTR output = nullptr;
    BSTR error = nullptr;
    CallResult r;
    r.result = call(request, &output, &error);
    r.envelope = Text(output);
    r.errorText = Text(error);
    r.errorTextIsNull = error == nullptr;
    Free(output);
    Free(error);
    Free(request);
    return r;
  }

  // VERSION with aName; nothing (no string at all) is "<null>".
  std::string Version(const std::string& aName) const {
    auto call = Find<KorvaneRequestCall>("VERSION");
    BSTR name = MakeBstr(aName);
    BSTR output = nullptr;
    BSTR error = nullptr;
    const int16_t result = call(name, &output, &error);
    std::string text = output ? Text(output) : "<null>";
    if (result != 0 || error) text += " <unexpected>";
    Free(output);
    Free(name);
    return text;
  }

 private:
  void* fHandle;
  host_system::Strings fStrings;
};

}  // namespace korvane::testing

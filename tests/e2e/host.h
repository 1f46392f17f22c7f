// A host program's view of the library: loads QORD_KORVANE_10.so at run time,
// makes BSTRs with the library's own functions and calls the exports.
#pragma once

#include <dlfcn.h>

#include <stdexcept>
#include <string>

#include "korvane_display.h"

namespace korvane::testing {

struct CallResult {
  std::string envelope;
  std::string errorText;
  bool errorTextIsNull = true;
  int16_t result = 0;
};

inline std::u16string ToUtf16(const std::string& aText) {
  std::u16string out;
  for (size_t i = 0; i < aText.size();) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    char32_t cp;
    int len;
    if (c < 0x80)
      cp = c, len = 1;
    else if (c < 0xE0)
      cp = c & 0x1F, len = 2;
    else if (c < 0xF0)
      cp = c & 0x0F, len = 3;
    else
      cp = c & 0x07, len = 4;
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(aText[i + k]) & 0x3F);
    i += static_cast<size_t>(len);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

inline std::string ToUtf8(const std::u16string& aText) {
  std::string out;
  for (size_t i = 0; i < aText.size(); ++i) {
    char32_t cp = aText[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < aText.size())
      cp = 0x10000 + ((cp - 0xD800) << 10) + (aText[++i] - 0xDC00);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

class Library {
 public:
  explicit Library(const char* aPath = KORVANE_LIBRARY_PATH) : fHandle(dlopen(aPath, RTLD_NOW | RTLD_LOCAL)) {
    if (!fHandle) throw std::runtime_error(std::string("cannot load the library: ") + dlerror());
    fAlloc = Find<KorvaneSysAllocStringLen>("SysAllocStringLen");
    fFree = Find<KorvaneSysFreeString>("SysFreeString");
    fLen = Find<KorvaneSysStringLen>("SysStringLen");
  }
  ~Library() { dlclose(fHandle); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  template <class T>
  T Find(const char* aName) const {
    void* symbol = dlsym(fHandle, aName);
    if (!symbol) throw std::runtime_error(std::string("no export ") + aName);
    return reinterpret_cast<T>(symbol);
  }

  BSTR MakeBstr(const std::string& aUtf8) const {
    const std::u16string wide = ToUtf16(aUtf8);
    return fAlloc(wide.data(), static_cast<uint32_t>(wide.size()));
  }
  std::string Text(BSTR aText) const {
    return aText ? ToUtf8(std::u16string(aText, fLen(aText))) : std::string();
  }
  void Free(BSTR aText) const { fFree(aText); }

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
  KorvaneSysAllocStringLen fAlloc;
  KorvaneSysFreeString fFree;
  KorvaneSysStringLen fLen;
};

}  // namespace korvane::testing

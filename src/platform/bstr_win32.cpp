// BSTRs from OleAut32: the host frees what the library hands out with the
// system's own SysFreeString, so the library allocates with the system too.
#include <windows.h>
// (the system headers below need <windows.h> first)
#include <oleauto.h>

#include <limits>

#include "platform/bstr.h"
#include "helpers/utf.h"

namespace korvane::platform {
namespace {

static_assert(sizeof(OLECHAR) == sizeof(char16_t));

OLECHAR* Os(const char16_t* aText) { return reinterpret_cast<OLECHAR*>(const_cast<char16_t*>(aText)); }

}  // namespace

Bstr BstrAlloc(const char16_t* aText, uint32_t aLength) {
  if (aLength > (std::numeric_limits<uint32_t>::max() - 2) / 2) return nullptr;
  BSTR text = SysAllocStringLen(Os(aText), static_cast<UINT>(aLength));
  // SysAllocStringLen leaves the units unset without text.
  if (text != nullptr && aText == nullptr)
    for (uint32_t i = 0; i < aLength; ++i) text[i] = 0;
  return reinterpret_cast<Bstr>(text);
}

Bstr BstrAllocZ(const char16_t* aText) {
  if (!aText) return nullptr;
  return reinterpret_cast<Bstr>(SysAllocString(Os(aText)));
}

void BstrFree(Bstr aText) {
  if (aText) SysFreeString(reinterpret_cast<BSTR>(aText));
}

uint32_t BstrLen(Bstr aText) { return aText ? SysStringLen(reinterpret_cast<BSTR>(aText)) : 0; }

std::u16string_view BstrView(Bstr aText) {
  if (!aText) return {};
  return std::u16string_view(aText, BstrLen(aText));
}

Bstr BstrFromUtf8(std::string_view aText) {
  const size_t units = Utf8ToUtf16(aText, nullptr);
  if (units > (std::numeric_limits<uint32_t>::max() - 2) / 2) return nullptr;
  BSTR text = SysAllocStringLen(nullptr, static_cast<UINT>(units));
  if (text) Utf8ToUtf16(aText, reinterpret_cast<char16_t*>(text));
  return reinterpret_cast<Bstr>(text);
}

}  // namespace korvane::platform

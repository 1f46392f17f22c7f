// OLE Automation strings (BSTR): UTF-16 code units preceded by a 32-bit
// length in bytes and followed by a zero unit. The pointer points at the
// first code unit. A null BSTR is the empty string.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane::platform {

using Bstr = char16_t*;

// A new BSTR holding aLength units of aText (zeros when aText is null);
// null when memory runs out.
Bstr BstrAlloc(const char16_t* aText, uint32_t aLength);
// A new BSTR holding aText up to its zero unit; null for a null aText.
Bstr BstrAllocZ(const char16_t* aText);
void BstrFree(Bstr aText);
// The number of code units; 0 for null.
uint32_t BstrLen(Bstr aText);

// The text of a BSTR, read through its length prefix.
std::u16string_view BstrView(Bstr aText);

// A new BSTR from UTF-8 text.
Bstr BstrFromUtf8(std::string_view aText);

}  // namespace korvane::platform

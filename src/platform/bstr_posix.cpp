// BSTRs in the C heap: [uint32 byte length][units...][0].
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/bstr.h"
#include "helpers/utf.h"

namespace korvane::platform {
namespace {
constexpr size_t kPrefix = sizeof(uint32_t);
}

Bstr BstrAlloc(const char16_t* aText, uint32_t aLength) {
  if (aLength > (std::numeric_limits<uint32_t>::max() - 2) / 2) return nullptr;
  const size_t bytes = static_cast<size_t>(aLength) * 2;
  // The prefix is kept 4 bytes before the text, so the block starts at the prefix.
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + 2));
  if (!block) return nullptr;
  const uint32_t byteLength = static_cast<uint32_t>(bytes);
  std::memcpy(block, &byteLength, kPrefix);
  auto* text = reinterpret_cast<char16_t*>(block + kPrefix);
  if (aText)
    std::memcpy(text, aText, bytes);
  else
    std::memset(text, 0, bytes);
  text[aLength] = 0;
  return text;
}

Bstr BstrAllocZ(const char16_t* aText) {
  if (!aText) return nullptr;
  size_t n = 0;
  while (aText[n]) ++n;
  if (n > std::numeric_limits<uint32_t>::max() / 4) return nullptr;
  return BstrAlloc(aText, static_cast<uint32_t>(n));
}

void BstrFree(Bstr aText) {
  if (aText) std::free(reinterpret_cast<unsigned char*>(aText) - kPrefix);
}

uint32_t BstrLen(Bstr aText) {
  if (!aText) return 0;
  uint32_t byteLength;
  std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(aText) - kPrefix, kPrefix);
  return byteLength / 2;
}

std::u16string_view BstrView(Bstr aText) {
  if (!aText) return {};
  return std::u16string_view(aText, BstrLen(aText));
}

Bstr BstrFromUtf8(std::string_view aText) {
  const size_t units = Utf8ToUtf16(aText, nullptr);
  if (units > std::numeric_limits<uint32_t>::max()) return nullptr;
  Bstr text = BstrAlloc(nullptr, static_cast<uint32_t>(units));
  if (text) Utf8ToUtf16(aText, text);
  return text;
}

}  // namespace korvane::platform

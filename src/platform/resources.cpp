// Resources embedded into the library at build time, the same on every system.
#include "platform/resources.h"

#include <cstddef>

namespace korvane::platform {
namespace embedded {
struct StringRecord {
  int id;
  const unsigned char* text;
  std::size_t size;
};
struct RawRecord {
  const char* name;
  const unsigned char* data;
  std::size_t size;
};
extern const StringRecord kStrings[];
extern const RawRecord kRaw[];
}  // namespace embedded

std::optional<std::string> LoadResourceString(int aId) {
  for (const embedded::StringRecord* r = embedded::kStrings; r->text; ++r) {
    if (r->id == aId) return std::string(reinterpret_cast<const char*>(r->text), r->size);
  }
  return std::nullopt;
}

namespace {

// Resource names are ASCII and found whatever their letter case.
bool SameNameIgnoringCase(std::string_view aA, std::string_view aB) {
  if (aA.size() != aB.size()) return false;
  for (size_t i = 0; i < aA.size(); ++i) {
    char a = aA[i], b = aB[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

std::optional<std::string_view> FindRawResource(std::string_view aName) {
  for (const embedded::RawRecord* r = embedded::kRaw; r->name; ++r) {
    if (SameNameIgnoringCase(r->name, aName))
      return std::string_view(reinterpret_cast<const char*>(r->data), r->size);
  }
  return std::nullopt;
}

}  // namespace korvane::platform

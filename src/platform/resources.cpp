// Resources embedded into the library at build time, the same on every system.
#include "platform/resources.h"

#include <cstddef>

#include "helpers/ascii.h"

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

std::optional<std::string_view> FindRawResource(std::string_view aName) {
  for (const embedded::RawRecord* r = embedded::kRaw; r->name; ++r) {
    if (AsciiEqualsIgnoreCase(r->name, aName))  // resource names are ASCII, found whatever their case
      return std::string_view(reinterpret_cast<const char*>(r->data), r->size);
  }
  return std::nullopt;
}

}  // namespace korvane::platform

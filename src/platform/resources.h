// The library's own resources, embedded when it is built: the string table
// (records by id) and raw-data resources by name.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane::platform {

// The string with id aId as UTF-8, or nothing when the table has no such id.
std::optional<std::string> LoadResourceString(int aId);

// The bytes of the raw-data resource aName (matched without regard to case),
// or nothing when there is none.
std::optional<std::string_view> FindRawResource(std::string_view aName);

}  // namespace korvane::platform

// Windows only: the wide form of a path for the file calls, in the "\\?\"
// form that passes the 260-character limit of the plain form.
#pragma once

#include <string>
#include <string_view>

namespace korvane::platform {

// aPath (UTF-8) as the file calls take it. An absolute path ("C:\...",
// "\\server\share\...", either delimiter) is made full first, as the system
// would (backslashes, no "." or ".." parts, the trailing dots and spaces of
// a name dropped), then prefixed: "\\?\C:\..." and "\\?\UNC\server\share\...";
// the system takes such a path as it is, without that clean-up and without
// the limit. A path that carries such a prefix already, a device path
// ("\\.\COM1") and a relative path are only widened.
std::wstring LongPath(std::string_view aPath);

}  // namespace korvane::platform

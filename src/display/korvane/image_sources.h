// Image sources named by display requests: "res:" plus the name of one of
// the library's raw-data resources, an "http://" or "https://" address, or a
// file path. Images travel to the display as Base64 text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvane {

// Time limits of an image fetched over HTTP(S).
inline constexpr long kImageConnectTimeoutMs = 5000;
inline constexpr long kImageTotalTimeoutMs = 30000;
// Largest image accepted: a larger HTTP(S) body yields no image, a larger
// file fails the call.
inline constexpr size_t kImageMaxBytes = 64u * 1024 * 1024;

// The bytes of an image source, or nothing when an HTTP(S) fetch fails.
// Fails with "Resource <name> not found" for a resource the library does not
// carry, and with "Cannot open file "<path>". <system text>" for a file that
// cannot be read, is not a regular file (a pipe, a device) or is larger than
// kImageMaxBytes.
std::optional<std::string> OpenImageStream(const std::string& aSource);

// The Base64 text of an image source; empty for an empty source, a failed
// fetch and a source without bytes. Fails as OpenImageStream does.
std::string LoadImageAsBase64(const std::string& aSource);

// aUrl with its path, document and query percent-encoded (characters that a
// URL cannot hold as they are); scheme, host and port unchanged, existing
// "%XX" escapes kept.
std::string EncodeUrl(const std::string& aUrl);

}  // namespace korvane

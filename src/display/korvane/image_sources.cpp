#include "display/korvane/image_sources.h"

#include <cctype>

#include "helpers/ascii.h"
#include "helpers/base64.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/http.h"
#include "platform/resources.h"

namespace korvane {
namespace {

bool StartsWith(std::string_view aText, std::string_view aPrefix) {
  return aText.substr(0, aPrefix.size()) == aPrefix;
}

// One GET with a session of its own; nothing when anything fails.
std::optional<std::string> HttpGet(const std::string& aUrl, bool aTls) {
  platform::HttpRequest request;
  request.url = aUrl;
  request.connectTimeoutMs = kImageConnectTimeoutMs;
  request.totalTimeoutMs = kImageTotalTimeoutMs;
  request.maxBodyBytes = kImageMaxBytes;
  // Pictures come from any server the settings name, as they are.
  if (aTls) request.verifyPeer = false;
  platform::HttpResponse response;
  try {
    platform::HttpSession session;
    response = session.Perform(request);
  } catch (const Error&) {
    return std::nullopt;
  }
  if (!response.transferOk || response.status < 200 || response.status > 299) return std::nullopt;
  return std::move(response.body);
}

bool KeepInUrl(unsigned char c) {
  if (std::isalnum(c)) return true;
  switch (c) {
    case '-':
    case '.':
    case '_':
    case '~':  // unreserved
    case '!':
    case '$':
    case '&':
    case '\'':
    case '(':
    case ')':
    case '*':  // sub-delims
    case '+':
    case ',':
    case ';':
    case '=':
    case ':':
    case '@':
    case '/':
    case '?':
    case '%':
    case '#': return true;
    default: return false;
  }
}

}  // namespace

std::string EncodeUrl(const std::string& aUrl) {
  // Scheme and authority stay as they are; the rest may begin with the path,
  // or straight with the query or fragment ("http://host?x").
  size_t pathStart = aUrl.find("://");
  pathStart = pathStart == std::string::npos ? 0 : aUrl.find_first_of("/?#", pathStart + 3);
  if (pathStart == std::string::npos) return aUrl;
  std::string out = aUrl.substr(0, pathStart);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (size_t i = pathStart; i < aUrl.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(aUrl[i]);
    if (KeepInUrl(c)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<std::string> OpenImageStream(const std::string& aSource) {
  const std::string lower = AsciiLower(aSource);
  if (StartsWith(lower, "res:")) {
    const std::string name = aSource.substr(4);
    const std::optional<std::string_view> data = platform::FindRawResource(name);
    if (!data) throw Error("Resource " + name + " not found");
    return std::string(*data);
  }
  if (StartsWith(lower, "http://") || StartsWith(lower, "https://"))
    return HttpGet(EncodeUrl(aSource), StartsWith(lower, "https:"));
  return platform::ReadFileBytes(aSource, kImageMaxBytes);
}

std::string LoadImageAsBase64(const std::string& aSource) {
  if (aSource.empty()) return std::string();
  std::optional<std::string> bytes = OpenImageStream(aSource);
  if (!bytes) return std::string();
  return Base64Encode(*bytes);
}

}  // namespace korvane

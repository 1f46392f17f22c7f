#include "display/korvane/image_sources.h"

#include <curl/curl.h>

#include <cctype>
#include <memory>

#include "base/ascii.h"
#include "base/base64.h"
#include "platform/error.h"
#include "platform/filesystem.h"
#include "platform/resources.h"
#include "transport/http_client.h"

namespace korvane {
namespace {

bool StartsWith(std::string_view aText, std::string_view aPrefix) {
  return aText.substr(0, aPrefix.size()) == aPrefix;
}

struct Body {
  std::string data;
  bool tooLarge = false;
};

size_t CollectBody(char* aData, size_t aSize, size_t aCount, void* aBody) {
  Body& body = *static_cast<Body*>(aBody);
  const size_t n = aSize * aCount;
  if (body.data.size() + n > kImageMaxBytes) {
    body.tooLarge = true;
    return 0;  // ends the transfer with an error
  }
  body.data.append(aData, n);
  return n;
}

// One GET with a handle of its own; nothing when anything fails.
std::optional<std::string> HttpGet(const std::string& aUrl, bool aTls) {
  InitHttpLibrary();
  std::unique_ptr<CURL, void (*)(CURL*)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) return std::nullopt;
  Body body;
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, aUrl.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kImageConnectTimeoutMs);
  curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kImageTotalTimeoutMs);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CollectBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
  if (aTls) {
    curl_easy_setopt(
        h, CURLOPT_SSLVERSION,
        static_cast<long>(CURL_SSLVERSION_TLSv1_0) | static_cast<long>(CURL_SSLVERSION_MAX_DEFAULT));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 0L);
  }
  if (curl_easy_perform(h) != CURLE_OK || body.tooLarge) return std::nullopt;
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  if (status < 200 || status > 299) return std::nullopt;
  return std::move(body.data);
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

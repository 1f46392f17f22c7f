#include "platform/http_digest_win32.h"

#include <windows.h>
// (the system headers below need <windows.h> first)
#include <bcrypt.h>

#include <map>

#include "helpers/ascii.h"
#include "platform/error.h"

namespace korvane::platform {
namespace {

std::string Hex(const unsigned char* aBytes, size_t aCount) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < aCount; ++i) {
    text += kDigits[aBytes[i] >> 4];
    text += kDigits[aBytes[i] & 0x0F];
  }
  return text;
}

std::string Md5Hex(const std::string& aText) {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
  if (status < 0) ThrowOsError(static_cast<int>(status), "Cannot hash the Digest answer: ");
  BCRYPT_HASH_HANDLE hash = nullptr;
  unsigned char digest[16] = {};
  status = BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0);
  if (status >= 0) {
    status = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(aText.data())),
                            static_cast<ULONG>(aText.size()), 0);
    if (status >= 0) status = BCryptFinishHash(hash, digest, sizeof digest, 0);
    BCryptDestroyHash(hash);
  }
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (status < 0) ThrowOsError(static_cast<int>(status), "Cannot hash the Digest answer: ");
  return Hex(digest, sizeof digest);
}

// The challenge's parameters (key=value or key="value", comma-separated),
// keys in lower case.
std::map<std::string, std::string> Parameters(const std::string& aText) {
  std::map<std::string, std::string> result;
  size_t i = 0;
  auto skip = [&] {
    while (i < aText.size() && (aText[i] == ' ' || aText[i] == '\t' || aText[i] == ',')) ++i;
  };
  while (skip(), i < aText.size()) {
    const size_t keyStart = i;
    while (i < aText.size() && aText[i] != '=' && aText[i] != ',') ++i;
    std::string key = aText.substr(keyStart, i - keyStart);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
    std::string value;
    if (i < aText.size() && aText[i] == '=') {
      ++i;
      if (i < aText.size() && aText[i] == '"') {
        for (++i; i < aText.size() && aText[i] != '"'; ++i) {
          if (aText[i] == '\\' && i + 1 < aText.size()) ++i;
          value += aText[i];
        }
        if (i < aText.size()) ++i;
      } else {
        const size_t valueStart = i;
        while (i < aText.size() && aText[i] != ',') ++i;
        value = aText.substr(valueStart, i - valueStart);
        while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
      }
    }
    result[AsciiLower(key)] = value;
  }
  return result;
}

}  // namespace

std::string DigestAuthorization(const std::string& aChallenge, const std::string& aMethod,
                                const std::string& aUri, const std::string& aUser,
                                const std::string& aPassword) {
  if (aChallenge.size() < 7 || AsciiLower(aChallenge.substr(0, 7)) != "digest ") return std::string();
  std::map<std::string, std::string> p = Parameters(aChallenge.substr(7));
  const std::string algorithm = p["algorithm"];
  if (!algorithm.empty() && AsciiLower(algorithm) != "md5") return std::string();
  const std::string& realm = p["realm"];
  const std::string& nonce = p["nonce"];
  // qop=auth when the server offers it (among others, e.g. "auth,auth-int").
  bool qopAuth = false;
  const std::string qop = AsciiLower(p["qop"]);
  for (size_t at = 0; (at = qop.find("auth", at)) != std::string::npos; at += 4) {
    const size_t end = at + 4;
    if ((at == 0 || qop[at - 1] == ',' || qop[at - 1] == ' ') &&
        (end == qop.size() || qop[end] == ',' || qop[end] == ' '))
      qopAuth = true;
  }
  const std::string ha1 = Md5Hex(aUser + ":" + realm + ":" + aPassword);
  const std::string ha2 = Md5Hex(aMethod + ":" + aUri);
  std::string header = "Digest username=\"" + aUser + "\", realm=\"" + realm + "\", nonce=\"" + nonce +
                       "\", uri=\"" + aUri + "\"";
  if (qopAuth) {
    unsigned char random[8] = {};
    const NTSTATUS status = BCryptGenRandom(nullptr, random, sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status < 0) ThrowOsError(static_cast<int>(status), "Cannot answer the Digest challenge: ");
    const std::string cnonce = Hex(random, sizeof random);
    const std::string nc = "00000001";
    header += ", qop=auth, nc=" + nc + ", cnonce=\"" + cnonce + "\", response=\"" +
              Md5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":auth:" + ha2) + "\"";
  } else {
    header += ", response=\"" + Md5Hex(ha1 + ":" + nonce + ":" + ha2) + "\"";
  }
  if (p.count("opaque") != 0) header += ", opaque=\"" + p["opaque"] + "\"";
  if (!algorithm.empty()) header += ", algorithm=" + algorithm;
  return header;
}

}  // namespace korvane::platform

#include "helpers/base64.h"

#include <cstdint>
#include <cstring>

namespace korvane {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value: a group of three bytes is two
// look-ups (8 KiB, built at compile time).
struct CharPairs {
  char fPair[4096][2];
  constexpr CharPairs() : fPair{} {
    for (int i = 0; i < 4096; ++i) {
      fPair[i][0] = kAlphabet[i >> 6];
      fPair[i][1] = kAlphabet[i & 0x3F];
    }
  }
};
constexpr CharPairs kPairs;

// The same with each "/" escaped: two to four characters, stored in four
// (the unused ones zero) beside their number (20 KiB).
struct EscapedPairs {
  char fText[4096][4];
  unsigned char fLength[4096];
  constexpr EscapedPairs() : fText{}, fLength{} {
    for (int i = 0; i < 4096; ++i) {
      int n = 0;
      for (const char c : {kAlphabet[i >> 6], kAlphabet[i & 0x3F]}) {
        if (c == '/') fText[i][n++] = '\\';
        fText[i][n++] = c;
      }
      fLength[i] = static_cast<unsigned char>(n);
    }
  }
};
constexpr EscapedPairs kEscapedPairs;

}  // namespace

char* Base64Encode(std::string_view aBytes, char* aOut) {
  const auto* in = reinterpret_cast<const unsigned char*>(aBytes.data());
  const size_t whole = aBytes.size() / 3 * 3;
  size_t i = 0;
  for (; i < whole; i += 3) {
    const uint32_t bits = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    std::memcpy(aOut, kPairs.fPair[bits >> 12], 2);
    std::memcpy(aOut + 2, kPairs.fPair[bits & 0xFFF], 2);
    aOut += 4;
  }
  const size_t rest = aBytes.size() - whole;
  if (rest > 0) {
    const uint32_t bits = (uint32_t{in[i]} << 16) | (rest == 2 ? uint32_t{in[i + 1]} << 8 : 0u);
    aOut[0] = kAlphabet[bits >> 18];
    aOut[1] = kAlphabet[(bits >> 12) & 0x3F];
    aOut[2] = rest == 2 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
    aOut[3] = '=';
    aOut += 4;
  }
  return aOut;
}

char* Base64EncodeEscapingSlashes(std::string_view aBytes, char* aOut) {
  const auto* in = reinterpret_cast<const unsigned char*>(aBytes.data());
  const size_t whole = aBytes.size() / 3 * 3;
  size_t i = 0;
  // Four characters stored for each pair, the text advanced by the pair's
  // own number: no branch on the characters.
  for (; i < whole; i += 3) {
    const uint32_t bits = (uint32_t{in[i]} << 16) | (uint32_t{in[i + 1]} << 8) | in[i + 2];
    std::memcpy(aOut, kEscapedPairs.fText[bits >> 12], 4);
    aOut += kEscapedPairs.fLength[bits >> 12];
    std::memcpy(aOut, kEscapedPairs.fText[bits & 0xFFF], 4);
    aOut += kEscapedPairs.fLength[bits & 0xFFF];
  }
  char last[4];
  const char* end = Base64Encode(aBytes.substr(whole), last);
  for (const char* c = last; c < end; ++c) {
    if (*c == '/') *aOut++ = '\\';
    *aOut++ = *c;
  }
  return aOut;
}

std::string Base64Encode(std::string_view aBytes) {
  std::string out(Base64Length(aBytes.size()), '\0');
  Base64Encode(aBytes, out.data());
  return out;
}

std::optional<std::string> Base64Decode(std::string_view aText) {
  std::string out;
  out.reserve(aText.size() / 4 * 3);
  uint32_t bits = 0;
  int count = 0;
  bool padding = false;
  for (const char c : aText) {
    int value;
    if (c >= 'A' && c <= 'Z')
      value = c - 'A';
    else if (c >= 'a' && c <= 'z')
      value = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      value = c - '0' + 52;
    else if (c == '+' || c == '-')
      value = 62;
    else if (c == '/' || c == '_')
      value = 63;
    else if (c == '=') {
      padding = true;
      continue;
    } else if (c == ' ' || c == '\r' || c == '\n' || c == '\t')
      continue;
    else
      return std::nullopt;
    if (padding) return std::nullopt;  // data after the padding
    bits = (bits << 6) | static_cast<uint32_t>(value);
    if (++count == 4) {
      out += static_cast<char>((bits >> 16) & 0xFF);
      out += static_cast<char>((bits >> 8) & 0xFF);
      out += static_cast<char>(bits & 0xFF);
      bits = 0;
      count = 0;
    }
  }
  if (count == 1) return std::nullopt;
  if (count == 2) out += static_cast<char>((bits >> 4) & 0xFF);
  if (count == 3) {
    out += static_cast<char>((bits >> 10) & 0xFF);
    out += static_cast<char>((bits >> 2) & 0xFF);
  }
  return out;
}

}  // namespace korvane

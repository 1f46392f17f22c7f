#include "display/korvane/json_writer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "helpers/base64.h"
#include "helpers/byte_scan.h"

namespace korvane {

void AppendJsonString(std::string& aOut, std::string_view aText) {
  static constexpr char kHex[] = "0123456789abcdef";
  size_t i = FindJsonEscaped(aText, 0);
  if (i == aText.size()) {  // the usual text, written as it is
    aOut += '"';
    aOut += aText;
    aOut += '"';
    return;
  }
  aOut += '"';
  size_t run = 0;  // start of the current run of characters written as they are
  for (; i < aText.size(); i = FindJsonEscaped(aText, i + 1)) {
    const unsigned char c = static_cast<unsigned char>(aText[i]);
    const char* escape = nullptr;
    switch (c) {
      case '"': escape = "\\\""; break;
      case '\\': escape = "\\\\"; break;
      case '/': escape = "\\/"; break;
      case '\b': escape = "\\b"; break;
      case '\t': escape = "\\t"; break;
      case '\n': escape = "\\n"; break;
      case '\f': escape = "\\f"; break;
      case '\r': escape = "\\r"; break;
      default: break;
    }
    aOut.append(aText.data() + run, i - run);
    if (escape) {
      aOut += escape;
    } else {
      const char u[] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 15]};
      aOut.append(u, sizeof u);
    }
    run = i + 1;
  }
  aOut.append(aText.data() + run, aText.size() - run);
  aOut += '"';
}

std::string FormatJsonAmount(int64_t aValue) {
  std::string text;
  AppendJsonAmount(text, aValue);
  return text;
}

namespace {

// "00" to "99".
constexpr std::array<char, 200> kTwoDigits = [] {
  std::array<char, 200> digits{};
  for (size_t i = 0; i < 100; ++i) {
    digits[2 * i] = static_cast<char>('0' + i / 10);
    digits[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return digits;
}();

// The amount in 1/10000 units written before aEnd, two digits at a time: the
// text is [its first character (returned), aStop).
char* WriteJsonAmount(char* aEnd, int64_t aValue, char*& aStop) {
  const bool negative = aValue < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(aValue) : static_cast<uint64_t>(aValue);
  // The fraction's four digits, of which the zeros that end it are dropped
  // (at least one digit stays), the point, the whole units, the sign.
  char* at = aEnd - 4;
  const uint32_t fraction = static_cast<uint32_t>(magnitude % 10000);
  std::memcpy(at, kTwoDigits.data() + 2 * (fraction / 100), 2);
  std::memcpy(at + 2, kTwoDigits.data() + 2 * (fraction % 100), 2);
  size_t count = 4;
  while (count > 1 && at[count - 1] == '0') --count;
  aStop = at + count;
  *--at = '.';
  uint64_t units = magnitude / 10000;
  for (; units >= 100; units /= 100) {
    at -= 2;
    std::memcpy(at, kTwoDigits.data() + 2 * (units % 100), 2);
  }
  if (units >= 10) {
    at -= 2;
    std::memcpy(at, kTwoDigits.data() + 2 * units, 2);
  } else {
    *--at = static_cast<char>('0' + units);
  }
  if (negative) *--at = '-';
  return at;
}

// Room for any amount: a sign, 15 whole digits, the point and 4 digits.
constexpr size_t kAmountRoom = 24;

}  // namespace

void AppendJsonAmount(std::string& aOut, int64_t aValue) {
  char buffer[kAmountRoom];
  char* stop = nullptr;
  const char* at = WriteJsonAmount(buffer + sizeof buffer, aValue, stop);
  aOut.append(at, static_cast<size_t>(stop - at));
}

kJsonObject::kJsonObject(kJsonName aWrapperName) : fText("{"), fWrapped(true) {
  AppendName(aWrapperName);
  fText += ":{";
  fPrefixLength = fText.size();
}

kJsonObject::kJsonObject(kJsonName aWrapperName, std::string aBuffer, std::string_view aLead)
    : fText(std::move(aBuffer)), fWrapped(true), fLeadLength(aLead.size()) {
  // The usual lead and name (short, plain) in one step.
  const std::string_view name = aWrapperName.Text();
  char buffer[64];
  if (aWrapperName.Plain() && aLead.size() + name.size() <= sizeof buffer - 5) {
    char* at = buffer;
    std::memcpy(at, aLead.data(), aLead.size());
    at += aLead.size();
    *at++ = '{';
    *at++ = '"';
    std::memcpy(at, name.data(), name.size());
    at += name.size();
    *at++ = '"';
    *at++ = ':';
    *at++ = '{';
    fText.assign(buffer, static_cast<size_t>(at - buffer));
  } else {
    fText.assign(aLead);
    fText += '{';
    AppendName(aWrapperName);
    fText += ":{";
  }
  fPrefixLength = fText.size();
}

void kJsonObject::DropLead() {
  fText.erase(0, fLeadLength);
  fPrefixLength -= fLeadLength;
  fLeadLength = 0;
}

void kJsonObject::AppendName(kJsonName aName) {
  if (!aName.Plain()) return AppendJsonString(fText, aName.Text());
  fText += '"';
  fText += aName.Text();
  fText += '"';
}

void kJsonObject::AddName(kJsonName aName) {
  const bool comma = fText.size() > fPrefixLength;
  const std::string_view name = aName.Text();
  // A plain name of the usual length goes in with its comma, quotes and
  // colon in one step.
  char buffer[64];
  if (aName.Plain() && name.size() <= sizeof buffer - 4) {
    char* at = buffer;
    if (comma) *at++ = ',';
    *at++ = '"';
    std::memcpy(at, name.data(), name.size());
    at += name.size();
    *at++ = '"';
    *at++ = ':';
    fText.append(buffer, static_cast<size_t>(at - buffer));
    return;
  }
  if (comma) fText += ',';
  AppendName(aName);
  fText += ':';
}

void kJsonObject::AddString(kJsonName aName, std::string_view aValue) {
  // The usual member (a plain name, a short text that needs no escape) goes
  // in whole, comma, name and quotes with it, in one step.
  const std::string_view name = aName.Text();
  char buffer[192];
  if (aName.Plain() && name.size() + aValue.size() <= sizeof buffer - 6 &&
      FindJsonEscaped(aValue, 0) == aValue.size()) {
    char* at = buffer;
    if (fText.size() > fPrefixLength) *at++ = ',';
    *at++ = '"';
    std::memcpy(at, name.data(), name.size());
    at += name.size();
    *at++ = '"';
    *at++ = ':';
    *at++ = '"';
    std::memcpy(at, aValue.data(), aValue.size());
    at += aValue.size();
    *at++ = '"';
    fText.append(buffer, static_cast<size_t>(at - buffer));
    return;
  }
  AddName(aName);
  AppendJsonString(fText, aValue);
}

void kJsonObject::AddBool(kJsonName aName, bool aValue) {
  AddName(aName);
  fText += aValue ? "true" : "false";
}

void kJsonObject::AddInteger(kJsonName aName, int64_t aValue) {
  AddName(aName);
  fText += std::to_string(aValue);
}

void kJsonObject::AddAmount(kJsonName aName, int64_t aValue) {
  // The usual member (a plain name) goes in whole, in one step.
  const std::string_view name = aName.Text();
  char buffer[64 + kAmountRoom];
  if (aName.Plain() && name.size() <= 60) {
    char* at = buffer;
    if (fText.size() > fPrefixLength) *at++ = ',';
    *at++ = '"';
    std::memcpy(at, name.data(), name.size());
    at += name.size();
    *at++ = '"';
    *at++ = ':';
    char* stop = nullptr;
    char* const amount = WriteJsonAmount(buffer + sizeof buffer, aValue, stop);
    const size_t amountSize = static_cast<size_t>(stop - amount);
    std::memmove(at, amount, amountSize);
    fText.append(buffer, static_cast<size_t>(at + amountSize - buffer));
    return;
  }
  AddName(aName);
  AppendJsonAmount(fText, aValue);
}

void kJsonObject::AddBase64(kJsonName aName, std::string_view aBytes) {
  AddName(aName);
  const size_t encoded = Base64Length(aBytes.size());
  // About one character in 64 is a "/", which takes two.
  fText.reserve(fText.size() + encoded + encoded / 48 + 8);
  fText += '"';
  // Slice by slice through a small buffer that stays in the cache: each
  // slice's text, its "/" escaped, is appended to the message at once.
  constexpr size_t kSlice = 3 * 4096;    // whole groups of three bytes
  char chunk[2 * Base64Length(kSlice)];  // room for a slice of nothing but "/"
  for (size_t at = 0; at < aBytes.size(); at += kSlice) {
    const size_t n = std::min(kSlice, aBytes.size() - at);
    const char* end = Base64EncodeEscapingSlashes(aBytes.substr(at, n), chunk);
    fText.append(chunk, static_cast<size_t>(end - chunk));
  }
  fText += '"';
}

void kJsonObject::AddObject(kJsonName aName, const kJsonObject& aValue) {
  AddName(aName);
  fText += aValue.fText;
  fText += '}';
}

void kJsonObject::AddArray(kJsonName aName, const std::vector<kJsonObject>& aValues) {
  AddName(aName);
  fText += '[';
  for (size_t i = 0; i < aValues.size(); ++i) {
    if (i) fText += ',';
    fText += aValues[i].fText;
    fText += '}';
  }
  fText += ']';
}

void kJsonObject::BeginArray(kJsonName aName) {
  AddName(aName);
  fText += '[';
}

void kJsonObject::BeginItem() {
  fText += fText.back() == '[' ? "{" : ",{";
  fOuterPrefixLength = fPrefixLength;
  fPrefixLength = fText.size();
}

void kJsonObject::EndItem() {
  fText += '}';
  fPrefixLength = fOuterPrefixLength;
}

void kJsonObject::AppendMembers(std::string_view aMembers) {
  if (!aMembers.empty() && aMembers.front() == ',') aMembers.remove_prefix(1);
  if (aMembers.empty()) return;
  if (fText.size() > fPrefixLength) fText += ',';
  fText += aMembers;
}

std::string kJsonObject::TakeText() {
  fText += fWrapped ? "}}" : "}";
  std::string text;
  text.swap(fText);
  fText.push_back('{');
  fWrapped = false;
  fPrefixLength = 1;
  fLeadLength = 0;
  return text;
}

}  // namespace korvane

#include "base/currency.h"

#include <limits>

#include "base/checked_math.h"
#include "platform/error.h"

namespace korvane {
namespace {

constexpr int64_t kExponentCap = 1000000000000;  // far beyond any value that fits

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void ThrowRange() { throw Error("Currency value out of range"); }

// The magnitude of a scaled value: digits * 10^aShift with aShift >= 0. False
// when it exceeds aLimit.
bool Magnitude(const std::string& aDigits, int64_t aShift, uint64_t aLimit, uint64_t& aOut) {
  if (static_cast<int64_t>(aDigits.size()) + aShift > 20) return false;
  uint64_t v = 0;
  auto push = [&](unsigned d) {
    if (v > (aLimit - d) / 10) return false;
    v = v * 10 + d;
    return true;
  };
  for (char c : aDigits)
    if (!push(static_cast<unsigned>(c - '0'))) return false;
  for (int64_t i = 0; i < aShift; ++i)
    if (!push(0)) return false;
  aOut = v;
  return true;
}

}  // namespace

bool ParseDecimalText(std::string_view aText, char aSeparator, tTK_DecimalText& aOut) {
  size_t i = 0;
  const size_t n = aText.size();
  while (i < n && aText[i] == ' ') ++i;
  tTK_DecimalText r;
  if (i < n && (aText[i] == '+' || aText[i] == '-')) r.negative = aText[i++] == '-';
  size_t mantissaDigits = 0;
  int64_t fractionDigits = 0;
  auto takeDigit = [&](char c) {
    ++mantissaDigits;
    if (r.digits.empty() && c == '0') return;  // leading zero
    r.digits += c;
  };
  while (i < n && IsDigit(aText[i])) takeDigit(aText[i++]);
  if (i < n && aText[i] == aSeparator) {
    ++i;
    while (i < n && IsDigit(aText[i])) {
      takeDigit(aText[i++]);
      if (fractionDigits < kExponentCap) ++fractionDigits;
    }
  }
  if (mantissaDigits == 0) return false;
  int64_t exponent = 0;
  if (i < n && (aText[i] == 'e' || aText[i] == 'E')) {
    ++i;
    bool negExp = false;
    if (i < n && (aText[i] == '+' || aText[i] == '-')) negExp = aText[i++] == '-';
    if (i >= n || !IsDigit(aText[i])) return false;
    while (i < n && IsDigit(aText[i])) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (aText[i] - '0');
      ++i;
    }
    if (negExp) exponent = -exponent;
  }
  while (i < n && aText[i] == ' ') ++i;
  if (i != n) return false;
  r.exponent = exponent - fractionDigits;
  if (r.digits.empty()) {
    r.exponent = 0;
  } else {
    // Trailing zeros of the digits move into the exponent.
    size_t keep = r.digits.find_last_not_of('0') + 1;
    r.exponent += static_cast<int64_t>(r.digits.size() - keep);
    r.digits.resize(keep);
  }
  aOut = std::move(r);
  return true;
}

Currency Currency::FromUnits(int64_t aUnits) {
  int64_t raw = 0;
  if (!CheckedMul(aUnits, kScale, raw)) ThrowRange();
  return FromRaw(raw);
}

namespace {

// The usual amount, read at once: an optional "-", one to fourteen digits
// and up to four after a ".", nothing else (so that it cannot overflow).
// False for any other text, which the full reading then takes.
bool TryParsePlainAmount(std::string_view aText, int64_t& aRaw) {
  const size_t n = aText.size();
  size_t i = 0;
  const bool negative = n > 0 && aText[0] == '-';
  if (negative) ++i;
  const size_t first = i;
  int64_t whole = 0;
  for (; i < n && IsDigit(aText[i]); ++i) {
    if (i - first == 14) return false;  // a fifteenth digit
    whole = whole * 10 + (aText[i] - '0');
  }
  if (i == first) return false;
  int64_t fraction = 0;
  int64_t unit = 10000;  // of the last fraction digit read
  if (i < n) {
    if (aText[i] != '.') return false;
    for (++i; i < n && IsDigit(aText[i]); ++i) {
      if (unit == 1) return false;  // a fifth fraction digit
      unit /= 10;
      fraction = fraction * 10 + (aText[i] - '0');
    }
    if (i != n) return false;
  }
  const int64_t raw = whole * 10000 + fraction * unit;
  aRaw = negative ? -raw : raw;
  return true;
}

}  // namespace

bool Currency::TryParse(std::string_view aText, Currency& aValue) {
  int64_t raw = 0;
  if (TryParsePlainAmount(aText, raw)) {
    aValue = FromRaw(raw);
    return true;
  }
  tTK_DecimalText d;
  if (!ParseDecimalText(aText, '.', d)) return false;
  if (d.digits.empty()) {
    aValue = Currency();
    return true;
  }
  const uint64_t limit =
      d.negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  const int64_t shift = d.exponent + 4;  // scaled by 10000
  uint64_t magnitude = 0;
  if (shift >= 0) {
    if (!Magnitude(d.digits, shift, limit, magnitude)) return false;
  } else {
    const int64_t keep = static_cast<int64_t>(d.digits.size()) + shift;
    const std::string whole = keep > 0 ? d.digits.substr(0, static_cast<size_t>(keep)) : std::string();
    if (!Magnitude(whole, 0, limit, magnitude)) return false;
    // The first dropped digit decides; a 5 followed by nothing (the digits
    // carry no trailing zeros) is a tie, rounded to even.
    if (keep >= 0) {
      const char first = d.digits[static_cast<size_t>(keep)];
      const bool more = static_cast<size_t>(keep) + 1 < d.digits.size();
      const bool up = first > '5' || (first == '5' && (more || (magnitude & 1) != 0));
      if (up) {
        if (magnitude == limit) return false;
        ++magnitude;
      }
    }
  }
  aValue = FromRaw(d.negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude));
  return true;
}

Currency Currency::Parse(std::string_view aText) {
  Currency c;
  if (!TryParse(aText, c)) throw Error("'" + std::string(aText) + "' is not a valid floating point value");
  return c;
}

std::string Currency::ToString() const {
  const bool negative = fRaw < 0;
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(fRaw) : static_cast<uint64_t>(fRaw);
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / kScale);
  std::string fraction = std::to_string(magnitude % kScale + kScale).substr(1);  // four digits
  const size_t keep = fraction.find_last_not_of('0');
  fraction.resize(keep == std::string::npos ? 1 : keep + 1);
  return text + "." + fraction;
}

Currency Currency::operator+(Currency aOther) const {
  int64_t r = 0;
  if (!CheckedAdd(fRaw, aOther.fRaw, r)) ThrowRange();
  return FromRaw(r);
}

Currency Currency::operator-(Currency aOther) const {
  int64_t r = 0;
  if (!CheckedSub(fRaw, aOther.fRaw, r)) ThrowRange();
  return FromRaw(r);
}

Currency Currency::operator-() const {
  if (fRaw == std::numeric_limits<int64_t>::min()) ThrowRange();
  return FromRaw(-fRaw);
}

}  // namespace korvane

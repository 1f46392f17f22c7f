// Currency: a signed 64-bit fixed-point amount counting 1/10000 units (four
// decimals). Texts are read and written in decimal without going through
// binary floating point, so every amount keeps its exact value.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// A decimal number text taken apart: the value is
// (negative ? -1 : 1) * digits * 10^exponent.
struct tTK_DecimalText {
  bool negative = false;
  std::string digits;    // significant digits, no leading zeros; empty for zero
  int64_t exponent = 0;  // power of ten of the last digit (kept within +-10^12)
};

// Takes apart a decimal text of the form: leading blanks (U+0020), an optional
// "+" or "-", digits with an optional aSeparator and fraction digits (at least
// one digit in all), an optional exponent ("E" or "e", an optional sign, at
// least one digit), trailing blanks. False when the text has another form.
bool ParseDecimalText(std::string_view aText, char aSeparator, tTK_DecimalText& aOut);

class Currency {
 public:
  static constexpr int64_t kScale = 10000;

  constexpr Currency() = default;

  // The amount whose count of 1/10000 units is aRaw.
  static constexpr Currency FromRaw(int64_t aRaw) {
    Currency c;
    c.fRaw = aRaw;
    return c;
  }
  // A whole number of units; fails with "Currency value out of range" when
  // it does not fit.
  static Currency FromUnits(int64_t aUnits);

  // The count of 1/10000 units.
  constexpr int64_t Raw() const { return fRaw; }

  // Reads a decimal text: leading blanks, an optional sign, digits with an
  // optional "." and fraction digits, an optional exponent ("E" or "e", an
  // optional sign, digits), trailing blanks; nothing else. The value is
  // rounded to four decimals, ties to even. False (aValue unchanged) when the
  // text does not have that form or the value does not fit.
  static bool TryParse(std::string_view aText, Currency& aValue);

  // As TryParse; fails with "'<text>' is not a valid floating point value".
  static Currency Parse(std::string_view aText);

  // Shortest decimal form: "." as separator, no exponent, at most four
  // fraction digits, trailing zeros dropped, but at least one fraction digit
  // ("12.5", "10.0", "0.0", "-3.25").
  std::string ToString() const;

  // Sums and differences fail with "Currency value out of range" on overflow.
  Currency operator+(Currency aOther) const;
  Currency operator-(Currency aOther) const;
  Currency operator-() const;
  Currency& operator+=(Currency aOther) { return *this = *this + aOther; }
  Currency& operator-=(Currency aOther) { return *this = *this - aOther; }

  constexpr bool operator==(const Currency&) const = default;
  constexpr auto operator<=>(const Currency&) const = default;

 private:
  int64_t fRaw = 0;
};

}  // namespace korvane

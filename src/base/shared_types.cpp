#include "base/shared_types.h"

#include <cctype>
#include <cmath>
#include <cstdio>

#include "helpers/ascii.h"
#include "platform/error.h"

namespace korvane {
namespace {

constexpr int kDaysBefore1900 = 693594;  // days from 0001-01-01 to 1899-12-30 (Delphi's DateDelta)

bool IsLeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

bool IsValidDate(int aYear, int aMonth, int aDay) {
  return aYear >= 1 && aYear <= 9999 && aMonth >= 1 && aMonth <= 12 && aDay >= 1 &&
         aDay <= DaysInMonth(aYear, aMonth);
}

TDateTime EncodeDate(int aYear, int aMonth, int aDay) {
  if (!IsValidDate(aYear, aMonth, aDay)) throw Error("Invalid argument to date encode");
  int days = aDay;
  for (int m = 1; m < aMonth; ++m) days += DaysInMonth(aYear, m);
  const int y = aYear - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  return static_cast<double>(days - kDaysBefore1900);
}

TDateTime EncodeTime(int aHour, int aMinute, int aSecond, int aMillisecond) {
  if (aHour < 0 || aHour > 23 || aMinute < 0 || aMinute > 59 || aSecond < 0 || aSecond > 59 ||
      aMillisecond < 0 || aMillisecond > 999)
    throw Error("Invalid argument to time encode");
  return (aHour * 3600000.0 + aMinute * 60000.0 + aSecond * 1000.0 + aMillisecond) / 86400000.0;
}

TDateTimeParts DecodeDateTime(TDateTime aValue) {
  TDateTimeParts p;
  // Milliseconds since 0001-01-01, as Delphi's DateTimeToTimeStamp computes them.
  const double whole = std::trunc(aValue);
  int64_t msOfDay = static_cast<int64_t>(std::llround(std::fabs(aValue - whole) * 86400000.0));
  int64_t days = static_cast<int64_t>(whole) + kDaysBefore1900;
  if (msOfDay >= 86400000) {
    msOfDay -= 86400000;
    ++days;
  }
  p.hour = static_cast<int>(msOfDay / 3600000);
  p.minute = static_cast<int>(msOfDay / 60000 % 60);
  p.second = static_cast<int>(msOfDay / 1000 % 60);
  p.millisecond = static_cast<int>(msOfDay % 1000);
  if (days <= 0) return p;
  // Day number (1 = 0001-01-01) to a calendar date.
  int64_t d = days - 1;
  int y = 1;
  const int64_t d400 = d / 146097;
  d %= 146097;
  int64_t d100 = d / 36524;
  if (d100 == 4) d100 = 3;
  d -= d100 * 36524;
  const int64_t d4 = d / 1461;
  d %= 1461;
  int64_t d1 = d / 365;
  if (d1 == 4) d1 = 3;
  d -= d1 * 365;
  y += static_cast<int>(d400 * 400 + d100 * 100 + d4 * 4 + d1);
  int m = 1;
  while (d >= DaysInMonth(y, m)) {
    d -= DaysInMonth(y, m);
    ++m;
  }
  p.year = y;
  p.month = m;
  p.day = static_cast<int>(d) + 1;
  return p;
}

TDateTime ToDateTime(const platform::LocalTime& t) {
  return EncodeDate(t.year, t.month, t.day) + EncodeTime(t.hour, t.minute, t.second, t.millisecond);
}

TDateTime NowDateTime() { return ToDateTime(platform::Now()); }

namespace {

// The largest width or precision a placeholder may give; no message needs
// more, and with it the text of one placeholder stays small.
constexpr int kMaxFormatField = 1024;

// The decimal number at aFormat[aAt] (none: 0), moving aAt past its digits;
// -1 when it is larger than kMaxFormatField, however many digits it has.
int ReadFormatField(const std::string& aFormat, size_t& aAt) {
  int value = 0;
  for (; aAt < aFormat.size() && std::isdigit(static_cast<unsigned char>(aFormat[aAt])); ++aAt)
    if (value >= 0) {
      value = value * 10 + (aFormat[aAt] - '0');
      if (value > kMaxFormatField) value = -1;
    }
  return value;
}

// snprintf of one value, as long as it comes out.
template <class T>
std::string PrintValue(const std::string& aSpec, T aValue) {
  const int length = std::snprintf(nullptr, 0, aSpec.c_str(), aValue);
  if (length <= 0) return std::string();
  std::string text(static_cast<size_t>(length) + 1, '\0');
  std::snprintf(text.data(), text.size(), aSpec.c_str(), aValue);
  text.resize(static_cast<size_t>(length));
  return text;
}

}  // namespace

std::string FormatText(const std::string& aFormat, const std::vector<TVariant>& aValues) {
  auto fail = [&]() -> Error {
    return Error("Format '" + aFormat + "' invalid or incompatible with argument");
  };
  std::string out;
  size_t next = 0;
  for (size_t i = 0; i < aFormat.size(); ++i) {
    if (aFormat[i] != '%') {
      out += aFormat[i];
      continue;
    }
    if (++i >= aFormat.size()) throw fail();
    if (aFormat[i] == '%') {
      out += '%';
      continue;
    }
    const bool left = aFormat[i] == '-';
    if (left) ++i;
    const bool zeros = i < aFormat.size() && aFormat[i] == '0';
    const int width = ReadFormatField(aFormat, i);
    if (width < 0) throw fail();
    int precision = -1;
    if (i < aFormat.size() && aFormat[i] == '.') {
      precision = ReadFormatField(aFormat, ++i);
      if (precision < 0) throw fail();
    }
    if (i >= aFormat.size() || next >= aValues.size()) throw fail();
    // The placeholder again, with the numbers as read.
    std::string spec = left ? "%-" : "%";
    if (zeros) spec += '0';
    if (width > 0) spec += std::to_string(width);
    if (precision >= 0) spec += "." + std::to_string(precision);
    const char type = AsciiLowerChar(aFormat[i]);
    const TVariant& v = aValues[next++];
    switch (type) {
      case 's': {
        auto s = std::get_if<std::string>(&v);
        if (!s) throw fail();
        std::string text = *s;
        if (precision >= 0 && static_cast<size_t>(precision) < text.size())
          text.resize(static_cast<size_t>(precision));
        const size_t pad =
            static_cast<size_t>(width) > text.size() ? static_cast<size_t>(width) - text.size() : 0;
        if (!left) out.append(pad, ' ');
        out += text;
        if (left) out.append(pad, ' ');
        break;
      }
      case 'd':
      case 'u':
      case 'x': {
        auto n = std::get_if<int64_t>(&v);
        if (!n) throw fail();
        const char* conv = type == 'd' ? "lld" : type == 'u' ? "llu" : "llX";
        out += PrintValue(spec + conv, static_cast<long long>(*n));
        break;
      }
      case 'f':
      case 'g':
      case 'e':
      case 'n': {
        auto f = std::get_if<double>(&v);
        if (!f) throw fail();
        if (precision < 0 && type != 'g') spec += ".2";
        const char conv = type == 'n' ? 'f' : type == 'e' ? 'E' : type;
        out += PrintValue(spec + conv, *f);
        break;
      }
      default: throw fail();
    }
  }
  return out;
}

}  // namespace korvane

#include "base/checked_math.h"

#include <limits>

namespace korvane {
namespace {

constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr uint64_t kLow32 = 0xFFFFFFFFu;

// |a| as unsigned; exact for the most negative value too.
uint64_t Magnitude(int64_t a) { return a < 0 ? 0 - static_cast<uint64_t>(a) : static_cast<uint64_t>(a); }

}  // namespace

bool CheckedAdd(int64_t a, int64_t b, int64_t& aResult) {
  if ((b > 0 && a > kMax - b) || (b < 0 && a < kMin - b)) return false;
  aResult = a + b;
  return true;
}

bool CheckedSub(int64_t a, int64_t b, int64_t& aResult) {
  if ((b < 0 && a > kMax + b) || (b > 0 && a < kMin + b)) return false;
  aResult = a - b;
  return true;
}

bool CheckedMul(int64_t a, int64_t b, int64_t& aResult) {
  const bool negative = (a < 0) != (b < 0);
  const UInt128 p = MultiplyFull(Magnitude(a), Magnitude(b));
  const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(kMax);
  if (p.high != 0 || p.low > limit) return false;
  aResult = negative ? static_cast<int64_t>(0 - p.low) : static_cast<int64_t>(p.low);
  return true;
}

UInt128 MultiplyFull(uint64_t a, uint64_t b) {
  const uint64_t aLow = a & kLow32, aHigh = a >> 32;
  const uint64_t bLow = b & kLow32, bHigh = b >> 32;
  const uint64_t lowLow = aLow * bLow;
  const uint64_t highLow = aHigh * bLow;
  const uint64_t lowHigh = aLow * bHigh;
  const uint64_t highHigh = aHigh * bHigh;
  // The middle column: each term below 2^64 - 2^33 + 2, their sum with the
  // carry from the low column fits.
  const uint64_t middle = (lowLow >> 32) + (highLow & kLow32) + (lowHigh & kLow32);
  UInt128 r;
  r.low = (middle << 32) | (lowLow & kLow32);
  r.high = highHigh + (highLow >> 32) + (lowHigh >> 32) + (middle >> 32);
  return r;
}

int64_t MulDivRoundHalfAway(int64_t a, int64_t b, uint32_t aDivisor) {
  const bool negative = (a < 0) != (b < 0);
  const UInt128 p = MultiplyFull(Magnitude(a), Magnitude(b));
  // Long division of the four 32-bit digits of the product by aDivisor.
  const uint32_t digits[4] = {static_cast<uint32_t>(p.high >> 32), static_cast<uint32_t>(p.high),
                              static_cast<uint32_t>(p.low >> 32), static_cast<uint32_t>(p.low)};
  uint64_t remainder = 0;
  uint64_t quotientLow = 0;  // only the low 64 bits of the quotient are kept
  for (const uint32_t digit : digits) {
    const uint64_t part = (remainder << 32) | digit;
    quotientLow = (quotientLow << 32) | (part / aDivisor);
    remainder = part % aDivisor;
  }
  if (remainder * 2 >= aDivisor) ++quotientLow;
  return static_cast<int64_t>(negative ? 0 - quotientLow : quotientLow);
}

}  // namespace korvane

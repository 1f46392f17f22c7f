// Integer arithmetic on signed 64-bit values without undefined behaviour and
// without a wider integer type: sums, differences and products that report
// overflow, and a product divided with rounding, computed in 32-bit halves.
#pragma once

#include <cstdint>

namespace korvane {

// a + b, a - b, a * b into aResult; false (aResult unchanged) when the exact
// result does not fit into int64_t.
bool CheckedAdd(int64_t a, int64_t b, int64_t& aResult);
bool CheckedSub(int64_t a, int64_t b, int64_t& aResult);
bool CheckedMul(int64_t a, int64_t b, int64_t& aResult);

// The exact product of two unsigned 64-bit values as its high and low halves.
struct UInt128 {
  uint64_t high = 0;
  uint64_t low = 0;
};
UInt128 MultiplyFull(uint64_t a, uint64_t b);

// a * b / aDivisor with the exact 128-bit product, rounded half away from
// zero (a remainder of at least half the divisor moves the quotient one away
// from zero). A quotient beyond int64_t keeps its low 64 bits, in two's
// complement. aDivisor must be greater than 0.
int64_t MulDivRoundHalfAway(int64_t a, int64_t b, uint32_t aDivisor);

}  // namespace korvane

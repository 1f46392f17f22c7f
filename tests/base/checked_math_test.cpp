#include "base/checked_math.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "base/currency.h"
#include "platform/error.h"

using namespace korvane;

namespace {

constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
constexpr int64_t kMin = std::numeric_limits<int64_t>::min();

struct Case {
  int64_t a;
  int64_t b;
  bool fits;
  int64_t result;
};

}  // namespace

TEST(CheckedMath, AddsAndReportsOverflowAtTheLimits) {
  const Case cases[] = {
      {0, 0, true, 0},        {kMax, 0, true, kMax},      {kMax, 1, false, 0},    {kMax - 1, 1, true, kMax},
      {kMin, -1, false, 0},   {kMin + 1, -1, true, kMin}, {kMin, kMax, true, -1}, {kMax, kMax, false, 0},
      {kMin, kMin, false, 0}, {-5, 3, true, -2},          {kMin, 0, true, kMin},  {kMax, kMin, true, -1},
  };
  for (const Case& c : cases) {
    int64_t r = 42;
    EXPECT_EQ(CheckedAdd(c.a, c.b, r), c.fits) << c.a << " + " << c.b;
    EXPECT_EQ(r, c.fits ? c.result : 42) << c.a << " + " << c.b;
  }
}

TEST(CheckedMath, SubtractsAndReportsOverflowAtTheLimits) {
  const Case cases[] = {
      {0, 0, true, 0},
      {kMin, 1, false, 0},
      {kMin + 1, 1, true, kMin},
      {kMax, -1, false, 0},
      {kMax - 1, -1, true, kMax},
      {0, kMin, false, 0},
      {-1, kMin, true, kMax},
      {0, kMax, true, -kMax},
      {kMin, kMin, true, 0},
      {kMax, kMax, true, 0},
      {-1, kMax, true, kMin},
      {-2, kMax, false, 0},
      {-2, kMax - 1, true, kMin},
      {kMin, kMax, false, 0},
      {kMax, kMin, false, 0},
      {7, 10, true, -3},
  };
  for (const Case& c : cases) {
    int64_t r = 42;
    EXPECT_EQ(CheckedSub(c.a, c.b, r), c.fits) << c.a << " - " << c.b;
    EXPECT_EQ(r, c.fits ? c.result : 42) << c.a << " - " << c.b;
  }
}

TEST(CheckedMath, MultipliesAndReportsOverflowAtTheLimits) {
  const Case cases[] = {
      {0, kMin, true, 0},
      {kMin, 1, true, kMin},
      {kMin, -1, false, 0},
      {kMax, -1, true, -kMax},
      {kMax, 2, false, 0},
      {kMin / 2, 2, true, kMin},
      {kMin / 2, -2, false, 0},
      {-(kMax / 2) - 1, 2, true, kMin},
      {kMax / 10000, 10000, true, kMax / 10000 * 10000},
      {kMax / 10000 + 1, 10000, false, 0},
      {kMin / 10000, 10000, true, kMin / 10000 * 10000},
      {kMin / 10000 - 1, 10000, false, 0},
      {3037000499, 3037000499, true, 9223372030926249001},  // the largest square that fits
      {3037000500, 3037000500, false, 0},
      {-3037000500, 3037000500, false, 0},
      {int64_t{1} << 32, int64_t{1} << 31, false, 0},
      {int64_t{1} << 32, -(int64_t{1} << 31), true, kMin},
  };
  for (const Case& c : cases) {
    int64_t r = 42;
    EXPECT_EQ(CheckedMul(c.a, c.b, r), c.fits) << c.a << " * " << c.b;
    EXPECT_EQ(r, c.fits ? c.result : 42) << c.a << " * " << c.b;
  }
}

TEST(CheckedMath, MultipliesToTheFull128Bits) {
  const UInt128 all = MultiplyFull(~uint64_t{0}, ~uint64_t{0});
  EXPECT_EQ(all.high, 0xFFFFFFFFFFFFFFFEu);
  EXPECT_EQ(all.low, 1u);
  const UInt128 halves = MultiplyFull(0xFFFFFFFFu, 0xFFFFFFFF00000000u);
  EXPECT_EQ(halves.high, 0xFFFFFFFEu);
  EXPECT_EQ(halves.low, 0x100000000u);
  const UInt128 small = MultiplyFull(123456789, 1000);
  EXPECT_EQ(small.high, 0u);
  EXPECT_EQ(small.low, 123456789000u);
}

TEST(CheckedMath, DividesTheProductRoundingHalfAwayFromZero) {
  const Case cases[] = {
      // Ties and their neighbours, both signs.
      {1, 500000, true, 1},
      {1, 499999, true, 0},
      {-1, 500000, true, -1},
      {1, -500000, true, -1},
      {-1, -500000, true, 1},
      {-1, 499999, true, 0},
      {3, 500000, true, 2},
      {-3, 500000, true, -2},
      {0, kMin, true, 0},
      {-5, 0, true, 0},
      // Exact quotients at the limits.
      {kMax, 1000000, true, kMax},
      {kMin, 1000000, true, kMin},
      {1000000, kMin, true, kMin},
      // Products far beyond 64 bits.
      {kMax, 3, true, 27670116110564},
      {kMax, -1, true, -9223372036855},
      {kMin, 7, true, -64563604257983},
      {123456789012345, 987654321, true, 121932631124827862},
      // Quotients beyond int64_t keep their low 64 bits.
      {kMin, -1000000, true, kMin},
      {kMax, 1000001, true, -9223362813482738954},
      {kMax, kMax, true, 7155547366424156201},
      {kMin, kMin, true, 7155565813168229910},
      {kMin, kMax, true, -7155556589796193055},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MulDivRoundHalfAway(c.a, c.b, 1000000), c.result) << c.a << " * " << c.b << " / 1000000";
  EXPECT_EQ(MulDivRoundHalfAway(7, 1, 2), 4);
  EXPECT_EQ(MulDivRoundHalfAway(-7, 1, 2), -4);
  EXPECT_EQ(MulDivRoundHalfAway(kMax, 1, 1), kMax);
}

#if defined(__SIZEOF_INT128__)
// Where the compiler has a 128-bit integer, it is the reference.
TEST(CheckedMath, AgreesWithA128BitReference) {
  std::mt19937_64 random(20240917);
  const int64_t edges[] = {0, 1, -1, kMax, kMin, kMax - 1, kMin + 1, 499999, 500000, 500001, -500000};
  auto reference = [](int64_t a, int64_t b, uint32_t d) {
    const __int128 product = static_cast<__int128>(a) * b;
    const __int128 divisor = d;
    __int128 quotient = product / divisor;
    const __int128 remainder = product % divisor;
    if (remainder * 2 >= divisor) ++quotient;
    if (remainder * 2 <= -divisor) --quotient;
    return static_cast<int64_t>(quotient);
  };
  for (int i = 0; i < 200000; ++i) {
    const int shiftA = static_cast<int>(random() % 64);
    const int shiftB = static_cast<int>(random() % 64);
    const int64_t a = i < 121 ? edges[i % 11] : static_cast<int64_t>(random()) >> shiftA;
    const int64_t b = i < 121 ? edges[i / 11] : static_cast<int64_t>(random()) >> shiftB;
    const uint32_t d = i % 3 == 0 ? 1000000u : static_cast<uint32_t>(random() % 0xFFFFFFFFu) + 1;
    ASSERT_EQ(MulDivRoundHalfAway(a, b, d), reference(a, b, d)) << a << " * " << b << " / " << d;
    const __int128 exact = static_cast<__int128>(a) * b;
    int64_t r = 0;
    ASSERT_EQ(CheckedMul(a, b, r), exact >= kMin && exact <= kMax) << a << " * " << b;
    if (exact >= kMin && exact <= kMax) {
      ASSERT_EQ(r, static_cast<int64_t>(exact));
    }
    const __int128 sum = static_cast<__int128>(a) + b;
    ASSERT_EQ(CheckedAdd(a, b, r), sum >= kMin && sum <= kMax);
    const __int128 difference = static_cast<__int128>(a) - b;
    ASSERT_EQ(CheckedSub(a, b, r), difference >= kMin && difference <= kMax);
  }
}
#endif

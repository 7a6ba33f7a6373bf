#include "ferrolib/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace ferrolib {
namespace {

// glibc's printf rounds exactly, ties to even (in the default rounding mode): the oracle.
Digits18 oracle(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.17e", std::fabs(v));
  std::string digits;
  const char* p = buf;
  for (; *p && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9') digits += *p;
  }
  return {std::strtoull(digits.c_str(), nullptr, 10), std::atoi(p + 1) + 1};
}

std::string show(Digits18 d) { return std::to_string(d.digits) + "e" + std::to_string(d.exponent); }

void expect_oracle(double v) {
  Digits18 want = oracle(v);
  Digits18 fast = decimal_digits18(v);
  ASSERT_EQ(show(fast), show(want)) << std::hexfloat << v;
}

TEST(Decimal, Examples) {
  EXPECT_EQ(show(decimal_digits18(123.4)), "123400000000000006e3");
  EXPECT_EQ(show(decimal_digits18(0.00123)), "122999999999999997e-2");
  // 2.675 lies just below 2.675: the expansion shows it.
  EXPECT_EQ(show(decimal_digits18(2.675)), "267499999999999982e1");
  EXPECT_EQ(show(decimal_digits18(-1.0)), "100000000000000000e1");
}

TEST(Decimal, ExtremesAndPowersOfTen) {
  for (double v : {5e-324, 2.2250738585072009e-308, 2.2250738585072014e-308, 1.7976931348623157e308,
                   1e22, 1e23, 9007199254740993.0, 0.1, 1.0 / 3}) {
    expect_oracle(v);
    ASSERT_EQ(show(decimal_digits18_exact(v)), show(oracle(v)));
  }
  for (int e = -324; e <= 308; ++e) {
    for (int d = 1; d <= 9; ++d) {
      double v = d * std::pow(10.0, e);
      if (v == 0 || !std::isfinite(v)) continue;
      expect_oracle(v);
      expect_oracle(std::nextafter(v, 0.0));
      expect_oracle(std::nextafter(v, HUGE_VAL));
    }
  }
}

// m * 2^-p has an exact decimal expansion; many of them end in a 5 just after the 18th digit,
// where ties to even decides (2^-26 = 1.490116119384765625e-8 is one).
TEST(Decimal, TiesGoToEven) {
  EXPECT_EQ(show(decimal_digits18(std::ldexp(1.0, -26))), "149011611938476562e-7");
  EXPECT_EQ(show(decimal_digits18(std::ldexp(3.0, -26))), "447034835815429688e-7");
  for (int p = -1074; p < 1024; ++p) {
    for (std::uint64_t m = 1; m < 256; m += 2) {
      double v = std::ldexp(static_cast<double>(m), p);
      if (v == 0 || !std::isfinite(v)) continue;
      expect_oracle(v);
    }
  }
  // Large integers with exactly nineteen digits ending in 5 cannot be doubles, but sums of a
  // few powers of two in the nineteen-digit range come close from both sides.
  for (int a = 60; a < 64; ++a) {
    for (int b = 0; b < 12; ++b) expect_oracle(std::ldexp(1.0, a) + std::ldexp(1.0, a - 52 + b));
  }
}

TEST(Decimal, RandomBitPatterns) {
  std::mt19937_64 rng(12345);
  for (int i = 0; i < 400000; ++i) {
    std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v) || v == 0) continue;
    expect_oracle(v);
    if (i % 64 == 0) {
      ASSERT_EQ(show(decimal_digits18_exact(v)), show(oracle(v)));
    }
  }
}

TEST(Decimal, EverydayValues) {
  std::mt19937_64 rng(99);
  for (int i = 0; i < 200000; ++i) {
    double v = static_cast<double>(rng() % 100000000) / static_cast<double>(1 + rng() % 10000);
    if (v == 0) continue;
    expect_oracle(v);
  }
}

}  // namespace
}  // namespace ferrolib

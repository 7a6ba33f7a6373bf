#include "ferrolib/number_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace ferrolib {
namespace {

// The two example settings: German-style and American-style.
RegionalSettings german() { return {',', '.', "EUR", 3, 8}; }
RegionalSettings american() { return {'.', ',', "$", 0, 0}; }

std::string general(double v, const RegionalSettings& rs = german()) {
  char out[kMaxText + 1];
  std::size_t n = format_float(v, rs, out);
  EXPECT_EQ(n, std::strlen(out));
  return out;
}

std::string general_e(double v, const RegionalSettings& rs = german()) {
  char out[kMaxText + 1];
  format_float(v, rs, out);
  swap_comma_and_point(out);
  return out;
}

std::string fixed(double v, int precision, int digits, const RegionalSettings& rs = german()) {
  char out[kMaxText + 1];
  std::size_t n = format_fixed(v, precision, digits, rs, out);
  EXPECT_EQ(n, std::strlen(out));
  return out;
}

std::string currency(double v, int digits, const RegionalSettings& rs = german()) {
  char out[kMaxText + 1];
  std::size_t n = format_currency(v, digits, rs, out);
  EXPECT_EQ(n, std::strlen(out));
  return out;
}

TEST(FloatToString, Table) {
  struct Case {
    double v;
    const char* text;
  } cases[] = {
      {1234.5, "1234,5"},
      {0.0001, "0,0001"},
      {0.00001, "1E-5"},
      {1.5e-7, "1,5E-7"},
      {1e15, "1E15"},
      {123456789012345.0, "123456789012345"},
      {1.0 / 3, "0,333333333333333"},
      {0.0, "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(general(c.v), c.text) << c.v;
}

TEST(FloatToString, MoreCases) {
  EXPECT_EQ(general(-0.0), "0");  // zero has no sign
  EXPECT_EQ(general(-1234.5), "-1234,5");
  EXPECT_EQ(general(100), "100");
  EXPECT_EQ(general(1e14), "100000000000000");
  EXPECT_EQ(general(999999999999999.9), "1E15");  // 15 digits round up and carry
  EXPECT_EQ(general(0.001234), "0,001234");
  EXPECT_EQ(general(1.7976931348623157e308), "1,79769313486232E308");
  EXPECT_EQ(general(5e-324), "4,94065645841247E-324");
  EXPECT_EQ(general(-2.5e-10), "-2,5E-10");
  EXPECT_EQ(general(0.1 + 0.2), "0,3");
  EXPECT_EQ(general(1234.5, american()), "1234.5");
}

TEST(FloatToString, NonFinite) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(general(inf), "INF");
  EXPECT_EQ(general(-inf), "-INF");
  EXPECT_EQ(general(nan), "NAN");
  EXPECT_EQ(general(-nan), "NAN");
  EXPECT_EQ(fixed(-inf, 15, 2), "-INF");
  EXPECT_EQ(fixed(nan, 15, 2), "NAN");
  EXPECT_EQ(currency(inf, 2), "INF");
  EXPECT_EQ(currency(nan, 2), "NAN");
}

TEST(FloatToStringE, SwapsTheSeparators) {
  EXPECT_EQ(general_e(1234.5), "1234.5");
  EXPECT_EQ(general_e(1234.5, american()), "1234,5");
  EXPECT_EQ(general_e(1.5e-7), "1.5E-7");
  char text[] = "1.234,5,.";
  swap_comma_and_point(text);
  EXPECT_STREQ(text, "1,234.5.,");  // one pass: nothing is swapped back
}

TEST(FloatStr, Table) {
  struct Case {
    double v;
    int precision, digits;
    const char* text;
  } cases[] = {
      {3.14159, 15, 2, "3,14"},    {2.5, 15, 0, "3"},           {0.5, 15, 0, "1"},
      {-0.004, 15, 2, "0,00"},     {-0.006, 15, 2, "-0,01"},    {2.675, 15, 2, "2,67"},
      {1234567, 4, 2, "1,235E06"}, {12345.678, 3, 1, "1,23E4"}, {999.999, 3, 2, "1E03"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fixed(c.v, c.precision, c.digits), c.text)
        << c.v << " precision " << c.precision << " digits " << c.digits;
  }
}

TEST(FloatStr, MoreCases) {
  EXPECT_EQ(fixed(0, 15, 3), "0,000");
  EXPECT_EQ(fixed(0.001, 15, 5), "0,00100");
  EXPECT_EQ(fixed(-1.5, 15, 0), "-2");    // half away from zero on the expansion
  EXPECT_EQ(fixed(1e15, 15, 2), "1E15");  // E = 16 > P: general form, X = 2 -> two digits
  EXPECT_EQ(fixed(1e15, 15, 6), "1E15");  // X = 0 when D > 4
  EXPECT_EQ(fixed(1.5e20, 15, 1), "1,5E20");
  EXPECT_EQ(fixed(123456789, 18, 18), "123456789,000000000000000000");
  EXPECT_EQ(fixed(0.123456789, 18, 18), "0,123456788999999997");
  EXPECT_EQ(fixed(1e-20, 15, 18), "0,000000000000000000");
  EXPECT_EQ(fixed(5e-19, 15, 18), "0,000000000000000001");
  EXPECT_EQ(fixed(4.9e-19, 15, 18), "0,000000000000000000");
  EXPECT_EQ(fixed(1234.5, 15, 1, american()), "1234.5");
}

TEST(FloatStr, LimitsArguments) {
  EXPECT_EQ(fixed(1234.5678, 1, 2), fixed(1234.5678, 2, 2));      // precision below 2 counts as 2
  EXPECT_EQ(fixed(1234.5678, 99, 2), fixed(1234.5678, 18, 2));    // above 18 as 18
  EXPECT_EQ(fixed(1234.5678, 15, -3), "1235");                    // negative digits as 0
  EXPECT_EQ(fixed(1234.5678, 15, 40), fixed(1234.5678, 15, 18));  // above 18 as 18
  EXPECT_EQ(fixed(2.5, -7, 0), "3");
}

TEST(Currency, Examples) {
  EXPECT_EQ(currency(1234.5, 2), "1.234,50 EUR");
  EXPECT_EQ(currency(-1234.5, 2), "-1.234,50 EUR");
  EXPECT_EQ(currency(1234567.891, 2), "1.234.567,89 EUR");
  EXPECT_EQ(currency(1234.5, 2, american()), "$1,234.50");
  EXPECT_EQ(currency(-1234.5, 2, american()), "($1,234.50)");
}

TEST(Currency, MoreCases) {
  EXPECT_EQ(currency(0, 2), "0,00 EUR");
  EXPECT_EQ(currency(-0.004, 2), "0,00 EUR");  // rounds to zero: no sign, positive format
  EXPECT_EQ(currency(0.5, 0), "1 EUR");
  EXPECT_EQ(currency(999.5, 0), "1.000 EUR");
  EXPECT_EQ(currency(123, 0), "123 EUR");
  EXPECT_EQ(currency(1234, 0), "1.234 EUR");
  EXPECT_EQ(currency(123456789012345678.0, 0), "123.456.789.012.345.680 EUR");
  EXPECT_EQ(currency(0.125, 18), "0,125000000000000000 EUR");
  EXPECT_EQ(currency(1e20, 2), "1E20");  // E = 21 > 18: the general form, no symbol
  EXPECT_EQ(currency(-1e20, 6), "-1E20");
  EXPECT_EQ(currency(1234.5, -1), "1.235 EUR");
  RegionalSettings none{'.', ',', "", 0, 0};  // the C locale's fallbacks
  EXPECT_EQ(currency(-1234.5, 2, none), "(1,234.50)");
  EXPECT_EQ(currency(1234.5, 2, none), "1,234.50");
}

TEST(Currency, AllSixteenNegativeFormats) {
  const char* expected[16] = {"($1.1)", "-$1.1",  "$-1.1",   "$1.1-",  "(1.1$)", "-1.1$",
                              "1.1-$",  "1.1$-",  "-1.1 $",  "-$ 1.1", "1.1 $-", "$ 1.1-",
                              "$ -1.1", "1.1- $", "($ 1.1)", "(1.1 $)"};
  for (int f = 0; f < 16; ++f) {
    EXPECT_EQ(arrange_currency(true, "1.1", "$", 0, f), expected[f]) << f;
    RegionalSettings rs{'.', ',', "$", 0, f};
    EXPECT_EQ(currency(-1.1, 1, rs), expected[f]) << f;
  }
  EXPECT_EQ(arrange_currency(true, "1.1", "$", 0, 99), "(1.1 $)");  // above 15 counts as 15
}

TEST(Currency, AllFourPositiveFormats) {
  const char* expected[4] = {"$1.1", "1.1$", "$ 1.1", "1.1 $"};
  for (int f = 0; f < 4; ++f) {
    EXPECT_EQ(arrange_currency(false, "1.1", "$", f, 0), expected[f]) << f;
    RegionalSettings rs{'.', ',', "$", f, 0};
    EXPECT_EQ(currency(1.1, 1, rs), expected[f]) << f;
  }
  EXPECT_EQ(arrange_currency(false, "1.1", "$", 7, 0), "1.1 $");  // above 3 counts as 3
}

TEST(Expansion, Steps) {
  Expansion x = expand(123.4, 15, kUnlimitedDecimals);
  EXPECT_EQ(x.exponent, 3);
  EXPECT_EQ(std::string(x.digits, x.count), "1234");
  x = expand(-0.006, 15, 2);  // R = E + D = 0: d1 = 6 carries out of d1
  EXPECT_TRUE(x.negative);
  EXPECT_EQ(x.exponent, -1);
  EXPECT_EQ(std::string(x.digits, x.count), "1");
  x = expand(-0.0004, 15, 2);  // R below 0: zero without sign
  EXPECT_FALSE(x.negative);
  EXPECT_EQ(x.count, 0);
  EXPECT_EQ(x.exponent, 0);
}

// No text is longer than 63 characters, whatever the value and the arguments.
TEST(Formats, NeverLongerThan63) {
  std::mt19937_64 rng(3);
  RegionalSettings long_symbol{',', '.', "0123456789ABCDEF", 0, 14};
  for (int i = 0; i < 20000; ++i) {
    std::uint64_t bits = rng();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    char out[kMaxText + 1];
    int d = static_cast<int>(rng() % 20);
    int p = static_cast<int>(rng() % 20);
    ASSERT_LE(format_float(v, german(), out), kMaxText);
    ASSERT_LE(format_fixed(v, p, d, german(), out), kMaxText);
    ASSERT_LE(format_currency(v, d, long_symbol, out), kMaxText);
    ASSERT_LE(format_currency(-std::fabs(v) * 1e-300, 18, long_symbol, out), kMaxText);
  }
  char out[kMaxText + 1];
  // The longest: eighteen integer digits, eighteen decimals, a 16-byte symbol, parentheses.
  EXPECT_EQ(format_currency(-999999999999999872.0, 18, long_symbol, out), 61u);
  EXPECT_STREQ(out, "(0123456789ABCDEF 999.999.999.999.999.872,000000000000000000)");
}

}  // namespace
}  // namespace ferrolib

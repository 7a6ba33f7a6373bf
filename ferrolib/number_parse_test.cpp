#include "ferrolib/number_parse.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ferrolib/ferrolib.h"

namespace ferrolib {
namespace {

constexpr std::int64_t kIndefinite = std::numeric_limits<std::int64_t>::min();

TEST(StringToFloat, TableWithComma) {
  struct Case {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"1.234,56", true, 1234.56}, {"EUR -12,50", true, -12.5},
      {"12-3", false, 0},          {"", false, 0},
      {"abc", false, 0},           {",", true, 0},
      {"1E3", true, 13},
  };
  for (const auto& c : cases) {
    auto v = parse_float(c.text, ',');
    ASSERT_EQ(v.has_value(), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(*v, c.value) << c.text;
    }
  }
}

TEST(StringToFloat, TableWithPoint) {
  EXPECT_FALSE(parse_float("1,5", '.'));
  ASSERT_TRUE(parse_float("1.5", '.'));
  EXPECT_EQ(*parse_float("1.5", '.'), 15);
}

TEST(StringToFloat, ParseRules) {
  EXPECT_FALSE(parse_float("-", ','));    // nothing after the sign
  EXPECT_FALSE(parse_float("--1", ','));  // a second minus
  EXPECT_FALSE(parse_float("1-", ','));
  EXPECT_FALSE(parse_float("1,2,3", ','));  // a second separator
  EXPECT_FALSE(parse_float(nullptr, ','));
  EXPECT_EQ(*parse_float("-,5", ','), -0.5);
  EXPECT_EQ(*parse_float("5,", ','), 5);
  EXPECT_EQ(*parse_float(" + 1 2 3 ", ','), 123);  // blanks and plus signs are dropped
  EXPECT_EQ(*parse_float("0000,0010", ','), 0.001);
  EXPECT_TRUE(std::signbit(*parse_float("-0", ',')));  // negated after a leading minus
  EXPECT_EQ(*parse_float("1.000.000", ','), 1e6);
}

TEST(StringToFloat, RoundsCorrectly) {
  // Values beyond 53 bits and beyond 19 digits: the nearest double, as strtod gives it.
  const char* texts[] = {
      "9007199254740993",    "0,1", "123456789012345678901234567890", "2,2250738585072011",
      "0,30000000000000004",
  };
  const std::string largest = "17976931348623157" + std::string(292, '0');  // DBL_MAX, rounded
  const std::string beyond = "17976931348623159" + std::string(292, '0');   // rounds to infinity
  std::vector<std::string> all(std::begin(texts), std::end(texts));
  all.push_back(largest);
  all.push_back("0," + std::string(323, '0') + "49406564584124654");  // the smallest subnormal
  all.push_back("0," + std::string(310, '0') + "123456789");          // a subnormal
  for (const std::string& t : all) {
    std::string c = t;
    for (char& ch : c) {
      if (ch == ',') ch = '.';
    }
    auto v = parse_float(t.c_str(), ',');
    ASSERT_TRUE(v) << t;
    EXPECT_EQ(*v, std::strtod(c.c_str(), nullptr)) << t;
  }
  EXPECT_EQ(*parse_float(largest.c_str(), ','), 1.7976931348623157e308);
  EXPECT_FALSE(parse_float(beyond.c_str(), ','));
  EXPECT_EQ(*parse_float(all[all.size() - 2].c_str(), ','), 4.9406564584124654e-324);
  std::mt19937_64 rng(5);
  for (int i = 0; i < 100000; ++i) {
    char text[64], c_text[64];
    std::uint64_t mantissa = rng() >> (rng() % 64);
    int decimals = static_cast<int>(rng() % 25);
    std::snprintf(c_text, sizeof c_text, "%llu", static_cast<unsigned long long>(mantissa));
    std::string s = c_text;
    if (decimals > 0) {
      if (static_cast<int>(s.size()) <= decimals) s.insert(0, decimals - s.size() + 1, '0');
      s.insert(s.size() - decimals, ",");
    }
    std::snprintf(text, sizeof text, "%s", s.c_str());
    for (char& ch : s) {
      if (ch == ',') ch = '.';
    }
    auto v = parse_float(text, ',');
    ASSERT_TRUE(v) << text;
    ASSERT_EQ(*v, std::strtod(s.c_str(), nullptr)) << text;
  }
}

TEST(StringToFloat, RangeLimits) {
  std::string huge = "1" + std::string(400, '0');
  EXPECT_FALSE(parse_float(huge.c_str(), ','));
  std::string tiny = "0," + std::string(400, '0') + "1";
  auto v = parse_float(tiny.c_str(), ',');
  ASSERT_TRUE(v);  // too small for a double: a zero
  EXPECT_EQ(*v, 0.0);
  v = parse_float(("-" + tiny).c_str(), ',');
  ASSERT_TRUE(v);
  EXPECT_TRUE(std::signbit(*v));
  std::string zeros = std::string(5000, '0') + "," + std::string(5000, '0');
  EXPECT_EQ(*parse_float(zeros.c_str(), ','), 0.0);
}

TEST(StringToCurrency, Examples) {
  EXPECT_EQ(*parse_currency("12,34567", ','), 12.3457);
  EXPECT_EQ(*parse_currency("0,00005", ','), 0.0);
}

TEST(StringToCurrency, RoundsTiesToEvenAtFourPlaces) {
  EXPECT_EQ(*parse_currency("0,00015", ','), 0.0002);
  EXPECT_EQ(*parse_currency("0,00025", ','), 0.0002);
  EXPECT_EQ(*parse_currency("0,000250001", ','), 0.0003);
  EXPECT_EQ(*parse_currency("-0,00015", ','), -0.0002);
  EXPECT_EQ(*parse_currency("1.234,5", ','), 1234.5);
  EXPECT_EQ(*parse_currency("EUR -12,50", ','), -12.5);
  EXPECT_FALSE(std::signbit(*parse_currency("-0,00001", ',')));  // the integer 0 has no sign
  EXPECT_FALSE(parse_currency("12-3", ','));
  EXPECT_FALSE(parse_currency("", ','));
  EXPECT_EQ(*parse_currency(",", ','), 0.0);
}

TEST(StringToCurrency, Range) {
  // 922,337,203,685,477.5807 is the largest amount; .5808 and more fail, with either sign.
  auto top = parse_currency("922337203685477,5807", ',');
  ASSERT_TRUE(top);
  EXPECT_EQ(*top, 922337203685477.5807);
  EXPECT_FALSE(parse_currency("922337203685477,5808", ','));
  EXPECT_FALSE(parse_currency("-922337203685477,5808", ','));
  EXPECT_FALSE(parse_currency("922337203685477,58075", ','));  // rounds up to 2^63
  EXPECT_TRUE(parse_currency("922337203685477,58074", ','));
  EXPECT_FALSE(parse_currency("99999999999999999999999999", ','));
  std::string zeros = std::string(3000, '0') + "1,5";
  EXPECT_EQ(*parse_currency(zeros.c_str(), ','), 1.5);
}

TEST(PDouble2Int, TiesToEven) {
  struct Case {
    double v;
    std::int64_t want;
  } cases[] = {
      {2.5, 2},
      {3.5, 4},
      {-2.5, -2},
      {2.6, 3},
      {-2.6, -3},
      {0.5, 0},
      {-0.5, 0},
      {1.5, 2},
      {0.49999999999999994, 0},
      {4503599627370497.0, 4503599627370497},
      {-9223372036854775808.0, std::numeric_limits<std::int64_t>::min()},
      {9223372036854774784.0, 9223372036854774784},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(round_to_int64(c.v), c.want) << c.v;
    EXPECT_EQ(_PDouble2Int(&c.v), c.want) << c.v;
  }
}

TEST(PDouble2Int, InvalidValuesGiveIndefinite) {
  for (double v :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 9223372036854775808.0, 1e300,
        -9223372036854777856.0, -1e300}) {
    EXPECT_EQ(round_to_int64(v), kIndefinite) << v;
  }
  EXPECT_EQ(_PDouble2Int(nullptr), kIndefinite);
}

TEST(PDouble2Int, IgnoresTheCallersRoundingMode) {
  const int saved = std::fegetround();
  for (int mode : {FE_UPWARD, FE_DOWNWARD, FE_TOWARDZERO}) {
    std::fesetround(mode);
    volatile double v = 2.5;
    EXPECT_EQ(round_to_int64(v), 2);
    v = -3.5;
    EXPECT_EQ(round_to_int64(v), -4);
  }
  std::fesetround(saved);
}

}  // namespace
}  // namespace ferrolib

#pragma once
// Number to text: the decimal expansion, the general, fixed and currency forms. Pure functions:
// the regional settings are passed in, so that every case can be a unit test.

#include <cstddef>
#include <string>
#include <string_view>

#include "ferrolib/regional.h"

namespace ferrolib {

// Output buffers must hold kMaxText + 1 bytes; no form is longer (a currency symbol of at most
// 16 bytes included).
constexpr std::size_t kMaxText = 63;

// Decimals value meaning "unlimited" (the general form).
constexpr int kUnlimitedDecimals = 1 << 20;

// Steps 1 to 6 of the decimal expansion: digits d1.. (trailing zeros dropped) and E with
// value = 0.d1 d2 ... x 10^E. Zero has no digits, exponent 0 and no sign.
struct Expansion {
  enum Kind { kFinite, kInfinite, kNaN };
  Kind kind = kFinite;
  bool negative = false;
  int exponent = 0;
  int count = 0;
  char digits[18] = {};
};

// `precision` is used as given (the exports limit it to 2..18); `decimals` >= 0 or
// kUnlimitedDecimals.
Expansion expand(double v, int precision, int decimals);

// Each writes the text and a NUL into `out` and returns the text's length.
// General form with precision P and minimum exponent width X.
std::size_t format_general(const Expansion& x, int precision, int min_exponent_digits,
                           const RegionalSettings& rs, char* out);
// _FloatToString: general form, precision 15, X = 0.
std::size_t format_float(double v, const RegionalSettings& rs, char* out);
// _FloatStr: fixed form; precision limited to 2..18, decimals to 0..18 (negative counts as 0).
std::size_t format_fixed(double v, int precision, int decimals, const RegionalSettings& rs,
                         char* out);
// _CurrencyToString: currency form, precision 18, decimals limited to 0..18.
std::size_t format_currency(double v, int decimals, const RegionalSettings& rs, char* out);

// Swaps every ',' and '.' of a NUL-terminated text in one pass (_FloatToStringE).
void swap_comma_and_point(char* text);

// Amount and symbol arranged by Windows' positive format (0..3, above 3 counts as 3) or, for a
// negative amount, negative format (0..15, above 15 counts as 15).
std::string arrange_currency(bool negative, std::string_view amount, std::string_view symbol,
                             int positive_format, int negative_format);

}  // namespace ferrolib

#pragma once
// Text to number (_StringToFloat, _StringToCurrency) and the rounding helper
// (_PDouble2Int). Pure: the decimal separator is passed in.

#include <cstdint>
#include <optional>

namespace ferrolib {

// Only ',', '-' and digits are kept; then an optional leading minus, digits, and, if the next
// character is `decimal`, it and more digits; nothing may be left over, and something must follow
// the sign. The value is exact until the final rounding: correctly rounded to the nearest double
// (more than a 64-bit mantissa would give). Too large fails; too small for a double
// gives a zero of its sign. Nothing on failure.
std::optional<double> parse_float(const char* text, char decimal);

// The same text rules; the exact value times 10,000, rounded to an integer (ties to even), must
// stay below 2^63 in magnitude; the result is that integer / 10,000, correctly rounded.
std::optional<double> parse_currency(const char* text, char decimal);

// Nearest integer, ties to even, independent of the floating-point rounding mode. NaN,
// infinities and values outside the signed 64-bit range give INT64_MIN.
std::int64_t round_to_int64(double v);

}  // namespace ferrolib

#include "ferrolib/number_parse.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace ferrolib {
namespace {

// The kept characters of a text, parsed: all digits in order (integer part, then fraction) and
// how many of them follow the decimal separator.
struct DecimalText {
  bool negative = false;
  std::string digits;
  std::size_t fraction_digits = 0;
};

bool scan(const char* text, char decimal, DecimalText& out) {
  if (text == nullptr) return false;
  bool in_fraction = false, consumed = false;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (c >= '0' && c <= '9') {
      out.digits += c;
      if (in_fraction) ++out.fraction_digits;
      consumed = true;
    } else if (c == '-') {
      if (consumed || out.negative) return false;  // only one, and only in front
      out.negative = true;
    } else if (c == ',') {
      if (c != decimal || in_fraction) return false;  // a comma that is no separator, or a second
      in_fraction = true;
      consumed = true;
    }
    // every other character is dropped
  }
  return consumed;
}

constexpr double kExactPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                  1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                  1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// digits x 10^-fraction_digits, correctly rounded; nothing when too large for a double.
std::optional<double> decimal_value(const std::string& all, std::size_t fraction_digits) {
  // Drop leading zeros and the fraction's trailing zeros: neither changes the value.
  std::size_t first = all.find_first_not_of('0');
  if (first == std::string::npos) return 0.0;
  std::size_t last = all.size();
  while (fraction_digits > 0 && all[last - 1] == '0') {
    --last;
    --fraction_digits;
  }
  const std::size_t count = last - first;
  // Fast path (Clinger): an integer of at most 2^53 and an exact power of ten give one rounding.
  if (count <= 19 && fraction_digits <= 22) {
    std::uint64_t w = 0;
    for (std::size_t i = first; i < last; ++i) w = w * 10 + static_cast<unsigned>(all[i] - '0');
    if (w <= (std::uint64_t{1} << 53)) {
      return static_cast<double>(w) / kExactPow10[fraction_digits];
    }
  }
  std::string sci(all, first, count);
  sci += "e-";
  sci += std::to_string(fraction_digits);
  double v = 0;
  auto [ptr, ec] = std::from_chars(sci.data(), sci.data() + sci.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Either side of the range: digits before the point mean too large, else too small (0).
    if (count > fraction_digits) return std::nullopt;
    return 0.0;
  }
  if (ec != std::errc() || ptr != sci.data() + sci.size()) return std::nullopt;
  return v;
}

}  // namespace

std::optional<double> parse_float(const char* text, char decimal) {
  if (text == nullptr) return std::nullopt;
  // Fast path, one pass without a copy: the rules of scan() with the digits gathered into an
  // integer. Up to 19 significant digits, an integer of at most 2^53 and at most 22 decimals
  // give the value in one correct rounding; anything else goes the long way below.
  bool negative = false, in_fraction = false, consumed = false, overflow = false;
  std::uint64_t w = 0;
  int significant = 0;
  std::size_t fraction_digits = 0;
  for (const char* p = text; *p; ++p) {
    const char c = *p;
    const unsigned d = static_cast<unsigned char>(c) - static_cast<unsigned>('0');
    if (d < 10) {
      consumed = true;
      fraction_digits += in_fraction;
      if (significant < 19) {
        w = w * 10 + d;
        significant += w != 0;  // leading zeros are not significant
      } else {
        overflow = true;
      }
    } else if (c == '-') {
      if (consumed || negative) return std::nullopt;
      negative = true;
    } else if (c == ',') {
      if (c != decimal || in_fraction) return std::nullopt;
      in_fraction = true;
      consumed = true;
    }
  }
  if (!consumed) return std::nullopt;
  if (!overflow && w <= (std::uint64_t{1} << 53) && fraction_digits <= 22) {
    const double v = static_cast<double>(w) / kExactPow10[fraction_digits];
    return negative ? -v : v;
  }
  DecimalText t;
  if (!scan(text, decimal, t)) return std::nullopt;
  std::optional<double> v = decimal_value(t.digits, t.fraction_digits);
  if (!v) return std::nullopt;
  return t.negative ? -*v : *v;
}

std::optional<double> parse_currency(const char* text, char decimal) {
  DecimalText t;
  if (!scan(text, decimal, t)) return std::nullopt;
  // scaled = the digits up to four places after the separator; the rest decides the rounding.
  const std::size_t int_digits = t.digits.size() - t.fraction_digits;
  const std::size_t keep = int_digits + 4;
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t scaled = 0;
  for (std::size_t i = 0; i < keep; ++i) {
    unsigned d = i < t.digits.size() ? static_cast<unsigned>(t.digits[i] - '0') : 0;
    if (scaled > (kLimit - d) / 10) return std::nullopt;  // already 2^63 or more
    scaled = scaled * 10 + d;
  }
  if (keep < t.digits.size()) {
    unsigned next = static_cast<unsigned>(t.digits[keep] - '0');
    bool rest = t.digits.find_first_not_of('0', keep + 1) != std::string::npos;
    if (next > 5 || (next == 5 && (rest || (scaled & 1)))) ++scaled;
  }
  if (scaled >= kLimit) return std::nullopt;
  double v;
  if (scaled <= (std::uint64_t{1} << 53)) {
    v = static_cast<double>(scaled) / 10000.0;  // both exact: one correct rounding
  } else {
    std::string sci = std::to_string(scaled) + "e-4";
    std::from_chars(sci.data(), sci.data() + sci.size(), v);
  }
  // The integer has no negative zero.
  return t.negative && scaled != 0 ? -v : v;
}

std::int64_t round_to_int64(double v) {
  constexpr double kTwo63 = 9223372036854775808.0;
  if (!(v >= -kTwo63 && v < kTwo63)) return std::numeric_limits<std::int64_t>::min();
  double whole = std::trunc(v);
  double rest = v - whole;  // exact
  auto i = static_cast<std::int64_t>(whole);
  if (rest > 0.5 || (rest == 0.5 && (i & 1))) {
    ++i;
  } else if (rest < -0.5 || (rest == -0.5 && (i & 1))) {
    --i;
  }
  return i;
}

}  // namespace ferrolib

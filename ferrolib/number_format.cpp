#include "ferrolib/number_format.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ferrolib/decimal.h"

namespace ferrolib {
namespace {

// Appends to a caller's buffer of kMaxText + 1 bytes; never writes past kMaxText.
class Writer {
 public:
  explicit Writer(char* out) : out_(out) {}
  void put(char c) {
    if (n_ < kMaxText) out_[n_++] = c;
  }
  void put(std::string_view s) {
    std::size_t k = std::min(s.size(), kMaxText - n_);
    std::memcpy(out_ + n_, s.data(), k);
    n_ += k;
  }
  void put(char c, int times) {
    for (; times > 0; --times) put(c);
  }
  std::size_t finish() {
    out_[n_] = '\0';
    return n_;
  }

 private:
  char* out_;
  std::size_t n_ = 0;
};

// INF, -INF or NAN for a non-finite expansion; false for a finite one.
bool write_special(const Expansion& x, Writer& w) {
  if (x.kind == Expansion::kNaN) {
    w.put("NAN");
    return true;
  }
  if (x.kind == Expansion::kInfinite) {
    if (x.negative) w.put('-');
    w.put("INF");
    return true;
  }
  return false;
}

char digit_at(const Expansion& x, int i) { return i >= 0 && i < x.count ? x.digits[i] : '0'; }

void write_general(const Expansion& x, int precision, int min_exp_digits,
                   const RegionalSettings& rs, Writer& w) {
  if (write_special(x, w)) return;
  if (x.count == 0) {
    w.put('0');
    return;
  }
  if (x.negative) w.put('-');
  const int e = x.exponent;
  const std::string_view digits(x.digits, static_cast<std::size_t>(x.count));
  if (e >= -3 && e <= precision) {
    if (e <= 0) {
      w.put('0');
      w.put(rs.decimal);
      w.put('0', -e);
      w.put(digits);
    } else {
      w.put(digits.substr(0, static_cast<std::size_t>(e)));
      w.put('0', e - x.count);
      if (x.count > e) {
        w.put(rs.decimal);
        w.put(digits.substr(static_cast<std::size_t>(e)));
      }
    }
    return;
  }
  w.put(x.digits[0]);
  if (x.count > 1) {
    w.put(rs.decimal);
    w.put(digits.substr(1));
  }
  w.put('E');
  int shown = e - 1;
  if (shown < 0) w.put('-');
  unsigned mag = static_cast<unsigned>(shown < 0 ? -shown : shown);
  char buf[12];
  int len = 0;
  do {
    buf[len++] = static_cast<char>('0' + mag % 10);
    mag /= 10;
  } while (mag);
  for (int i = len; i < min_exp_digits; ++i) w.put('0');
  while (len) w.put(buf[--len]);
}

int limit(int v, int lo, int hi) { return std::clamp(v, lo, hi); }

constexpr std::uint64_t kPow10[19] = {1ull,
                                      10ull,
                                      100ull,
                                      1000ull,
                                      10000ull,
                                      100000ull,
                                      1000000ull,
                                      10000000ull,
                                      100000000ull,
                                      1000000000ull,
                                      10000000000ull,
                                      100000000000ull,
                                      1000000000000ull,
                                      10000000000000ull,
                                      100000000000000ull,
                                      1000000000000000ull,
                                      10000000000000000ull,
                                      100000000000000000ull,
                                      1000000000000000000ull};

// The `count` decimal digits of n (leading zeros included) into out[0..count), two at a time,
// in 32-bit arithmetic as soon as n fits.
void write_digits(std::uint64_t n, int count, char* out) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  int i = count;
  for (; n > 0xFFFFFFFFu; n /= 100) {  // ten digits or more, so i stays >= 2
    i -= 2;
    std::memcpy(out + i, kPairs + 2 * (n % 100), 2);
  }
  for (auto m = static_cast<std::uint32_t>(n); i > 0; m /= 100) {
    if (i == 1) {
      out[0] = static_cast<char>('0' + m);
      break;
    }
    i -= 2;
    std::memcpy(out + i, kPairs + 2 * (m % 100), 2);
  }
}

// Windows' LOCALE_ICURRENCY and LOCALE_INEGCURR patterns ('$' the symbol, 'n' the amount), piece
// by piece into `put`.
template <class Put>
void arrange(bool negative, std::string_view amount, std::string_view symbol, int positive_format,
             int negative_format, Put put) {
  static constexpr const char* kPositive[4] = {"$n", "n$", "$ n", "n $"};
  static constexpr const char* kNegative[16] = {"($n)", "-$n",  "$-n",   "$n-",  "(n$)", "-n$",
                                                "n-$",  "n$-",  "-n $",  "-$ n", "n $-", "$ n-",
                                                "$ -n", "n- $", "($ n)", "(n $)"};
  const char* pattern =
      negative ? kNegative[limit(negative_format, 0, 15)] : kPositive[limit(positive_format, 0, 3)];
  for (const char* p = pattern; *p; ++p) {
    if (*p == '$') {
      put(symbol);
    } else if (*p == 'n') {
      put(amount);
    } else {
      put(std::string_view(p, 1));
    }
  }
}

}  // namespace

Expansion expand(double v, int precision, int decimals) {
  Expansion x;
  if (std::isnan(v)) {
    x.kind = Expansion::kNaN;
    return x;
  }
  if (std::isinf(v)) {
    x.kind = Expansion::kInfinite;
    x.negative = v < 0;
    return x;
  }
  if (v == 0) return x;

  const Digits18 d = decimal_digits18(v);
  std::uint64_t n = d.digits;  // d1..d18
  int e = d.exponent;
  int count = 18;
  long r = decimals >= kUnlimitedDecimals ? 18L : static_cast<long>(e) + decimals;
  if (r < 0) return Expansion{};
  r = std::max(0L, std::min({r, static_cast<long>(precision), 18L}));
  if (r < 18) {
    // Keep d1..dR; add one unit to dR when d(R+1) >= 5 (half away from zero on the 18 digits).
    const std::uint64_t unit = kPow10[18 - r];
    const bool up = n % unit >= unit / 2;
    n /= unit;
    count = static_cast<int>(r);
    if (up && ++n == kPow10[r]) {  // the carry left d1: a single 1, one place higher
      n = 1;
      count = 1;
      ++e;
    }
  }
  if (n == 0) return Expansion{};                         // no digit left: zero, without its sign
  while (n % 100000000 == 0) n /= 100000000, count -= 8;  // drop trailing zero digits
  if (n % 10000 == 0) n /= 10000, count -= 4;
  if (n % 100 == 0) n /= 100, count -= 2;
  if (n % 10 == 0) n /= 10, count -= 1;
  x.negative = std::signbit(v);
  x.exponent = e;
  x.count = count;
  write_digits(n, count, x.digits);
  return x;
}

std::size_t format_general(const Expansion& x, int precision, int min_exponent_digits,
                           const RegionalSettings& rs, char* out) {
  Writer w(out);
  write_general(x, precision, min_exponent_digits, rs, w);
  return w.finish();
}

std::size_t format_float(double v, const RegionalSettings& rs, char* out) {
  return format_general(expand(v, 15, kUnlimitedDecimals), 15, 0, rs, out);
}

std::size_t format_fixed(double v, int precision, int decimals, const RegionalSettings& rs,
                         char* out) {
  precision = limit(precision, 2, 18);
  decimals = limit(decimals, 0, 18);
  Expansion x = expand(v, precision, decimals);
  Writer w(out);
  if (write_special(x, w)) return w.finish();
  if (x.exponent > precision) {
    write_general(x, precision, decimals <= 4 ? decimals : 0, rs, w);
    return w.finish();
  }
  if (x.negative) w.put('-');
  if (x.exponent <= 0) {
    w.put('0');
  } else {
    for (int i = 0; i < x.exponent; ++i) w.put(digit_at(x, i));
  }
  if (decimals > 0) {
    w.put(rs.decimal);
    for (int p = 0; p < decimals; ++p) w.put(digit_at(x, x.exponent + p));
  }
  return w.finish();
}

std::size_t format_currency(double v, int decimals, const RegionalSettings& rs, char* out) {
  constexpr int kPrecision = 18;  // 20 asked for, limited to 18
  decimals = limit(decimals, 0, 18);
  Expansion x = expand(v, kPrecision, decimals);
  Writer w(out);
  if (write_special(x, w)) return w.finish();
  if (x.exponent > kPrecision) {
    write_general(x, kPrecision, decimals <= 4 ? decimals : 0, rs, w);
    return w.finish();
  }
  // At most 18 integer digits with 5 separators, the decimal separator and 18 decimals.
  char amount[48];
  std::size_t len = 0;
  if (x.exponent <= 0) {
    amount[len++] = '0';
  } else {
    for (int i = 0; i < x.exponent; ++i) {
      if (i > 0 && (x.exponent - i) % 3 == 0) amount[len++] = rs.thousands;
      amount[len++] = digit_at(x, i);
    }
  }
  if (decimals > 0) {
    amount[len++] = rs.decimal;
    for (int p = 0; p < decimals; ++p) amount[len++] = digit_at(x, x.exponent + p);
  }
  arrange(x.negative, std::string_view(amount, len), rs.currency, rs.positive_format,
          rs.negative_format, [&](std::string_view piece) { w.put(piece); });
  return w.finish();
}

void swap_comma_and_point(char* text) {
  for (; *text; ++text) {
    if (*text == ',') {
      *text = '.';
    } else if (*text == '.') {
      *text = ',';
    }
  }
}

std::string arrange_currency(bool negative, std::string_view amount, std::string_view symbol,
                             int positive_format, int negative_format) {
  std::string out;
  arrange(negative, amount, symbol, positive_format, negative_format,
          [&](std::string_view piece) { out += piece; });
  return out;
}

}  // namespace ferrolib

#include "ferrolib/decimal.h"

#include <array>
#include <cstring>
#include <optional>

namespace ferrolib {
namespace {

using u128 = unsigned __int128;

constexpr std::uint64_t kPow10_17 = 100000000000000000ull;
constexpr std::uint64_t kPow10_18 = 1000000000000000000ull;
constexpr std::uint64_t kHalf = std::uint64_t{1} << 63;

// v = m * 2^q with m < 2^53 (subnormals have a smaller m).
void decompose(double v, std::uint64_t& m, int& q) {
  std::uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  int biased = static_cast<int>((bits >> 52) & 0x7FF);
  std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0) {
    m = fraction;
    q = -1074;
  } else {
    m = fraction | (std::uint64_t{1} << 52);
    q = biased - 1075;
  }
}

// floor(e * log10(2)) for |e| <= 2620.
constexpr int floor_log10_pow2(int e) { return (e * 315653) >> 20; }

// x = v * 10^k as an integer part and a fraction. `frac` is the fraction's first 64 bits and
// `sticky` says whether anything follows them. The exact computations only need the fraction
// ordered against 0 and 1/2, and may report it in that coarse form. `approx` marks a fraction
// that may be off by a few units of 2^-64 (the table path).
struct Scaled {
  std::uint64_t i = 0;
  std::uint64_t frac = 0;
  bool sticky = false;
  bool approx = false;
};

// Rounding slack of the table path in units of 2^-64 of x; the error is below 2.1 units.
constexpr std::uint64_t kSlack = 8;

// Eighteen digits from x = v * 10^(17 - est), which lies in [10^17, 10^19). Nothing when the
// table path's error leaves the rounding open.
std::optional<Digits18> round_to_18(const Scaled& s, int est) {
  std::uint64_t n = s.i;
  int e10 = est;
  if (n < kPow10_17) return std::nullopt;  // only a table error can put x below 10^17
  bool up;
  if (n >= kPow10_18) {  // nineteen digits: the last one and the fraction decide
    std::uint64_t last = n % 10;
    n /= 10;
    ++e10;
    if (s.approx && ((last == 5 && s.frac <= kSlack) || (last == 4 && s.frac >= ~kSlack))) {
      return std::nullopt;
    }
    bool rest = s.frac != 0 || s.sticky;
    up = last > 5 || (last == 5 && (rest || (n & 1)));
  } else {
    if (s.approx && s.frac >= kHalf - kSlack && s.frac <= kHalf + kSlack) return std::nullopt;
    bool above = s.frac > kHalf || (s.frac == kHalf && s.sticky);
    bool tie = s.frac == kHalf && !s.sticky;
    up = above || (tie && (n & 1));
  }
  if (up && ++n == kPow10_18) {
    n = kPow10_17;
    ++e10;
  }
  return Digits18{n, e10 + 1};
}

// --- 192-bit products --------------------------------------------------------------------------

struct U192 {
  std::uint64_t w[3];  // least significant first
};

U192 mul_64x128(std::uint64_t m, u128 t) {
  u128 lo = static_cast<u128>(m) * static_cast<std::uint64_t>(t);
  u128 hi = static_cast<u128>(m) * static_cast<std::uint64_t>(t >> 64);
  U192 r;
  r.w[0] = static_cast<std::uint64_t>(lo);
  u128 mid = (lo >> 64) + static_cast<std::uint64_t>(hi);
  r.w[1] = static_cast<std::uint64_t>(mid);
  r.w[2] = static_cast<std::uint64_t>(hi >> 64) + static_cast<std::uint64_t>(mid >> 64);
  return r;
}

// Bits [pos, pos + 64) of x; bits below 0 read as 0.
std::uint64_t window(const U192& x, int pos) {
  std::uint64_t r = 0;
  for (int i = 0; i < 3; ++i) {
    int shift = 64 * i - pos;  // where bit 0 of limb i lands in the result
    if (shift >= 64 || shift <= -64) continue;
    r |= shift >= 0 ? x.w[i] << shift : x.w[i] >> -shift;
  }
  return r;
}

// Whether any bit below pos is set.
bool any_below(const U192& x, int pos) {
  for (int i = 0; i < 3; ++i) {
    int lo = 64 * i;
    if (pos <= lo) break;
    int bits = pos - lo;
    std::uint64_t mask = bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
    if (x.w[i] & mask) return true;
  }
  return false;
}

// x = P * 2^(-s) split into integer part and fraction.
Scaled split(const U192& p, int s, bool approx) {
  Scaled r;
  r.approx = approx;
  if (s <= 0) {
    r.i = p.w[0] << -s;  // x < 2^64, so the product is small here
    return r;
  }
  r.i = window(p, s);
  r.frac = window(p, s - 64);
  r.sticky = any_below(p, s - 64);
  return r;
}

// --- Exact powers of five and the table of powers of ten -------------------------------------

constexpr std::array<u128, 56> make_pow5() {
  std::array<u128, 56> p{};
  p[0] = 1;
  for (std::size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 5;
  return p;
}
constexpr std::array<u128, 56> kPow5 = make_pow5();  // 5^55 < 2^128

// A small fixed-size unsigned big integer, enough for the exact expansion (under 1,500 bits).
class BigUint {
 public:
  static constexpr int kLimbs = 48;  // 32-bit limbs: 1,536 bits

  explicit BigUint(std::uint64_t v = 0) {
    limb_[0] = static_cast<std::uint32_t>(v);
    limb_[1] = static_cast<std::uint32_t>(v >> 32);
    used_ = limb_[1] ? 2 : limb_[0] ? 1 : 0;
  }

  void mul_small(std::uint32_t f) {
    std::uint64_t carry = 0;
    for (int i = 0; i < used_; ++i) {
      std::uint64_t t = static_cast<std::uint64_t>(limb_[i]) * f + carry;
      limb_[i] = static_cast<std::uint32_t>(t);
      carry = t >> 32;
    }
    if (carry && used_ < kLimbs) limb_[used_++] = static_cast<std::uint32_t>(carry);
  }

  void mul_pow5(int e) {
    for (; e >= 13; e -= 13) mul_small(1220703125u);  // 5^13
    std::uint32_t f = 1;
    for (; e > 0; --e) f *= 5;
    mul_small(f);
  }

  // Divides by f and returns the remainder.
  std::uint32_t div_small(std::uint32_t f) {
    std::uint64_t rem = 0;
    for (int i = used_ - 1; i >= 0; --i) {
      std::uint64_t cur = (rem << 32) | limb_[i];
      limb_[i] = static_cast<std::uint32_t>(cur / f);
      rem = cur % f;
    }
    trim();
    return static_cast<std::uint32_t>(rem);
  }

  void shl(int bits) {
    if (used_ == 0 || bits == 0) return;
    int words = bits / 32, rest = bits % 32;
    int top = used_ + words + 1;
    if (top > kLimbs) top = kLimbs;
    for (int i = top - 1; i >= 0; --i) {
      int src = i - words;
      std::uint64_t hi = src >= 0 && src < used_ ? limb_[src] : 0;
      std::uint64_t lo = src - 1 >= 0 && src - 1 < used_ ? limb_[src - 1] : 0;
      limb_[i] = rest ? static_cast<std::uint32_t>((hi << rest) | (lo >> (32 - rest)))
                      : static_cast<std::uint32_t>(hi);
    }
    used_ = top;
    trim();
  }

  void shr1() {
    for (int i = 0; i < used_; ++i) {
      std::uint32_t next = i + 1 < used_ ? limb_[i + 1] : 0;
      limb_[i] = (limb_[i] >> 1) | (next << 31);
    }
    trim();
  }

  void sub(const BigUint& o) {  // *this >= o
    std::int64_t borrow = 0;
    for (int i = 0; i < used_; ++i) {
      std::int64_t t =
          static_cast<std::int64_t>(limb_[i]) - (i < o.used_ ? o.limb_[i] : 0) - borrow;
      borrow = t < 0;
      limb_[i] = static_cast<std::uint32_t>(t + (borrow << 32));
    }
    trim();
  }

  friend int compare(const BigUint& a, const BigUint& b) {
    if (a.used_ != b.used_) return a.used_ < b.used_ ? -1 : 1;
    for (int i = a.used_ - 1; i >= 0; --i) {
      if (a.limb_[i] != b.limb_[i]) return a.limb_[i] < b.limb_[i] ? -1 : 1;
    }
    return 0;
  }

  bool is_zero() const { return used_ == 0; }

  int bit_length() const {
    if (used_ == 0) return 0;
    return 32 * (used_ - 1) + (32 - __builtin_clz(limb_[used_ - 1]));
  }

  // Bits [pos, pos + 128).
  u128 bits128(int pos) const {
    u128 r = 0;
    for (int b = 127; b >= 0; --b) {
      int at = pos + b;
      r <<= 1;
      if (at >= 0 && at / 32 < used_ && ((limb_[at / 32] >> (at % 32)) & 1)) r |= 1;
    }
    return r;
  }

 private:
  void trim() {
    while (used_ > 0 && limb_[used_ - 1] == 0) --used_;
  }

  std::uint32_t limb_[kLimbs] = {};
  int used_ = 0;
};

// 10^k ~ mant * 2^exp with 2^127 <= mant < 2^128, mant rounded down (the error is under one
// unit of mant). Made once, on first use, for every k the table path can meet.
constexpr int kTableMinK = -310;
constexpr int kTableMaxK = 350;

struct Pow10Entry {
  u128 mant;
  int exp;
};

struct Pow10Table {
  Pow10Entry e[kTableMaxK - kTableMinK + 1];
};

const Pow10Table& pow10_table() {
  static const Pow10Table table = [] {
    Pow10Table t{};
    BigUint p(1);
    for (int k = 0; k <= kTableMaxK; ++k) {
      int len = p.bit_length();
      t.e[k - kTableMinK] = {p.bits128(len - 128), len - 128};
      p.mul_small(10);
    }
    // floor(floor(a / b) / c) = floor(a / (b c)): dividing step by step stays exact.
    constexpr int kScale = 1400;
    BigUint r(1);
    r.shl(kScale);
    for (int j = 1; j <= -kTableMinK; ++j) {
      r.div_small(10);
      int len = r.bit_length();
      t.e[-j - kTableMinK] = {r.bits128(len - 128), len - 128 - kScale};
    }
    return t;
  }();
  return table;
}

// --- The three ways to x = v * 10^k --------------------------------------------------------------

// 0 <= k <= 55: x = m * 5^k * 2^(q + k), exactly.
Scaled scale_by_pow5(std::uint64_t m, int q, int k) {
  return split(mul_64x128(m, kPow5[k]), -(q + k), false);
}

// k < 0 with m * 2^(q + k) an integer below 2^128: x = (m * 2^(q + k)) / 5^-k, exactly.
std::optional<Scaled> scale_by_division(std::uint64_t m, int q, int k) {
  int j = -k;
  int shift = q - j;
  int m_bits = 64 - __builtin_clzll(m);
  if (j > 55 || shift < 0 || m_bits + shift > 127) return std::nullopt;
  u128 num = static_cast<u128>(m) << shift;
  u128 den = kPow5[j];
  Scaled s;
  s.i = static_cast<std::uint64_t>(num / den);
  u128 rem = num % den;
  // den is odd, so the fraction is never exactly 1/2; report it coarsely.
  if (rem != 0) {
    bool above_half = rem > den - rem;
    s.frac = above_half ? kHalf : 0;
    s.sticky = true;
  }
  return s;
}

// Any k: x ~ m * mant * 2^(q + exp) from the table.
Scaled scale_by_table(std::uint64_t m, int q, int k) {
  const Pow10Entry& p = pow10_table().e[k - kTableMinK];
  return split(mul_64x128(m, p.mant), -(q + p.exp), true);
}

}  // namespace

Digits18 decimal_digits18(double v) {
  std::uint64_t m;
  int q;
  decompose(v, m, q);
  int est = floor_log10_pow2(q + 63 - __builtin_clzll(m));  // floor(log10 v) or one less
  int k = 17 - est;
  std::optional<Digits18> r;
  if (k >= 0 && k <= 55) {
    r = round_to_18(scale_by_pow5(m, q, k), est);
  } else if (auto s = k < 0 ? scale_by_division(m, q, k) : std::nullopt) {
    r = round_to_18(*s, est);
  } else {
    r = round_to_18(scale_by_table(m, q, k), est);
  }
  return r ? *r : decimal_digits18_exact(v);
}

Digits18 decimal_digits18_exact(double v) {
  std::uint64_t m;
  int q;
  decompose(v, m, q);
  int est = floor_log10_pow2(q + 63 - __builtin_clzll(m));
  int k = 17 - est;
  // x = m * 2^(q + k) * 5^k = num / den.
  BigUint num(m), den(1);
  if (q + k >= 0) {
    num.shl(q + k);
  } else {
    den.shl(-(q + k));
  }
  if (k >= 0) {
    num.mul_pow5(k);
  } else {
    den.mul_pow5(-k);
  }
  // The quotient is below 10^19 < 2^64: binary long division, one bit at a time.
  BigUint shifted = den;
  shifted.shl(63);
  Scaled s;
  for (int bit = 63; bit >= 0; --bit) {
    if (compare(num, shifted) >= 0) {
      num.sub(shifted);
      s.i |= std::uint64_t{1} << bit;
    }
    shifted.shr1();
  }
  // num is now the remainder; order the fraction num/den against 1/2.
  if (!num.is_zero()) {
    BigUint twice = num;
    twice.shl(1);
    int c = compare(twice, den);
    s.frac = c >= 0 ? kHalf : 0;
    s.sticky = c != 0;  // exactly 1/2 when c == 0
  }
  return *round_to_18(s, est);
}

}  // namespace ferrolib

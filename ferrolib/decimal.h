#pragma once
// The decimal expansion behind every formatting export: eighteen significant digits of a
// double, the eighteenth correctly rounded (ties to even).

#include <cstdint>

namespace ferrolib {

// |v| = 0.d1 d2 ... d18 x 10^exponent (rounded), d1 != 0; `digits` holds d1..d18 as an integer
// in [10^17, 10^18).
struct Digits18 {
  std::uint64_t digits;
  int exponent;
};

// For finite nonzero v (the sign is ignored). Fast path: 64x128-bit products with exact
// powers of five where they fit and a 128-bit table of powers of ten elsewhere; whenever the
// table's error could decide the rounding, the exact computation below takes over.
Digits18 decimal_digits18(double v);

// The same with exact big-integer arithmetic: the fast path's fallback and its test oracle.
Digits18 decimal_digits18_exact(double v);

}  // namespace ferrolib

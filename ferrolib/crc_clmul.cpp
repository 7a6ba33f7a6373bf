// CRC folding with carry-less multiplication (PCLMULQDQ), after Intel's "Fast CRC Computation
// for Generic Polynomials Using PCLMULQDQ". The functions carry target attributes instead of
// global -m flags, so the library still runs on CPUs without the instruction; crc.cpp only calls
// them after crc_clmul_available().
//
// The idea: a 16-byte block B(x) that lies D bits before the end of the part already seen is
// congruent, modulo the CRC polynomial P, to H(x)*(x^(D+64) mod P) + L(x)*(x^D mod P), with H and
// L its 64-bit halves. Two carry-less products therefore move a block forward by D bits without
// changing the CRC; four blocks in flight keep the multiplier busy. The last folded block is fed
// through the table code, which also takes the bytes that do not fill a block. Where the CPU has
// the 512-bit form (VPCLMULQDQ with AVX-512), CRC-32 folds sixteen blocks at once.
#include "ferrolib/crc.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define FERRO_HAVE_CLMUL 1
#endif

namespace ferrolib::crc_impl {

#if FERRO_HAVE_CLMUL

namespace {

// x^n mod P, P of degree w given without its top term (normal, most significant bit first).
constexpr std::uint64_t xpow_mod(unsigned n, std::uint64_t poly, unsigned w) {
  std::uint64_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if ((r >> w) & 1) r ^= (std::uint64_t{1} << w) | poly;
  }
  return r;
}

constexpr std::uint64_t rev64(std::uint64_t v) {
  std::uint64_t r = 0;
  for (int i = 0; i < 64; ++i) r |= ((v >> i) & 1) << (63 - i);
  return r;
}

// CRC-32 works on reflected bits: a little-endian 128-bit load holds the block with x^127 in bit
// 0, and a carry-less product of two 64-bit reflected values comes out reflected and one bit
// short, which the constants absorb (x^(D+63) instead of x^(D+64), x^(D-1) instead of x^D).
constexpr std::uint64_t kPoly32 = 0x04C11DB7;
struct Fold32 {
  std::uint64_t lo, hi;  // lo multiplies the first 8 bytes of the block, hi the last 8
};
constexpr Fold32 fold32(unsigned d) {
  return {rev64(xpow_mod(d + 63, kPoly32, 32)), rev64(xpow_mod(d - 1, kPoly32, 32))};
}
constexpr Fold32 kFold32By512 = fold32(512);
constexpr Fold32 kFold32By128 = fold32(128);

// CRC-16/XMODEM works on plain bits: the block is byte-reversed after loading so that its first
// byte's top bit is bit 127, and the products need no correction.
constexpr std::uint64_t kPoly16 = 0x1021;
struct Fold16 {
  std::uint64_t lo, hi;  // lo multiplies the low half (last 8 bytes), hi the high half
};
constexpr Fold16 fold16(unsigned d) {
  return {xpow_mod(d, kPoly16, 16), xpow_mod(d + 64, kPoly16, 16)};
}
constexpr Fold16 kFold16By512 = fold16(512);
constexpr Fold16 kFold16By128 = fold16(128);

#define FERRO_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

FERRO_CLMUL_TARGET inline __m128i load(const std::uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Moves block x forward by the distance the constants k were made for.
FERRO_CLMUL_TARGET inline __m128i fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

FERRO_CLMUL_TARGET inline __m128i reverse_bytes(__m128i x) {
  const __m128i mask = _mm_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  return _mm_shuffle_epi8(x, mask);
}

}  // namespace

FERRO_CLMUL_TARGET std::uint32_t crc32_clmul(std::uint32_t reg, const std::uint8_t* p,
                                             std::size_t n) {
  if (n < 64) return crc32_slice(reg, p, n);
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold32By512.hi),
                                      static_cast<long long>(kFold32By512.lo));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold32By128.hi),
                                      static_cast<long long>(kFold32By128.lo));
  // The register enters as the first four message bytes XORed with it.
  __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i x1 = load(p + 16), x2 = load(p + 32), x3 = load(p + 48);
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = _mm_xor_si128(fold(x0, k512), load(p));
    x1 = _mm_xor_si128(fold(x1, k512), load(p + 16));
    x2 = _mm_xor_si128(fold(x2, k512), load(p + 32));
    x3 = _mm_xor_si128(fold(x3, k512), load(p + 48));
    p += 64;
    n -= 64;
  }
  __m128i x = _mm_xor_si128(fold(x0, k128), x1);
  x = _mm_xor_si128(fold(x, k128), x2);
  x = _mm_xor_si128(fold(x, k128), x3);
  while (n >= 16) {
    x = _mm_xor_si128(fold(x, k128), load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
  reg = crc32_slice(0, block, 16);
  return crc32_slice(reg, p, n);
}

FERRO_CLMUL_TARGET std::uint16_t crc16_clmul(std::uint16_t reg, const std::uint8_t* p,
                                             std::size_t n) {
  if (n < 64) return crc16_slice(reg, p, n);
  const __m128i k512 = _mm_set_epi64x(static_cast<long long>(kFold16By512.hi),
                                      static_cast<long long>(kFold16By512.lo));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold16By128.hi),
                                      static_cast<long long>(kFold16By128.lo));
  // The register enters as the first two message bytes XORed with it: bits 127..112.
  __m128i x0 = _mm_xor_si128(reverse_bytes(load(p)),
                             _mm_slli_si128(_mm_cvtsi32_si128(static_cast<int>(reg)), 14));
  __m128i x1 = reverse_bytes(load(p + 16)), x2 = reverse_bytes(load(p + 32)),
          x3 = reverse_bytes(load(p + 48));
  p += 64;
  n -= 64;
  while (n >= 64) {
    x0 = _mm_xor_si128(fold(x0, k512), reverse_bytes(load(p)));
    x1 = _mm_xor_si128(fold(x1, k512), reverse_bytes(load(p + 16)));
    x2 = _mm_xor_si128(fold(x2, k512), reverse_bytes(load(p + 32)));
    x3 = _mm_xor_si128(fold(x3, k512), reverse_bytes(load(p + 48)));
    p += 64;
    n -= 64;
  }
  __m128i x = _mm_xor_si128(fold(x0, k128), x1);
  x = _mm_xor_si128(fold(x, k128), x2);
  x = _mm_xor_si128(fold(x, k128), x3);
  while (n >= 16) {
    x = _mm_xor_si128(fold(x, k128), reverse_bytes(load(p)));
    p += 16;
    n -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), reverse_bytes(x));
  reg = crc16_slice(0, block, 16);
  return crc16_slice(reg, p, n);
}

#define FERRO_VPCLMUL_TARGET __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

namespace {
constexpr Fold32 kFold32By2048 = fold32(2048);

FERRO_VPCLMUL_TARGET inline __m512i fold512(__m512i x, __m512i k) {
  return _mm512_xor_si512(_mm512_clmulepi64_epi128(x, k, 0x00),
                          _mm512_clmulepi64_epi128(x, k, 0x11));
}
}  // namespace

FERRO_VPCLMUL_TARGET std::uint32_t crc32_vpclmul(std::uint32_t reg, const std::uint8_t* p,
                                                 std::size_t n) {
  if (n < 1024) return crc32_clmul(reg, p, n);
  // Four 512-bit registers hold sixteen blocks; each block moves forward by 256 bytes per step.
  const auto khi = static_cast<long long>(kFold32By2048.hi);
  const auto klo = static_cast<long long>(kFold32By2048.lo);
  const __m512i k2048 = _mm512_set_epi64(khi, klo, khi, klo, khi, klo, khi, klo);
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(kFold32By128.hi),
                                      static_cast<long long>(kFold32By128.lo));
  __m512i x0 = _mm512_xor_si512(_mm512_loadu_si512(p),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(reg))));
  __m512i x1 = _mm512_loadu_si512(p + 64), x2 = _mm512_loadu_si512(p + 128),
          x3 = _mm512_loadu_si512(p + 192);
  p += 256;
  n -= 256;
  while (n >= 256) {
    x0 = _mm512_xor_si512(fold512(x0, k2048), _mm512_loadu_si512(p));
    x1 = _mm512_xor_si512(fold512(x1, k2048), _mm512_loadu_si512(p + 64));
    x2 = _mm512_xor_si512(fold512(x2, k2048), _mm512_loadu_si512(p + 128));
    x3 = _mm512_xor_si512(fold512(x3, k2048), _mm512_loadu_si512(p + 192));
    p += 256;
    n -= 256;
  }
  alignas(64) __m128i lanes[16];
  _mm512_store_si512(lanes, x0);
  _mm512_store_si512(lanes + 4, x1);
  _mm512_store_si512(lanes + 8, x2);
  _mm512_store_si512(lanes + 12, x3);
  __m128i x = lanes[0];
  for (int i = 1; i < 16; ++i) x = _mm_xor_si128(fold(x, k128), lanes[i]);
  while (n >= 16) {
    x = _mm_xor_si128(fold(x, k128), load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) std::uint8_t block[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(block), x);
  reg = crc32_slice(0, block, 16);
  return crc32_slice(reg, p, n);
}

bool crc_clmul_available() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

bool crc_vpclmul_available() {
  // GCC 12's __builtin_cpu_supports does not report vpclmulqdq, so ask CPUID (leaf 7, ECX bit
  // 10); "avx512f" from the compiler's runtime also says that the OS saves the 512-bit state.
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!crc_clmul_available() || !__builtin_cpu_supports("avx512f")) return false;
  if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
  return (c >> 10) & 1;
}

#else  // no carry-less multiply on this architecture: the table code everywhere

std::uint32_t crc32_clmul(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
  return crc32_slice(reg, p, n);
}
std::uint16_t crc16_clmul(std::uint16_t reg, const std::uint8_t* p, std::size_t n) {
  return crc16_slice(reg, p, n);
}
std::uint32_t crc32_vpclmul(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
  return crc32_slice(reg, p, n);
}
bool crc_clmul_available() { return false; }
bool crc_vpclmul_available() { return false; }

#endif

}  // namespace ferrolib::crc_impl

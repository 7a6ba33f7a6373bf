#include "ferrolib/crc.h"

#include <cstring>

namespace ferrolib {
namespace {

// Slicing tables: t[0] is the one-byte table; t[k][b] is the register after the byte b followed by
// k zero bytes, so sixteen bytes can be looked up independently and combined with XOR.
constexpr int kSlices = 16;
struct Crc16Tables {
  std::uint16_t t[kSlices][256];
};
struct Crc32Tables {
  std::uint32_t t[kSlices][256];
};

constexpr Crc16Tables make_crc16_tables() {
  Crc16Tables r{};
  for (unsigned n = 0; n < 256; ++n) {
    std::uint16_t c = static_cast<std::uint16_t>(n << 8);
    for (int bit = 0; bit < 8; ++bit) {
      c = static_cast<std::uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : (c << 1));
    }
    r.t[0][n] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (unsigned n = 0; n < 256; ++n) {
      std::uint16_t prev = r.t[k - 1][n];
      r.t[k][n] = static_cast<std::uint16_t>((prev << 8) ^ r.t[0][prev >> 8]);
    }
  }
  return r;
}

constexpr Crc32Tables make_crc32_tables() {
  Crc32Tables r{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : (c >> 1);
    r.t[0][n] = c;
  }
  for (int k = 1; k < kSlices; ++k) {
    for (unsigned n = 0; n < 256; ++n) {
      std::uint32_t prev = r.t[k - 1][n];
      r.t[k][n] = (prev >> 8) ^ r.t[0][prev & 0xFF];
    }
  }
  return r;
}

alignas(64) constexpr Crc16Tables kT16 = make_crc16_tables();
alignas(64) constexpr Crc32Tables kT32 = make_crc32_tables();

static_assert(kT16.t[0][1] == 0x1021 && kT16.t[0][128] == 0x9188 && kT16.t[0][255] == 0x1EF0);
static_assert(kT32.t[0][1] == 0x77073096 && kT32.t[0][128] == 0xEDB88320 &&
              kT32.t[0][255] == 0x2D02EF8D);

inline std::uint64_t load_le64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}

using Crc16Fn = std::uint16_t (*)(std::uint16_t, const std::uint8_t*, std::size_t);
using Crc32Fn = std::uint32_t (*)(std::uint32_t, const std::uint8_t*, std::size_t);

struct Dispatch {
  Crc16Fn crc16;
  Crc32Fn crc32;
  const char* name;
};

Dispatch choose() {
  if (crc_impl::crc_vpclmul_available()) {
    return {crc_impl::crc16_clmul, crc_impl::crc32_vpclmul, "vpclmulqdq"};
  }
  if (crc_impl::crc_clmul_available()) {
    return {crc_impl::crc16_clmul, crc_impl::crc32_clmul, "pclmulqdq"};
  }
  return {crc_impl::crc16_slice, crc_impl::crc32_slice, "slice16"};
}

// Chosen once; a function-local static so that no static-initialisation order can bite.
const Dispatch& dispatch() {
  static const Dispatch d = choose();
  return d;
}

}  // namespace

const std::uint16_t (&kCrc16Table)[256] = kT16.t[0];
const std::uint32_t (&kCrc32Table)[256] = kT32.t[0];

namespace crc_impl {

std::uint16_t crc16_bytewise(std::uint16_t reg, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    unsigned index = ((reg >> 8) ^ p[i]) & 0xFF;
    reg = static_cast<std::uint16_t>(kT16.t[0][index] ^ (reg << 8));
  }
  return reg;
}

std::uint16_t crc16_slice(std::uint16_t reg, const std::uint8_t* p, std::size_t n) {
  const auto& t = kT16.t;
  while (n >= 16) {
    const unsigned b0 = p[0] ^ (reg >> 8);
    const unsigned b1 = p[1] ^ (reg & 0xFF);
    reg = static_cast<std::uint16_t>(t[15][b0] ^ t[14][b1] ^ t[13][p[2]] ^ t[12][p[3]] ^
                                     t[11][p[4]] ^ t[10][p[5]] ^ t[9][p[6]] ^ t[8][p[7]] ^
                                     t[7][p[8]] ^ t[6][p[9]] ^ t[5][p[10]] ^ t[4][p[11]] ^
                                     t[3][p[12]] ^ t[2][p[13]] ^ t[1][p[14]] ^ t[0][p[15]]);
    p += 16;
    n -= 16;
  }
  return crc16_bytewise(reg, p, n);
}

std::uint32_t crc32_bytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) reg = kT32.t[0][(reg ^ p[i]) & 0xFF] ^ (reg >> 8);
  return reg;
}

std::uint32_t crc32_slice(std::uint32_t reg, const std::uint8_t* p, std::size_t n) {
  const auto& t = kT32.t;
  while (n >= 16) {
    const std::uint64_t a = load_le64(p) ^ reg;
    const std::uint64_t b = load_le64(p + 8);
    reg = t[15][a & 0xFF] ^ t[14][(a >> 8) & 0xFF] ^ t[13][(a >> 16) & 0xFF] ^
          t[12][(a >> 24) & 0xFF] ^ t[11][(a >> 32) & 0xFF] ^ t[10][(a >> 40) & 0xFF] ^
          t[9][(a >> 48) & 0xFF] ^ t[8][a >> 56] ^ t[7][b & 0xFF] ^ t[6][(b >> 8) & 0xFF] ^
          t[5][(b >> 16) & 0xFF] ^ t[4][(b >> 24) & 0xFF] ^ t[3][(b >> 32) & 0xFF] ^
          t[2][(b >> 40) & 0xFF] ^ t[1][(b >> 48) & 0xFF] ^ t[0][b >> 56];
    p += 16;
    n -= 16;
  }
  return crc32_bytewise(reg, p, n);
}

const char* crc_path_name() { return dispatch().name; }

}  // namespace crc_impl

std::uint16_t crc16_update(std::uint16_t reg, const void* data, std::size_t n) {
  if (n == 0) return reg;
  return dispatch().crc16(reg, static_cast<const std::uint8_t*>(data), n);
}

std::uint32_t crc32_update(std::uint32_t reg, const void* data, std::size_t n) {
  if (n == 0) return reg;
  return dispatch().crc32(reg, static_cast<const std::uint8_t*>(data), n);
}

}  // namespace ferrolib

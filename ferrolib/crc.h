#pragma once
// CRC-16/XMODEM and CRC-32 (zlib, PKZIP). The results are those of the one-byte table loops; the
// work is done several bytes per step: carry-less multiplication folding (PCLMULQDQ) where the CPU
// has it, chosen at run time, else slicing-by-16 tables.

#include <cstddef>
#include <cstdint>

namespace ferrolib {

// The two 256-entry tables (entry n = remainder of the byte n).
extern const std::uint16_t (&kCrc16Table)[256];
extern const std::uint32_t (&kCrc32Table)[256];

// CRC-16/XMODEM register after `n` more bytes (no reflection, no final XOR); start with 0.
std::uint16_t crc16_update(std::uint16_t reg, const void* data, std::size_t n);

// CRC-32 register after `n` more bytes, without the final complement; start with 0xFFFFFFFF
// and complement the end result.
std::uint32_t crc32_update(std::uint32_t reg, const void* data, std::size_t n);

inline std::uint16_t crc16(const void* data, std::size_t n) { return crc16_update(0, data, n); }
inline std::uint32_t crc32(const void* data, std::size_t n) {
  return ~crc32_update(0xFFFFFFFFu, data, n);
}

// The single implementations, for tests and benchmarks. The clmul ones may only be called when
// crc_clmul_available() is true, the vpclmul one when crc_vpclmul_available() is.
namespace crc_impl {
std::uint16_t crc16_bytewise(std::uint16_t reg, const std::uint8_t* p, std::size_t n);
std::uint16_t crc16_slice(std::uint16_t reg, const std::uint8_t* p, std::size_t n);
std::uint16_t crc16_clmul(std::uint16_t reg, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32_bytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32_slice(std::uint32_t reg, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32_clmul(std::uint32_t reg, const std::uint8_t* p, std::size_t n);
std::uint32_t crc32_vpclmul(std::uint32_t reg, const std::uint8_t* p, std::size_t n);
bool crc_clmul_available();
bool crc_vpclmul_available();  // 512-bit carry-less multiply (AVX-512 VPCLMULQDQ)
// Name of the path crc16_update/crc32_update take on this machine: "vpclmulqdq",
// "pclmulqdq" or "slice16".
const char* crc_path_name();
}  // namespace crc_impl

}  // namespace ferrolib

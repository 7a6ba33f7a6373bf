#include "ferrolib/crc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "ferrolib/ferrolib.h"
#include "ferrolib/testing/pe_builder.h"

namespace ferrolib {
namespace {

// The one-byte table loops, written out once more as the reference.
std::uint16_t reference_crc16(const std::string& s) {
  std::uint16_t crc = 0;
  for (unsigned char b : s) {
    crc = static_cast<std::uint16_t>(kCrc16Table[((crc >> 8) ^ b) & 0xFF] ^ ((crc << 8) & 0xFFFF));
  }
  return crc;
}

std::uint32_t reference_crc32(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = 0; i < n; ++i) crc = kCrc32Table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFF;
}

TEST(Crc, TablesHoldThePublishedEntries) {
  EXPECT_EQ(kCrc16Table[0], 0);
  EXPECT_EQ(kCrc16Table[1], 0x1021);
  EXPECT_EQ(kCrc16Table[128], 0x9188);
  EXPECT_EQ(kCrc16Table[255], 0x1EF0);
  EXPECT_EQ(kCrc32Table[0], 0u);
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(kCrc32Table[128], 0xEDB88320u);
  EXPECT_EQ(kCrc32Table[255], 0x2D02EF8Du);
}

TEST(Crc, CheckValuesOfTheExports) {
  struct Case {
    const char* text;
    std::uint32_t crc16, crc32;
  } cases[] = {
      {"", 0, 0},
      {"123456789", 0x31C3, 0xCBF43926},
      {"abc", 0x9DD6, 0x352441C2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(qvx_CRC16(c.text), c.crc16) << c.text;
    EXPECT_EQ(qvx_CRC32(c.text), c.crc32) << c.text;
  }
}

TEST(Crc, TextEndsAtTheFirstNul) {
  const char text[] = "abc\0def";
  EXPECT_EQ(qvx_CRC16(text), 0x9DD6u);
  EXPECT_EQ(qvx_CRC32(text), 0x352441C2u);
}

TEST(Crc, BytesAbove127AreUnsigned) {
  const std::string e4 = "\xE4";
  const auto* p = reinterpret_cast<const std::uint8_t*>(e4.data());
  EXPECT_EQ(qvx_CRC16(e4.c_str()), reference_crc16(e4));
  EXPECT_EQ(qvx_CRC32(e4.c_str()), reference_crc32(p, 1));
  // Sign extension of 0xE4 would index the tables with a negative value; pin the values.
  EXPECT_EQ(qvx_CRC32("\xE4"), 0x7565C9ECu);  // zlib.crc32(b"\xe4")
  EXPECT_EQ(qvx_CRC16("\xE4"), 0xBDAAu);      // binascii.crc_hqx(b"\xe4", 0)
}

TEST(Crc, NullTextCountsAsEmpty) {
  EXPECT_EQ(qvx_CRC16(nullptr), 0u);
  EXPECT_EQ(qvx_CRC32(nullptr), 0u);
}

TEST(Crc, UpperHalfOfCrc16IsZero) {
  EXPECT_EQ(qvx_CRC16("123456789") >> 16, 0u);
  EXPECT_EQ(qvx_CRC16("\xFF\xFF\xFF") >> 16, 0u);
}

// Every implementation against the byte loop, at every length around the block and lane sizes
// and at every alignment, continuing from arbitrary registers.
TEST(Crc, AllPathsAgreeWithTheByteLoop) {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data(5000);
  for (auto& b : data) b = static_cast<std::uint8_t>(rng());
  const bool clmul = crc_impl::crc_clmul_available();
  const bool vpclmul = crc_impl::crc_vpclmul_available();
  for (std::size_t offset = 0; offset < 17; ++offset) {
    for (std::size_t n = 0; n + offset <= data.size(); n += (n < 300 ? 1 : 61)) {
      const std::uint8_t* p = data.data() + offset;
      auto reg32 = static_cast<std::uint32_t>(rng());
      auto reg16 = static_cast<std::uint16_t>(rng());
      const std::uint32_t want32 = crc_impl::crc32_bytewise(reg32, p, n);
      const std::uint16_t want16 = crc_impl::crc16_bytewise(reg16, p, n);
      ASSERT_EQ(crc_impl::crc32_slice(reg32, p, n), want32) << n << "@" << offset;
      ASSERT_EQ(crc_impl::crc16_slice(reg16, p, n), want16) << n << "@" << offset;
      ASSERT_EQ(crc32_update(reg32, p, n), want32) << n << "@" << offset;
      ASSERT_EQ(crc16_update(reg16, p, n), want16) << n << "@" << offset;
      if (clmul) {
        ASSERT_EQ(crc_impl::crc32_clmul(reg32, p, n), want32) << n << "@" << offset;
        ASSERT_EQ(crc_impl::crc16_clmul(reg16, p, n), want16) << n << "@" << offset;
      }
      if (vpclmul) {
        ASSERT_EQ(crc_impl::crc32_vpclmul(reg32, p, n), want32) << n << "@" << offset;
      }
    }
  }
  std::cout << "CRC path on this machine: " << crc_impl::crc_path_name() << "\n";
}

class FileCrc : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ferrolib_crc_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::string path = dir_ + "/" + name;
    EXPECT_TRUE(testing::write_file(path, bytes));
    return path;
  }

  std::string dir_;
};

std::vector<std::uint8_t> random_bytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<std::uint8_t> v(n);
  for (auto& b : v) b = static_cast<std::uint8_t>(rng());
  return v;
}

TEST_F(FileCrc, SizesAroundTheBlock) {
  EXPECT_EQ(qvx_FileCRC32(file("empty", {}).c_str()), 0u);
  EXPECT_EQ(qvx_FileCRC32(file("digits", {'1', '2', '3', '4', '5', '6', '7', '8', '9'}).c_str()),
            0xCBF43926u);
  for (std::size_t n : {std::size_t{1}, std::size_t{65520}, std::size_t{65521}, std::size_t{65522},
                        std::size_t{2 * 65521}, std::size_t{3 * 65521 + 17}}) {
    auto bytes = random_bytes(n, static_cast<unsigned>(n));
    bytes[n / 2] = 0;  // the file's CRC covers NUL bytes
    EXPECT_EQ(qvx_FileCRC32(file("f" + std::to_string(n), bytes).c_str()),
              reference_crc32(bytes.data(), n))
        << n;
  }
}

TEST_F(FileCrc, UnopenableGivesZero) {
  EXPECT_EQ(qvx_FileCRC32((dir_ + "/missing").c_str()), 0u);
  EXPECT_EQ(qvx_FileCRC32(dir_.c_str()), 0u);  // a directory
  EXPECT_EQ(qvx_FileCRC32(""), 0u);
  EXPECT_EQ(qvx_FileCRC32(nullptr), 0u);
  // A FIFO without a writer must neither block the open nor the read.
  std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(qvx_FileCRC32(fifo.c_str()), 0u);
}

TEST_F(FileCrc, UnreadableFileGivesZero) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  std::string path = file("secret", {'x'});
  ASSERT_EQ(chmod(path.c_str(), 0), 0);
  EXPECT_EQ(qvx_FileCRC32(path.c_str()), 0u);
}

}  // namespace
}  // namespace ferrolib

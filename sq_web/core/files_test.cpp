#include "sq_web/core/files.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace ravelin {
namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::path(::testing::TempDir()) /
        ("files_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

// Bytes 0..255 repeated, so block joins in the wrong order or a lost block shows.
std::string pattern(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + i / 256) % 256);
  return s;
}

TEST_F(Files, ReadBackSizesAroundTheBlock) {
  for (size_t n : {size_t{0}, size_t{1}, size_t{10239}, size_t{10240}, size_t{10241}, size_t{20480},
                   size_t{25000}}) {
    std::string content = pattern(n);
    content.front() = n ? 'x' : content.front();
    if (n) content.back() = 'y';
    MYWRITEFILE(path("f.bin"), content);
    EXPECT_EQ(std::filesystem::file_size(path("f.bin")), n);
    EXPECT_EQ(MYREADFILE(path("f.bin")), content) << n << " bytes";
  }
}

TEST_F(Files, ReadTrimsOnlyBlanks) {
  struct Case {
    std::string content, expected;
  } cases[] = {
      {"  text\r\n", "text\r\n"},
      {"     ", ""},
      {"\t x \t", "\t x \t"},
      {std::string(" \0GIF\0 ", 7), std::string("\0GIF\0", 5)},
      {std::string(10240, ' ') + "a" + std::string(10240, ' '), "a"},
  };
  for (const auto& c : cases) {
    MYWRITEFILE(path("t"), c.content);
    EXPECT_EQ(MYREADFILE(path("t")), c.expected);
  }
}

TEST_F(Files, MissingAndUnreadable) {
  EXPECT_EQ(MYREADFILE(path("missing")), "");
  EXPECT_EQ(MYREADFILE(dir_.string()), "");
  EXPECT_EQ(read_whole_file(path("missing")), "");
}

TEST_F(Files, WriteReplacesAndFailsQuietly) {
  MYWRITEFILE(path("w"), "old content");
  MYWRITEFILE(path("w"), "");
  EXPECT_TRUE(std::filesystem::exists(path("w")));
  EXPECT_EQ(std::filesystem::file_size(path("w")), 0u);
  MYWRITEFILE(path("no/such/dir/w"), "x");  // returns normally, writes nothing
  EXPECT_FALSE(std::filesystem::exists(path("no")));
}

TEST_F(Files, AppendNeverCreatesAndKeepsOrder) {
  EXPECT_FALSE(SCHREIB_DAZU(path("absent"), "x"));
  EXPECT_FALSE(std::filesystem::exists(path("absent")));
  MYWRITEFILE(path("log"), "old\r\n");
  EXPECT_TRUE(SCHREIB_DAZU(path("log"), "one "));
  EXPECT_TRUE(SCHREIB_DAZU(path("log"), std::string("two\0", 4)));
  EXPECT_EQ(read_whole_file(path("log")), std::string("old\r\none two\0", 13));
}

}  // namespace
}  // namespace ravelin

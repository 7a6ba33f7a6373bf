#include "ferrolib/version_info.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>

#include "ferrolib/ferrolib.h"
#include "ferrolib/language_names.h"
#include "ferrolib/testing/pe_builder.h"

namespace ferrolib {
namespace {

using testing::build_pe;
using testing::Bytes;
using testing::PeLayout;
using testing::PeOptions;
using testing::put16;
using testing::put32;
using testing::version_block;

const std::string kSep = "\xFE";

std::string expected_german_text() {
  return "1.2.3.4" + kSep + "Beispiel GmbH" + kSep + "Beispielbibliothek" + kSep + "beispiel" +
         kSep + "\xC2\xA9 2024 Beispiel GmbH" + kSep + "beispiel.dll" + kSep + "Beispiel" + kSep +
         "1.2" + kSep + "German (Germany)" + kSep + "65538" + kSep + "196612" + kSep;
}

// Runs the export's work on bytes in memory with a buffer of `size` bytes; checks that nothing
// past the buffer changed.
struct Result {
  std::int32_t code;
  std::uint32_t len;
  std::string text;  // the bytes written, the NUL included
};

Result run(const Bytes& file, std::uint32_t size) {
  MemorySource source(file);
  std::string buffer(size + 16, '\x55');
  std::uint32_t len = size;
  Result r;
  r.code = get_version_info(source, buffer.data(), &len);
  r.len = len;
  for (std::size_t i = size; i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], '\x55') << "written beyond the buffer at " << i;
  }
  r.text = buffer.substr(0, r.code == 0 ? len : 0);
  return r;
}

TEST(VersionInfo, GermanLibraryPe32AndPe32Plus) {
  for (bool plus : {false, true}) {
    Bytes pe = build_pe(version_block(testing::german_library()), PeOptions{.pe32plus = plus});
    Result r = run(pe, 1000);
    ASSERT_EQ(r.code, 0) << plus;
    EXPECT_EQ(r.text, expected_german_text() + '\0');
    EXPECT_EQ(r.len, expected_german_text().size() + 1);
  }
}

TEST(VersionInfo, NoTranslation) {
  Bytes pe = build_pe(version_block(testing::no_translation()));
  Result r = run(pe, 1000);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.text, std::string(9, '\xFE') + "65538" + kSep + "196612" + kSep + '\0');
  EXPECT_EQ(r.len, 23u);
}

TEST(VersionInfo, TenByteBuffer) {
  Bytes pe = build_pe(version_block(testing::no_translation()));
  Result r = run(pe, 10);
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(r.len, 10u);
  EXPECT_EQ(r.text, std::string(8, '\xFE') + kSep + '\0');
}

TEST(VersionInfo, EveryBufferSize) {
  Bytes pe = build_pe(version_block(testing::german_library()));
  const std::string full = expected_german_text();
  for (std::uint32_t size = 0; size <= full.size() + 3; ++size) {
    Result r = run(pe, size);
    ASSERT_EQ(r.code, 0);
    if (size == 0) {
      EXPECT_EQ(r.len, 0u);
    } else if (size == 1) {
      EXPECT_EQ(r.text, std::string(1, '\0'));
    } else if (size > full.size()) {
      EXPECT_EQ(r.text, full + '\0') << size;
    } else {
      // Cut: the first size - 2 bytes, 0xFE, NUL; the buffer exactly full.
      EXPECT_EQ(r.len, size);
      EXPECT_EQ(r.text, full.substr(0, size - 2) + kSep + '\0') << size;
    }
  }
}

TEST(VersionInfo, TranslationKey) {
  EXPECT_EQ(translation_key(0x0407, 0x04E4), "040704E4");
  EXPECT_EQ(translation_key(0x0009, 0x04B0), "000904B0");
  EXPECT_EQ(translation_key(0x0C0A, 0xFDE9), "0C0AFDE9");
  EXPECT_EQ(translation_key(0, 0), "00000000");
}

TEST(VersionInfo, EnglishNeutralWithUnicodeCodePage) {
  testing::VersionContent content = testing::german_library();
  content.translation = {{0x0009, 0x04B0}};
  content.table_key = "000904b0";  // keys compare without regard to case
  auto info = read_version_info(MemorySource(build_pe(version_block(content))));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->language, "English");
  EXPECT_EQ(info->company_name, "Beispiel GmbH");
}

TEST(VersionInfo, StringsOfAnotherTranslationAreNotTaken) {
  testing::VersionContent content = testing::german_library();
  content.table_key = "040904B0";  // the strings are English, the first translation German
  auto info = read_version_info(MemorySource(build_pe(version_block(content))));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->language, "German (Germany)");
  EXPECT_EQ(info->company_name, "");
  EXPECT_EQ(info->version_ms, 0x00010002u);
}

TEST(VersionInfo, MissingPiecesStayEmpty) {
  testing::VersionContent content = testing::german_library();
  content.fixed_info = false;
  content.strings.erase(content.strings.begin());  // no CompanyName
  auto info = read_version_info(MemorySource(build_pe(version_block(content))));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->version_ms, 0u);
  EXPECT_EQ(info->version_ls, 0u);
  EXPECT_EQ(info->company_name, "");
  EXPECT_EQ(info->file_description, "Beispielbibliothek");
}

TEST(VersionInfo, OtherResourceTypesBeforeTheVersion) {
  Bytes pe = build_pe(version_block(testing::german_library()),
                      PeOptions{.pe32plus = true, .other_types_first = true});
  EXPECT_EQ(run(pe, 1000).text, expected_german_text() + '\0');
}

TEST(VersionInfo, NonBmpTextBecomesUtf8) {
  testing::VersionContent content = testing::german_library();
  content.strings[0].second =
      "Gr\xC3\xB6\xC3\x9F"
      "e \xF0\x9F\x98\x80";  // Größe 😀
  auto info = read_version_info(MemorySource(build_pe(version_block(content))));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->company_name,
            "Gr\xC3\xB6\xC3\x9F"
            "e \xF0\x9F\x98\x80");
}

TEST(VersionInfo, NotAVersionResource) {
  EXPECT_EQ(run(Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, 100).code, -1);
  EXPECT_EQ(run(Bytes{}, 100).code, -1);
  EXPECT_EQ(
      run(build_pe(version_block(testing::german_library()), {.no_resources = true}), 100).code,
      -1);
}

TEST(VersionInfo, LanguageNames) {
  EXPECT_EQ(language_name(0x0407), "German (Germany)");
  EXPECT_EQ(language_name(0x0409), "English (United States)");
  EXPECT_EQ(language_name(0x040A), "Spanish (Traditional Sort)");
  EXPECT_EQ(language_name(0x0C07), "German (Austria)");
  EXPECT_EQ(language_name(0x0009), "English");
  EXPECT_EQ(language_name(0x0007), "German");
  EXPECT_EQ(language_name(0x0000), "Language Neutral");
  EXPECT_EQ(language_name(0x7C07), "Language Neutral");
  EXPECT_EQ(language_name(0xFFFF), "Language Neutral");
}

// --- Broken files: every one must give -1 or a result, never a crash, a hang or a write beyond
// the buffer (the address sanitizer build checks the reads).

TEST(VersionInfoBroken, EveryTruncation) {
  for (bool plus : {false, true}) {
    Bytes pe = build_pe(version_block(testing::german_library()), PeOptions{.pe32plus = plus});
    for (std::size_t n = 0; n < pe.size(); ++n) {
      Bytes cut(pe.begin(), pe.begin() + static_cast<long>(n));
      Result r = run(cut, 300);
      if (r.code == 0) {
        EXPECT_LE(r.len, 300u);
      }
    }
  }
}

TEST(VersionInfoBroken, LyingOffsets) {
  PeLayout l;
  const Bytes good = build_pe(version_block(testing::german_library()), {}, &l);
  auto check = [&](auto&& mutate) {
    Bytes pe = good;
    mutate(pe);
    Result r = run(pe, 300);
    return r.code;
  };
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.e_lfanew, 0xFFFFFFF0); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.e_lfanew, 0); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put16(b, l.optional_header, 0x107); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.resource_dir, 0xFFFFF000); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.section_header + 20, 0xFFFFFF00); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.section_header + 16, 0xFFFFFFFF); }), 0);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.type_entry + 4, 0x8FFFFFFF); }), -1);
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.data_entry, 0x7FFFFFFF); }), -1);
  // A claimed size beyond the file is cut to what is there.
  EXPECT_EQ(check([&](Bytes& b) { put32(b, l.data_entry + 4, 0xFFFFFFFF); }), 0);
  // Directory entry counts far beyond the file.
  EXPECT_EQ(check([&](Bytes& b) { put16(b, l.rsrc + 14, 0xFFFF); }), 0);
  // Entries are told apart by their flag bit, not by the counts: the version entry is still found.
  EXPECT_EQ(check([&](Bytes& b) {
              put16(b, l.rsrc + 12, 0xFFFF);
              put16(b, l.rsrc + 14, 0xFFFF);
            }),
            0);
  // Sections claimed by the thousand.
  EXPECT_EQ(check([&](Bytes& b) { put16(b, l.optional_header - 18, 0xFFFF); }), -1);
}

TEST(VersionInfoBroken, LoopsInTheResourceTree) {
  PeLayout l;
  const Bytes good = build_pe(version_block(testing::german_library()), {}, &l);
  const auto rel = [&](std::size_t file_offset) {
    return static_cast<std::uint32_t>(file_offset - l.rsrc);
  };
  Bytes pe = good;
  put32(pe, l.type_entry + 4, 0x80000000u);  // the version type points back at the root
  EXPECT_EQ(run(pe, 300).code, -1);
  pe = good;
  put32(pe, l.name_dir + 16 + 4, 0x80000000u | rel(l.name_dir));  // level 2 points at itself
  EXPECT_EQ(run(pe, 300).code, -1);
  pe = good;
  put32(pe, l.lang_dir + 16 + 4, rel(l.lang_dir));  // the "data entry" is the directory itself
  EXPECT_EQ(run(pe, 300).code, -1);
  pe = good;
  put32(pe, l.type_entry + 4, rel(l.data_entry));  // no subdirectory flag where one is needed
  EXPECT_EQ(run(pe, 300).code, -1);
}

TEST(VersionInfoBroken, BadVersionBlocks) {
  // Zero-length and oversized children, lengths running past the block, keys without NUL.
  Bytes block = version_block(testing::german_library());
  std::vector<Bytes> variants;
  for (std::size_t at = 0; at + 2 <= block.size(); at += 2) {
    for (std::uint16_t v : {std::uint16_t{0}, std::uint16_t{5}, std::uint16_t{0xFFFF}}) {
      Bytes b = block;
      put16(b, at, v);
      variants.push_back(b);
    }
  }
  for (const Bytes& b : variants) {
    Result r = run(build_pe(b), 400);
    ASSERT_TRUE(r.code == 0 || r.code == -1);
    if (r.code == 0) {
      ASSERT_LE(r.len, 400u);
    }
  }
}

TEST(VersionInfoBroken, RandomMutations) {
  std::mt19937 rng(11);
  const Bytes good = build_pe(version_block(testing::german_library()), {.pe32plus = true});
  for (int i = 0; i < 3000; ++i) {
    Bytes pe = good;
    int flips = 1 + static_cast<int>(rng() % 8);
    for (int k = 0; k < flips; ++k) pe[rng() % pe.size()] = static_cast<std::uint8_t>(rng());
    Result r = run(pe, 1 + rng() % 300);
    ASSERT_TRUE(r.code == 0 || r.code == -1);
  }
}

// --- Through the export, on files.

class VersionFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ferrolib_version_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string dir_;
};

TEST_F(VersionFile, Export) {
  const std::string path = dir_ + "/beispiel.dll";
  ASSERT_TRUE(testing::write_file(path, build_pe(version_block(testing::german_library()))));
  char buffer[1000];
  std::uint32_t len = sizeof buffer;
  ASSERT_EQ(QvxGetVersionInfoEx(path.c_str(), buffer, &len), 0);
  EXPECT_EQ(std::string(buffer, len), expected_german_text() + '\0');

  const std::string text = dir_ + "/readme.txt";
  ASSERT_TRUE(testing::write_file(text, Bytes{'h', 'i'}));
  char untouched[8] = "abcdefg";
  len = sizeof untouched;
  EXPECT_EQ(QvxGetVersionInfoEx(text.c_str(), untouched, &len), -1);
  EXPECT_EQ(QvxGetVersionInfoEx((dir_ + "/missing.dll").c_str(), untouched, &len), -1);
  EXPECT_EQ(QvxGetVersionInfoEx(dir_.c_str(), untouched, &len), -1);
  EXPECT_EQ(len, sizeof untouched);
  EXPECT_STREQ(untouched, "abcdefg");
  EXPECT_EQ(QvxGetVersionInfoEx(nullptr, buffer, &len), -1);
  EXPECT_EQ(QvxGetVersionInfoEx(path.c_str(), nullptr, &len), -1);
  EXPECT_EQ(QvxGetVersionInfoEx(path.c_str(), buffer, nullptr), -1);
}

}  // namespace
}  // namespace ferrolib

#include "sq_web/core/assoc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "sq_web/core/files.h"

namespace ravelin {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

TEST(Assoc, EmptyList) {
  ASSOC a;
  EXPECT_EQ(a.len(), 0);
  EXPECT_EQ(a.dump(), "");
  EXPECT_TRUE(a.arr().empty());
  EXPECT_EQ(a.r("x", "dflt"), "dflt");
  EXPECT_EQ(a.r("", "dflt"), "dflt");
  EXPECT_EQ(a.n(std::string("x"), "none"), "none");
}

TEST(Assoc, NameRuleIsFirstPrefixMatch) {
  ASSOC a;
  a.s("COM", "1").s("COM", "2");
  EXPECT_THAT(a.arr(), ElementsAre(Pair("COM", Value("2"))));

  ASSOC b;
  b.s("COMX", "1");
  EXPECT_EQ(b.r("COM", "d"), "1");    // a stored name that begins with the sought one
  EXPECT_EQ(b.r("COMXY", "d"), "d");  // a longer sought name never matches
  EXPECT_EQ(b.r("com", "d"), "d");    // case-sensitive
  b.s("COM", "2");                    // changes COMX, adds nothing
  b.s("CO", "3");
  EXPECT_THAT(b.arr(), ElementsAre(Pair("COMX", Value("3"))));

  ASSOC c;
  c.s("mod", "1").s("sq", "4000");
  EXPECT_EQ(c.r("", "d"), "1");  // the empty name finds the first entry
  c.s("", "7");
  EXPECT_THAT(c.arr(), ElementsAre(Pair("mod", Value("7")), Pair("sq", Value("4000"))));

  ASSOC blanks;
  blanks.s("A B", "1");
  EXPECT_EQ(blanks.r("A ", "d"), "1");
  EXPECT_EQ(blanks.r("AB", "d"), "d");
}

TEST(Assoc, ReadKeepsValueKinds) {
  ASSOC a;
  a.s("n", 12.5).s("l", true).s("u", Value{});
  EXPECT_EQ(a.r("n", Value{}), Value(12.5));
  EXPECT_EQ(a.r("n", "d"), "12.5");
  EXPECT_EQ(a.r("l", "d"), "J");
  EXPECT_EQ(a.r("zz", Value(3.0)), Value(3.0));
}

TEST(Assoc, ReverseReadMatchesValuesByPrefixAndKind) {
  ASSOC a;
  a.s("COM", "1").s("BAUD", "9600").s("N", 96.0).s("L", false);
  EXPECT_EQ(a.n(std::string("96"), "none"), "BAUD");
  EXPECT_EQ(a.n(std::string(""), "none"), "COM");
  EXPECT_EQ(a.n(96.0, "none"), "N");       // numbers by value, not against texts
  EXPECT_EQ(a.n(9600.0, "none"), "none");  // a text "9600" is not the number 9600
  EXPECT_EQ(a.n(false, "none"), "L");
  EXPECT_EQ(a.n(std::string("9601"), "none"), "none");
}

TEST(Assoc, AddJoinsWithBar) {
  ASSOC a;
  a.ad("k", "first").ad("k", "second").ad("other", "x");
  EXPECT_THAT(a.arr(), ElementsAre(Pair("k", Value("first | second")), Pair("other", Value("x"))));
}

TEST(Assoc, ZapAndArrAreCopies) {
  ASSOC a;
  a.s("a", "1").s("b", "2");
  auto copy = a.arr();
  copy[0].second = "changed";
  EXPECT_EQ(a.r("a", "d"), "1");
  EXPECT_EQ(&a.zap(), &a);
  EXPECT_EQ(a.len(), 0);
  a.s("c", "3");
  EXPECT_EQ(a.len(), 1);
}

TEST(Assoc, DumpLayout) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, Value>> entries;
    std::string expected;
  } cases[] = {
      {"two texts, name column 4 wide",
       {{"COM", "1"}, {"BAUD", "9600"}},
       "COM  (C) [1]\r\nBAUD (C) [9600]\r\n"},
      {"continuation lines start under the value",
       {{"WEBPASS", "a\r\nb"}},
       "WEBPASS (C) [a\r\n            |b]\r\n"},
      {"a value ending in CR LF ends with an empty continuation",
       {{"k", "x\r\n"}},
       "k (C) [x\r\n      |]\r\n"},
      {"kind codes",
       {{"t", "x"},
        {"n", 4.0},
        {"l", true},
        {"f", false},
        {"d", Date{2026, 12, 1}},
        {"u", Value{}}},
       "t (C) [x]\r\nn (N) [4]\r\nl (L) [J]\r\nf (L) [N]\r\nd (D) [01.12.26]\r\nu (U) []\r\n"},
      {"a lone LF is not a line break", {{"k", "a\nb"}}, "k (C) [a\nb]\r\n"},
  };
  for (const auto& c : cases) {
    ASSOC a;
    for (const auto& [name, value] : c.entries) a.s(name, value);
    EXPECT_EQ(a.dump(), c.expected) << c.what;
  }
}

class SettingsFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        std::filesystem::path(::testing::TempDir()) /
        ("assoc_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  std::string path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(SettingsFile, ReadsLinesAsSpecifiedByTheFormat) {
  struct Case {
    const char* what;
    std::string content;
    std::vector<std::pair<std::string, Value>> expected;
  } cases[] = {
      {"plain", "COM|3\r\nBAUD|19200\r\n", {{"COM", "3"}, {"BAUD", "19200"}}},
      {"LF-only file is one invalid line", "COM|3\nBAUD|19200\nQ|5\n", {}},
      {"no final CR LF", "COM|5", {{"COM", "5"}}},
      {"trailing and leading blanks kept",
       "WEBPASS|abc \r\n Q | 7",
       {{"WEBPASS", "abc "}, {" Q ", " 7"}}},
      {"two bars skipped", "a|b|c\r\nd|e", {{"d", "e"}}},
      {"no bar and empty lines skipped", "\r\nnothing\r\n\r\nk|v\r\n\r\n", {{"k", "v"}}},
      {"empty name on an empty list becomes the first entry", "|x\r\nk|v", {{"", "x"}, {"k", "v"}}},
      {"empty name sets the first entry", "COM|1\r\nBAUD|2\r\n|x", {{"COM", "x"}, {"BAUD", "2"}}},
      {"later line replaces a prefix match", "COMX|1\r\nCOM|2", {{"COMX", "2"}}},
      {"lone CR stays in the value", "k|a\rb\r\n", {{"k", "a\rb"}}},
      {"NUL bytes are kept", std::string("k|a\0b", 5), {{"k", std::string("a\0b", 3)}}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    MYWRITEFILE(path("config.ini"), c.content);
    EXPECT_EQ(INI_TO_ASSOC(path("config.ini")).arr(), c.expected) << c.what;
  }
}

TEST_F(SettingsFile, MissingFileGivesEmptyOrUnchangedList) {
  EXPECT_EQ(INI_TO_ASSOC(path("missing.ini")).len(), 0);
  ASSOC given;
  given.s("keep", "1");
  EXPECT_EQ(&INI_TO_ASSOC(path("missing.ini"), given), &given);
  EXPECT_EQ(given.r("keep", "d"), "1");
  EXPECT_EQ(INI_TO_ASSOC(dir_.string()).len(), 0);  // a directory is not a settings file
}

TEST_F(SettingsFile, WriterRoundTripsAndLeavesFileAloneWhenEmpty) {
  ASSOC a;
  a.s("", "x").s("COM", "3").s("WEBPASS", " p w ").s("N", 2.0);
  ASSOC_TO_INI(path("out.ini"), a);
  EXPECT_EQ(read_whole_file(path("out.ini")), "|x\r\nCOM|3\r\nWEBPASS| p w \r\nN|2\r\n");

  ASSOC texts;
  texts.s("COM", "3").s("WEBPASS", " p w ").s("Q", "");
  ASSOC_TO_INI(path("rt.ini"), texts);
  EXPECT_EQ(INI_TO_ASSOC(path("rt.ini")).arr(), texts.arr());

  MYWRITEFILE(path("keep.ini"), "old");
  ASSOC_TO_INI(path("keep.ini"), ASSOC{});
  EXPECT_EQ(read_whole_file(path("keep.ini")), "old");
}

// Run under ThreadSanitizer: writers and readers on one list must not race, and every entry set
// by any thread is there exactly once at the end.
TEST(AssocThreads, SharedListStaysConsistent) {
  ASSOC shared;
  shared.s("mod", "1").s("sq", "4000");
  constexpr int kThreads = 6;
  constexpr int kRounds = 2000;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&shared, t] {
      std::string own = "t" + std::to_string(t);
      for (int i = 0; i < kRounds; ++i) {
        shared.s(own, std::to_string(i));
        shared.s("sq", std::to_string(i));
        (void)shared.r("mod", "d");
        (void)shared.dump();
        (void)shared.arr();
        (void)shared.n(std::string("4"), "");
        ASSOC copy = shared;
        (void)copy.len();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(shared.len(), 2 + kThreads);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(shared.r("t" + std::to_string(t), "d"), std::to_string(kRounds - 1));
  }
}

}  // namespace
}  // namespace ravelin

#include "sq_web/core/text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ravelin {
namespace {

using Pieces = std::vector<std::string>;

TEST(Split, Cases) {
  struct Case {
    std::string str, sep;
    Pieces expected;
  } cases[] = {
      {"", "|", {""}},
      {"a|b", "|", {"a", "b"}},
      {"a|", "|", {"a", ""}},
      {"|a", "|", {"", "a"}},
      {"a||b", "|", {"a", "", "b"}},
      {"abc", "|", {"abc"}},
      {"x\r\ny\r\n", "\r\n", {"x", "y", ""}},
      {"aaa", "aa", {"", "a"}},
      {"100,200,300", ",", {"100", "200", "300"}},
      {"abc", "", {"abc"}},  // an empty separator must not loop
      {std::string("a\0b", 3), std::string("\0", 1), {"a", "b"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SPLIT(c.str, c.sep), c.expected) << "'" << c.str << "' at '" << c.sep << "'";
  }
}

TEST(StringRepl, Cases) {
  struct Case {
    std::string alt, txt, neu, expected;
  } cases[] = {
      {"$reglername", "<$reglername>$reglername", "sq", "<sq>sq"},
      {"$reglername", "nothing here", "sq", "nothing here"},
      {"ab", "ab", "abab", "abab"},  // inserted text is not searched again
      {"aa", "aaa", "b", "ba"},
      {"x", "", "y", ""},
      {"", "abc", "y", "abc"},  // empty pattern: unchanged, no loop
      {"-", "a-b-c", "", "abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(STRING_REPL(c.alt, c.txt, c.neu), c.expected) << c.alt << " in " << c.txt;
  }
}

TEST(UrlDecode, Cases) {
  struct Case {
    std::string in, expected;
  } cases[] = {
      {"a+b%20c", "a b c"},
      {"%41%42", "AB"},
      {"%4a", "J"},
      {"%zz9", "!9"},
      {"100%", "100!"},
      {"%4", "\x04"},
      {"%+41",
       "\x04"
       "1"},
      {"%2B", "+"},
      {"%%41", "!1"},
      {"%25", "%"},
      {"%2541", "%41"},  // a decoded "%" starts no new escape
      {"%C3%BC", "\xC3\xBC"},
      {"%00", std::string("\0", 1)},
      {"%ff", "\xFF"},
      {"", ""},
      {"%", "!"},
      {"%%", "!"},
      {"plain", "plain"},
  };
  for (const auto& c : cases) EXPECT_EQ(URL_DECODE(c.in), c.expected) << c.in;
}

TEST(HexToDez2, Cases) {
  struct Case {
    std::string in;
    std::optional<std::uint64_t> expected;
  } cases[] = {
      {"ff", 255},
      {"0A", 10},
      {" 7 ", 7},
      {"", std::nullopt},
      {"  ", std::nullopt},
      {"G1", std::nullopt},
      {"1 2", std::nullopt},
      {"100", 256},
      {"-1", std::nullopt},
      {"FFFFFFFFFFFFFFFF", 0xFFFFFFFFFFFFFFFFull},
  };
  for (const auto& c : cases) EXPECT_EQ(HEX_TO_DEZ_2(c.in), c.expected) << "'" << c.in << "'";
  EXPECT_EQ(HEX_TO_DEZ_2(std::string(100, 'F')).has_value(), true);  // wraps, never overflows UB
}

TEST(TextToNumber, Cases) {
  struct Case {
    std::string in;
    double expected;
  } cases[] = {
      {"9600", 9600}, {"19200 ", 19200}, {"12abc", 12}, {"1,5", 1},     {"abc", 0},  {"", 0},
      {"   42", 42},  {"-7", -7},        {"+7", 7},     {"12.5", 12.5}, {".5", 0.5}, {"-.5", -0.5},
      {"5.", 5},      {"1.2.3", 1.2},    {".", 0},      {"-", 0},       {"+x", 0},   {"- 1", 0},
      {"\t5", 0},     {"0x10", 0},       {"1e5", 1},    {"007", 7},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(text_to_number(c.in), c.expected) << c.in;
  EXPECT_TRUE(std::isinf(text_to_number(std::string(400, '9'))));
}

}  // namespace
}  // namespace ravelin

#include "ferrolib/regional.h"

#include <gtest/gtest.h>
#include <locale.h>

#include <cstdlib>
#include <string>

#include "ferrolib/platform.h"

namespace ferrolib {
namespace {

TEST(Regional, PositiveFormats) {
  EXPECT_EQ(windows_positive_currency_format(1, 0), 0);  // $1.1
  EXPECT_EQ(windows_positive_currency_format(0, 0), 1);  // 1.1$
  EXPECT_EQ(windows_positive_currency_format(1, 1), 2);  // $ 1.1
  EXPECT_EQ(windows_positive_currency_format(0, 1), 3);  // 1.1 $
  EXPECT_EQ(windows_positive_currency_format(0, 2), 1);  // the blank belongs to the sign
  EXPECT_EQ(windows_positive_currency_format(PosixLocaleFacts::kUnset, 0), 0);
}

TEST(Regional, NegativeFormats) {
  struct Case {
    int cs_precedes, sep_by_space, sign_posn, windows;
  } cases[] = {
      {1, 0, 0, 0},  {1, 0, 1, 1},  {1, 0, 4, 2},
      {1, 0, 2, 3},  {0, 0, 0, 4},  {0, 0, 1, 5},
      {0, 0, 3, 6},  {0, 0, 2, 7},  {0, 0, 4, 7},
      {0, 1, 1, 8},  {1, 1, 1, 9},  {0, 1, 2, 10},
      {1, 1, 2, 11}, {1, 2, 4, 12}, {1, 1, 4, 12},
      {0, 2, 3, 13}, {1, 1, 0, 14}, {0, 1, 0, 15},
      {1, 0, 3, 1},  {1, 1, 3, 9},  {PosixLocaleFacts::kUnset, 0, 1, 0},
      {1, 5, 1, 0},  {1, 0, 9, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(windows_negative_currency_format(c.cs_precedes, c.sep_by_space, c.sign_posn),
              c.windows)
        << c.cs_precedes << "/" << c.sep_by_space << "/" << c.sign_posn;
  }
}

TEST(Regional, GermanAndAmericanLocales) {
  PosixLocaleFacts de;  // glibc's de_DE.UTF-8
  de.decimal_point = ",";
  de.thousands_sep = ".";
  de.currency_symbol = "\xE2\x82\xAC";
  de.p_cs_precedes = 0, de.p_sep_by_space = 1;
  de.n_cs_precedes = 0, de.n_sep_by_space = 1, de.n_sign_posn = 1;
  RegionalSettings s = settings_from_posix(de);
  EXPECT_EQ(s.decimal, ',');
  EXPECT_EQ(s.thousands, '.');
  EXPECT_EQ(s.currency, "\xE2\x82\xAC");
  EXPECT_EQ(s.positive_format, 3);
  EXPECT_EQ(s.negative_format, 8);

  PosixLocaleFacts us;  // glibc's en_US.UTF-8
  us.decimal_point = ".";
  us.thousands_sep = ",";
  us.currency_symbol = "$";
  us.p_cs_precedes = 1, us.p_sep_by_space = 0;
  us.n_cs_precedes = 1, us.n_sep_by_space = 0, us.n_sign_posn = 1;
  s = settings_from_posix(us);
  EXPECT_EQ(s.decimal, '.');
  EXPECT_EQ(s.thousands, ',');
  EXPECT_EQ(s.positive_format, 0);
  EXPECT_EQ(s.negative_format, 1);
}

TEST(Regional, Fallbacks) {
  RegionalSettings c = settings_from_posix(PosixLocaleFacts{".", "", "", -1, -1, -1, -1, -1});
  EXPECT_EQ(c.decimal, '.');
  EXPECT_EQ(c.thousands, ',');  // the C locale has none
  EXPECT_EQ(c.currency, "");
  EXPECT_EQ(c.positive_format, 0);
  EXPECT_EQ(c.negative_format, 0);

  RegionalSettings empty = settings_from_posix(PosixLocaleFacts{});
  EXPECT_EQ(empty.decimal, '.');
  EXPECT_EQ(empty.thousands, ',');

  // A comma decimal with no thousands separator: the fallback would repeat the comma.
  RegionalSettings comma = settings_from_posix(PosixLocaleFacts{",", "", "", -1, -1, -1, -1, -1});
  EXPECT_EQ(comma.decimal, ',');
  EXPECT_EQ(comma.thousands, '.');

  // fr_FR: U+202F narrow no-break space between thousands.
  RegionalSettings fr =
      settings_from_posix(PosixLocaleFacts{",", "\xE2\x80\xAF", "\xE2\x82\xAC", 0, 1, 0, 1, 1});
  EXPECT_EQ(fr.thousands, ' ');
  // A multi-byte decimal separator that is no blank (Arabic U+066B) falls back.
  RegionalSettings ar =
      settings_from_posix(PosixLocaleFacts{"\xD9\xAB", "\xD9\xAC", "", 1, 1, 1, 1, 1});
  EXPECT_EQ(ar.decimal, '.');
  EXPECT_EQ(ar.thousands, ',');
  // A long symbol is cut at a character boundary.
  RegionalSettings longer =
      settings_from_posix(PosixLocaleFacts{".", ",", "ABCDEFGHIJKLMNO\xE2\x82\xAC", 1, 0, 1, 0, 1});
  EXPECT_EQ(longer.currency, "ABCDEFGHIJKLMNO");
}

// The platform reads the environment's locale, whatever the program's setlocale() state is.
TEST(Regional, ReadsTheEnvironmentsLocale) {
  locale_t probe = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
  ASSERT_NE(probe, static_cast<locale_t>(nullptr))
      << "the de_DE.UTF-8 locale is missing: run scripts/setup";
  freelocale(probe);
  const char* old = std::getenv("LC_ALL");
  std::string saved = old ? old : "";
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  RegionalSettings de = platform::read_user_regional_settings();
  setenv("LC_ALL", "C", 1);
  RegionalSettings c = platform::read_user_regional_settings();
  if (old) {
    setenv("LC_ALL", saved.c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
  EXPECT_EQ(de.decimal, ',');
  EXPECT_EQ(de.thousands, '.');
  EXPECT_EQ(de.currency, "\xE2\x82\xAC");
  EXPECT_EQ(de.positive_format, 3);
  EXPECT_EQ(de.negative_format, 8);
  EXPECT_EQ(c.decimal, '.');
  EXPECT_EQ(c.thousands, ',');
  EXPECT_EQ(c.currency, "");
}

}  // namespace
}  // namespace ferrolib

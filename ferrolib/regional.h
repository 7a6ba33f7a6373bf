#pragma once
// The regional settings of the number exports and how the POSIX locale's values become them.
// Everything here is pure; reading the locale is the platform backend's job (platform.h).

#include <string>
#include <string_view>

namespace ferrolib {

struct RegionalSettings {
  char decimal = '.';       // LOCALE_SDECIMAL, first character
  char thousands = ',';     // LOCALE_STHOUSAND, first character
  std::string currency;     // LOCALE_SCURRENCY
  int positive_format = 0;  // LOCALE_ICURRENCY, 0..3
  int negative_format = 0;  // LOCALE_INEGCURR, 0..15
};

// What a POSIX locale says (struct lconv). Texts as the locale gives them; `kUnset` stands for
// CHAR_MAX, which the C locale uses for "not available".
struct PosixLocaleFacts {
  static constexpr int kUnset = -1;
  std::string decimal_point;    // LC_NUMERIC
  std::string thousands_sep;    // LC_NUMERIC
  std::string currency_symbol;  // LC_MONETARY
  int p_cs_precedes = kUnset, p_sep_by_space = kUnset;
  int n_cs_precedes = kUnset, n_sep_by_space = kUnset, n_sign_posn = kUnset;
};

// Windows' positive currency format 0..3 for the POSIX placement of the symbol before (1) or
// after (0) the amount and its separation (1 = blank between symbol and amount); 0 when unset.
int windows_positive_currency_format(int cs_precedes, int sep_by_space);

// Windows' negative currency format 0..15 for POSIX n_cs_precedes, n_sep_by_space and
// n_sign_posn (0 parentheses, 1 sign before all, 2 sign after all, 3 sign just before the symbol,
// 4 sign just after the symbol); the nearest Windows format where POSIX can say more (a blank
// between sign and symbol); 0 when unset.
int windows_negative_currency_format(int cs_precedes, int sep_by_space, int sign_posn);

// The settings for the facts, with fallbacks where the locale gives nothing usable:
// - a separator is one byte; a multi-byte separator (UTF-8) that is a kind of blank (no-break,
//   narrow no-break, thin, figure space) becomes a blank, any other the fallback;
// - the decimal separator falls back to '.', the thousands separator to ','; a thousands
//   separator equal to the decimal separator (the C locale's fallback ',' beside a locale's
//   decimal ',') becomes '.' instead, so that amounts stay readable;
// - the currency symbol is kept as the locale's bytes, cut to 16 bytes at a character boundary.
RegionalSettings settings_from_posix(const PosixLocaleFacts& facts);

}  // namespace ferrolib

#include "ferrolib/regional.h"

#include <cstdint>

namespace ferrolib {
namespace {

// The first character of a UTF-8 text as a code point and its length in bytes; 0 bytes for an
// empty or malformed text.
struct CodePoint {
  std::uint32_t value = 0;
  std::size_t bytes = 0;
};

CodePoint first_code_point(std::string_view s) {
  if (s.empty()) return {};
  auto b = static_cast<unsigned char>(s[0]);
  if (b < 0x80) return {b, 1};
  std::size_t len = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
  if (len == 0 || s.size() < len) return {};
  std::uint32_t v = b & (0x7F >> len);
  for (std::size_t i = 1; i < len; ++i) {
    auto c = static_cast<unsigned char>(s[i]);
    if ((c & 0xC0) != 0x80) return {};
    v = (v << 6) | (c & 0x3F);
  }
  return {v, len};
}

bool is_blank_like(std::uint32_t cp) {
  return cp == 0xA0 || cp == 0x2007 || cp == 0x2009 || cp == 0x202F;
}

// One byte for a separator text, or 0 when the text gives none that can be used.
char separator_byte(std::string_view s) {
  CodePoint cp = first_code_point(s);
  if (cp.bytes == 1) return static_cast<char>(cp.value);
  if (cp.bytes > 1 && is_blank_like(cp.value)) return ' ';
  return 0;
}

bool usable_decimal(char c) { return c != 0 && c != '-' && !(c >= '0' && c <= '9'); }

std::string cut_symbol(std::string_view s) {
  constexpr std::size_t kMax = 16;
  if (s.size() <= kMax) return std::string(s);
  std::size_t end = kMax;
  // Step back over continuation bytes so that no character is cut in two.
  while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
  return std::string(s.substr(0, end));
}

}  // namespace

int windows_positive_currency_format(int cs_precedes, int sep_by_space) {
  if (cs_precedes != 0 && cs_precedes != 1) return 0;
  bool blank = sep_by_space == 1;
  if (cs_precedes == 1) return blank ? 2 : 0;  // "$1.1" / "$ 1.1"
  return blank ? 3 : 1;                        // "1.1$" / "1.1 $"
}

int windows_negative_currency_format(int cs_precedes, int sep_by_space, int sign_posn) {
  if (cs_precedes != 0 && cs_precedes != 1) return 0;
  if (sep_by_space < 0 || sep_by_space > 2 || sign_posn < 0 || sign_posn > 4) return 0;
  // Windows knows only a blank between symbol and amount (or sign); POSIX's sep_by_space 2 (a
  // blank between sign and symbol) maps to the format with that blank where one exists, else to
  // the one without.
  const bool blank = sep_by_space == 1;
  // One line per case reads as the table it is.
  // clang-format off
  if (cs_precedes == 1) {
    switch (sign_posn) {
      case 0: return blank ? 14 : 0;  // ($ 1.1)  ($1.1)
      case 1:                         // sign before all, or just before the symbol:
      case 3: return blank ? 9 : 1;   // -$ 1.1  -$1.1
      case 2: return blank ? 11 : 3;  // $ 1.1-  $1.1-
      default: return sep_by_space == 0 ? 2 : 12;  // sign after the symbol: $-1.1  $ -1.1
    }
  }
  switch (sign_posn) {
    case 0: return blank ? 15 : 4;  // (1.1 $)  (1.1$)
    case 1: return blank ? 8 : 5;   // -1.1 $  -1.1$
    case 2:                         // sign after all, or just after the symbol:
    case 4: return blank ? 10 : 7;  // 1.1 $-  1.1$-
    default: return sep_by_space == 0 ? 6 : 13;  // sign before the symbol: 1.1-$  1.1- $
  }
  // clang-format on
}

RegionalSettings settings_from_posix(const PosixLocaleFacts& facts) {
  RegionalSettings s;
  char dec = separator_byte(facts.decimal_point);
  s.decimal = usable_decimal(dec) && dec != ' ' ? dec : '.';
  char th = separator_byte(facts.thousands_sep);
  s.thousands = th != 0 ? th : ',';
  if (s.thousands == s.decimal) s.thousands = s.decimal == ',' ? '.' : ',';
  s.currency = cut_symbol(facts.currency_symbol);
  s.positive_format = windows_positive_currency_format(facts.p_cs_precedes, facts.p_sep_by_space);
  s.negative_format = windows_negative_currency_format(facts.n_cs_precedes, facts.n_sep_by_space,
                                                       facts.n_sign_posn);
  return s;
}

}  // namespace ferrolib

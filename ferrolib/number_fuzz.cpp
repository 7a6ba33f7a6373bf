// Fuzzes the text-to-number conversions against strtod, and the formatting forms
// for their length limit.
//
// parse_float must agree bit for bit with the C library's correctly rounded strtod on the text
// the parse rules leave over; parse_currency must succeed only where parse_float does and stay
// within the currency range; no formatted text may pass 63 characters.
#include <locale.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "ferrolib/number_format.h"
#include "ferrolib/number_parse.h"

namespace {

// The parse rules once more, plainly, handing the number to strtod in the C locale.
std::optional<double> reference(const std::string& text, char decimal) {
  std::string kept;
  for (char c : text) {
    if ((c >= '0' && c <= '9') || c == '-' || c == ',') kept += c;
  }
  std::size_t i = 0;
  std::string number;
  if (i < kept.size() && kept[i] == '-') number += kept[i++];
  std::size_t start = i;
  while (i < kept.size() && kept[i] >= '0' && kept[i] <= '9') number += kept[i++];
  if (i < kept.size() && kept[i] == decimal) {
    number += '.';
    ++i;
    while (i < kept.size() && kept[i] >= '0' && kept[i] <= '9') number += kept[i++];
  }
  if (i == start || i != kept.size()) return std::nullopt;
  if (number == "." || number == "-.") number.insert(number.size() - 1, "0");
  if (number.back() == '.') number += '0';
  if (number[number[0] == '-' ? 1 : 0] == '.') number.insert(number[0] == '-' ? 1 : 0, "0");
  static locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  double v = strtod_l(number.c_str(), nullptr, c_locale);
  if (std::isinf(v)) return std::nullopt;
  return v;
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data),
                         strnlen(reinterpret_cast<const char*>(data), size));
  for (char decimal : {',', '.'}) {
    std::optional<double> v = ferrolib::parse_float(text.c_str(), decimal);
    std::optional<double> ref = reference(text, decimal);
    if (v.has_value() != ref.has_value()) __builtin_trap();
    if (v && !same_bits(*v, *ref)) __builtin_trap();
    std::optional<double> c = ferrolib::parse_currency(text.c_str(), decimal);
    if (c && !v) __builtin_trap();
    if (c && !(std::fabs(*c) <= 922337203685477.5807)) __builtin_trap();
  }
  if (size >= 10) {
    double d;
    std::memcpy(&d, data, sizeof d);
    ferrolib::RegionalSettings rs{static_cast<char>(data[8] & 1 ? ',' : '.'),
                                  static_cast<char>(data[8] & 2 ? '.' : ' '),
                                  std::string(data[9] & 0x0F, 'S'), data[9] >> 4 & 3, data[8] >> 2};
    char out[ferrolib::kMaxText + 1];
    int digits = static_cast<int>(data[9]) - 64;
    if (ferrolib::format_float(d, rs, out) > ferrolib::kMaxText) __builtin_trap();
    if (ferrolib::format_fixed(d, digits / 4, digits, rs, out) > ferrolib::kMaxText)
      __builtin_trap();
    if (ferrolib::format_currency(d, digits, rs, out) > ferrolib::kMaxText) __builtin_trap();
    if (std::strlen(out) > ferrolib::kMaxText) __builtin_trap();
  }
  return 0;
}

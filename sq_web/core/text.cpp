#include "sq_web/core/text.h"

#include <charconv>
#include <cmath>

namespace ravelin {

std::vector<std::string> SPLIT(std::string_view str, std::string_view chr) {
  std::vector<std::string> pieces;
  if (chr.empty()) {
    pieces.emplace_back(str);
    return pieces;
  }
  size_t p;
  while ((p = str.find(chr)) != std::string_view::npos) {
    pieces.emplace_back(str.substr(0, p));
    str.remove_prefix(p + chr.size());
  }
  pieces.emplace_back(str);
  return pieces;
}

std::string STRING_REPL(std::string_view alt, std::string_view txt, std::string_view neu) {
  if (alt.empty()) return std::string(txt);
  std::string out;
  out.reserve(txt.size());
  size_t p;
  while ((p = txt.find(alt)) != std::string_view::npos) {
    out.append(txt.substr(0, p));
    out.append(neu);
    txt.remove_prefix(p + alt.size());
  }
  out.append(txt);
  return out;
}

std::optional<std::uint64_t> HEX_TO_DEZ_2(std::string_view hex) {
  while (!hex.empty() && hex.front() == ' ') hex.remove_prefix(1);
  while (!hex.empty() && hex.back() == ' ') hex.remove_suffix(1);
  if (hex.empty()) return std::nullopt;
  std::uint64_t n = 0;
  for (char c : hex) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    n = n * 16 + static_cast<std::uint64_t>(digit);
  }
  return n;
}

std::string URL_DECODE(std::string_view txt) {
  std::string out;
  out.reserve(txt.size());
  size_t i = 0;
  while (i < txt.size()) {
    char c = txt[i];
    if (c == '+') {
      out += ' ';
      ++i;
    } else if (c == '%') {
      // The escape's characters are read after the plus signs became blanks.
      std::string digits(txt.substr(i + 1, 2));
      for (char& d : digits) {
        if (d == '+') d = ' ';
      }
      auto code = HEX_TO_DEZ_2(digits);
      out += code ? static_cast<char>(static_cast<unsigned char>(*code & 0xFF)) : '!';
      i += 3;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

double text_to_number(std::string_view txt) {
  size_t i = 0;
  while (i < txt.size() && txt[i] == ' ') ++i;
  size_t start = i;
  if (i < txt.size() && (txt[i] == '+' || txt[i] == '-')) ++i;
  size_t digits_from = i;
  bool point = false;
  size_t digits = 0;
  for (; i < txt.size(); ++i) {
    char c = txt[i];
    if (c >= '0' && c <= '9') {
      ++digits;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0;
  // from_chars takes no leading "+"; the sign is applied here.
  double value = 0;
  std::string_view number = txt.substr(digits_from, i - digits_from);
  auto res = std::from_chars(number.data(), number.data() + number.size(), value,
                             std::chars_format::fixed);
  if (res.ec == std::errc::result_out_of_range) value = HUGE_VAL;
  return txt[start] == '-' ? -value : value;
}

}  // namespace ravelin

#include "sq_web/core/value.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace ravelin {

char kind_code(const Value& v) {
  static constexpr char kCodes[] = {'U', 'C', 'N', 'L', 'D'};
  return kCodes[v.index()];
}

namespace {

std::string number_form(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Inf" : "Inf";
  char buf[64];
  // Shortest text that reads back to the same number; no locale involved.
  auto res = std::to_chars(buf, buf + sizeof buf, d);
  return std::string(buf, res.ptr);
}

}  // namespace

std::string value_text(const Value& v) {
  switch (v.index()) {
    case 1:
      return std::get<std::string>(v);
    case 2:
      return number_form(std::get<double>(v));
    case 3:
      return std::get<bool>(v) ? "J" : "N";
    case 4: {
      const Date& d = std::get<Date>(v);
      char buf[32];
      std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", d.day % 100, d.month % 100,
                    ((d.year % 100) + 100) % 100);
      return buf;
    }
    default:
      return "";
  }
}

}  // namespace ravelin

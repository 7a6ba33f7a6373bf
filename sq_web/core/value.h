#pragma once
// The value kinds an associative list can hold. Every list of this program holds texts; the
// other kinds exist so that the list's dump and the settings writer can show them.

#include <string>
#include <variant>

namespace ravelin {

struct Date {
  int year = 0;
  int month = 0;
  int day = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

// Index order matters only for kind_code(): empty, text, number, logical, date.
using Value = std::variant<std::monostate, std::string, double, bool, Date>;

// One-letter kind code: C text, N number, L logical, D date, U empty.
char kind_code(const Value& v);

// Text form of a value: a text unchanged, a number in its shortest form ("12", "0.5"), a
// logical value as "J" or "N", a date as "dd.mm.yy", the empty value as "".
std::string value_text(const Value& v);

}  // namespace ravelin

#pragma once
// Text helpers shared by the whole program. Texts are 8-bit byte strings; nothing here looks at
// the locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravelin {

// Cuts `str` at every occurrence of `chr`, left to right without overlap. Always at least one
// piece; nothing is trimmed. An empty separator gives the whole text as one piece.
std::vector<std::string> SPLIT(std::string_view str, std::string_view chr);

// Replaces every non-overlapping occurrence of `alt` in `txt` by `neu`. Note the order: the text
// to replace comes first. An empty `alt` returns `txt` unchanged.
std::string STRING_REPL(std::string_view alt, std::string_view txt, std::string_view neu);

// Decodes "+" to a blank, then "%" escapes; an escape that is not hexadecimal gives "!". The
// "%" and the two characters after it are always consumed.
std::string URL_DECODE(std::string_view txt);

// Hexadecimal digits (blanks at both ends ignored, any case) to a number; nothing when the text
// is empty or holds a non-hex character. Overlong inputs wrap modulo 2^64.
std::optional<std::uint64_t> HEX_TO_DEZ_2(std::string_view hex);

// The one rule by which a text becomes a number: leading blanks skipped, an optional sign, then
// digits with at most one decimal point; stops at the first character that does not fit; 0 when
// no number starts the text. "19200 " -> 19200, "12abc" -> 12, "1,5" -> 1, "abc" -> 0.
double text_to_number(std::string_view txt);

}  // namespace ravelin

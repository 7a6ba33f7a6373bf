#pragma once
// Names of Windows language identifiers, as VerLanguageName gives them on an English Windows:
// our replacement for that service on systems without it.

#include <cstdint>
#include <string_view>

namespace ferrolib {

// "German (Germany)" for 0x0407, "English" for the neutral 0x0009; "Language Neutral" for 0 and
// for every identifier the table does not know, as Windows does. Non-ASCII letters in UTF-8.
std::string_view language_name(std::uint16_t langid);

}  // namespace ferrolib

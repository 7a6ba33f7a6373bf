#pragma once
// The log shows its text the way the operator's console would: Windows-1252 (the program's text
// code page) converted to code page 850, and those bytes drawn as code page 850 characters.

#include <string>
#include <string_view>

namespace ravelin {

// Byte by byte, Windows-1252 to code page 850 (ANSI to OEM).
std::string ansi_to_oem(std::string_view ansi);

// The character a code page 850 byte stands for.
char16_t cp850_to_unicode(unsigned char b);

// The character a Windows-1252 byte stands for.
char16_t ansi_to_unicode(unsigned char b);

// The Windows-1252 byte of a character, or -1 when the code page has none.
int unicode_to_ansi(char16_t u);

}  // namespace ravelin

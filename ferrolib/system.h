#pragma once
// The portable parts of the system helpers; the OS calls live in platform.h.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolib {

// `code` when it is one of the seventeen accepted system colour codes (0xFF000000 plus a
// GetSysColor index), else 0.
std::uint32_t win_color(std::uint32_t code);

// The freedesktop sound-theme name for a MessageBeep type: 0x10 "dialog-error", 0x20
// "dialog-question", 0x30 "dialog-warning", 0x40 "dialog-information", everything else (0 and
// the simple beep 0xFFFFFFFF among them) "bell".
const char* beep_sound_name(std::uint32_t type);

// A Windows parameter text cut into arguments by the Microsoft C runtime's rules: blanks and
// tabs separate; double quotes group (a doubled quote inside quotes is a literal quote); 2n
// backslashes before a quote give n backslashes and the quote groups, 2n+1 give n backslashes
// and a literal quote; other backslashes are literal.
std::vector<std::string> split_command_line(std::string_view text);

// Windows error codes the helpers report.
namespace win_error {
constexpr std::uint32_t kFileNotFound = 2;
constexpr std::uint32_t kPathNotFound = 3;
constexpr std::uint32_t kInvalidHandle = 6;
constexpr std::uint32_t kAccessDenied = 5;
constexpr std::uint32_t kNotEnoughMemory = 8;
constexpr std::uint32_t kGenFailure = 31;
constexpr std::uint32_t kProcNotFound = 127;
constexpr std::uint32_t kDirectory = 267;
constexpr std::uint32_t kNoAssociation = 1155;
}  // namespace win_error

}  // namespace ferrolib

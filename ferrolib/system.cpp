#include "ferrolib/system.h"

namespace ferrolib {

std::uint32_t win_color(std::uint32_t code) {
  switch (code) {
    case 0xFF000001:  // COLOR_BACKGROUND
    case 0xFF000002:  // COLOR_ACTIVECAPTION
    case 0xFF000003:  // COLOR_INACTIVECAPTION
    case 0xFF000004:  // COLOR_MENU
    case 0xFF000005:  // COLOR_WINDOW
    case 0xFF000006:  // COLOR_WINDOWFRAME
    case 0xFF000007:  // COLOR_MENUTEXT
    case 0xFF000009:  // COLOR_CAPTIONTEXT
    case 0xFF00000A:  // COLOR_ACTIVEBORDER
    case 0xFF00000B:  // COLOR_INACTIVEBORDER
    case 0xFF00000C:  // COLOR_APPWORKSPACE
    case 0xFF00000D:  // COLOR_HIGHLIGHT
    case 0xFF00000E:  // COLOR_HIGHLIGHTTEXT
    case 0xFF000014:  // COLOR_BTNHIGHLIGHT
    case 0xFF000015:  // COLOR_3DDKSHADOW
    case 0xFF000016:  // COLOR_3DLIGHT
    case 0xFF000018:  // COLOR_INFOBK
      return code;
    default:
      return 0;
  }
}

const char* beep_sound_name(std::uint32_t type) {
  switch (type) {
    case 0x10:
      return "dialog-error";  // MB_ICONHAND
    case 0x20:
      return "dialog-question";  // MB_ICONQUESTION
    case 0x30:
      return "dialog-warning";  // MB_ICONEXCLAMATION
    case 0x40:
      return "dialog-information";  // MB_ICONASTERISK
    default:
      return "bell";  // MB_OK, the simple beep 0xFFFFFFFF, anything else
  }
}

std::vector<std::string> split_command_line(std::string_view s) {
  std::vector<std::string> args;
  std::string cur;
  bool in_arg = false, quoted = false;
  std::size_t i = 0;
  while (i < s.size()) {
    char c = s[i];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (in_arg) {
        args.push_back(cur);
        cur.clear();
        in_arg = false;
      }
      ++i;
      continue;
    }
    in_arg = true;
    if (c == '\\') {
      std::size_t k = 0;
      while (i + k < s.size() && s[i + k] == '\\') ++k;
      if (i + k < s.size() && s[i + k] == '"') {
        cur.append(k / 2, '\\');
        if (k % 2 == 1) {
          cur += '"';
          i += k + 1;
        } else {
          i += k;  // the quote groups; the next round sees it
        }
      } else {
        cur.append(k, '\\');
        i += k;
      }
      continue;
    }
    if (c == '"') {
      if (quoted && i + 1 < s.size() && s[i + 1] == '"') {
        cur += '"';
        i += 2;
      } else {
        quoted = !quoted;
        ++i;
      }
      continue;
    }
    cur += c;
    ++i;
  }
  if (in_arg) args.push_back(cur);
  return args;
}

}  // namespace ferrolib

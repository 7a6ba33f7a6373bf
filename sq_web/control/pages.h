#pragma once
// The remote control's pages and commands as plain functions of their inputs.
//
// Nothing here touches the module-wide state, the serial link or the message log: the callers
// read the status list and the settings, make the serial exchange, append the returned log text
// and send the returned page. That keeps every byte of every page testable on its own.

#include <string>
#include <string_view>

#include "sq_web/core/assoc.h"

namespace ravelin {

// ---- which page a request asks for ----------------------------------------------------------

enum class PageKind {
  mode_keys,     // "cl" is exactly "mkf"
  status_frame,  // "cl" is exactly "dat"
  regulator,     // "cl" is exactly "reg"
  file,          // anything else, "" included: a file of the web folder
};

// Reads "cl" from the request's parameters (first name that begins with "cl", so "class=dat"
// counts) and compares the value exactly: "MKF", "mkfx" and "mkf " all select a file.
PageKind page_kind(const ASSOC& request);

// The line the dispatcher appends to the message log when it has no body for a request.
inline constexpr std::string_view kHideServerLine = "wrong request -> hide server \r\n";

// ---- control commands ("set" and "va") ------------------------------------------------------

enum class CommandKind {
  none,  // no "set", or a value other than exactly "mod" / "sq"
  mod,   // record "va" as "mod"; the device is not told
  sq,    // record "va" as "sq" and send `device_command`
};

struct ControlCommand {
  CommandKind kind = CommandKind::none;
  std::string value;  // "va" exactly as received ("" when absent); what the status list keeps
  std::string device_command;  // "Q=" + four digits for `sq`, else ""
};

// The command a request carries. The caller stores `value` under "mod" or "sq" first and then,
// for `sq`, sends `device_command` through the serial link.
ControlCommand control_command(const ASSOC& request);

// The four digits of a set command: `va` by the text-to-number rule, rounded to a whole number
// with halves away from zero ("12.5" -> "0013", "5abc" -> "0005", "" -> "0000").
// The device reads exactly four digits, so a sign or a fifth digit would reach it as a different
// value. Values outside the form are pinned to its nearest end instead: anything below zero
// gives "0000", anything of 9999.5 or more gives "9999".
std::string set_value_digits(std::string_view va);

// ---- status frame ---------------------------------------------------------------------------

// A raw value in percent of full scale: the number (text-to-number rule) times 100 / 4096,
// rounded to four decimals with halves away from zero, written with exactly four decimals:
// "2048" -> "50.0000", "4000" -> "97.6563", "abc" -> "0.0000", "-4000" -> "-97.6563".
// Computed on the decimal digits of the number, so a half is never moved by binary floating
// point. Large values are written with all their digits, never with an exponent. A value too
// large for the number rule to hold (hundreds of digits) gives "0.0000".
std::string percent_text(std::string_view raw);

// The reading inside the device's answer to "S=????": characters 3 to 6 (fewer when the answer
// is shorter, "" when it has fewer than three characters). Nothing is checked.
std::string answer_reading(std::string_view antwort);

struct StatusFrame {
  std::string page;       // the complete page, every line ended by CR LF
  std::string log_lines;  // "SW[<reading %>]" CR LF "SQ[<set value %>]" CR LF
};

// Everything of the status frame except the serial exchange and the log: `antwort` is the
// device's raw answer ("" when none came), `status` the status list (read: "sq", "mod" and all
// entries in order), `repeat` the reload interval text as the settings hold it, inserted as is.
// "sw" is the reading in mode "1", the set value in mode "2", else "0" (exact comparison).
// `status` is read several times; pass a copy of a shared list to get one consistent state.
// Entries with an empty value get no line; names lose their leading and trailing blanks.
StatusFrame status_frame(std::string_view antwort, const ASSOC& status, std::string_view repeat);

// ---- mode keys page -------------------------------------------------------------------------

// The 41-line page of seven mode keys, with the indicator beside the key whose number is
// exactly `mod` ("3" lights key 3; "03", "3 ", "" or "8" light none).
std::string mode_keys_page(std::string_view mod);

// ---- regulator page -------------------------------------------------------------------------

// Fills the regulator template: every "$reglername" becomes "rn" of the request (""), then every
// "$prozent" becomes the status entry named by that text, stored text as is, or "77" when there
// is none. An empty "rn" finds the status list's first entry.
std::string regulator_page(std::string_view tmpl, const ASSOC& request, const ASSOC& status);

// ---- files of the web folder ----------------------------------------------------------------

// Whether `url` (already URL-decoded) names a file inside web/. Refused: the empty path, absolute
// paths, "." and ".." segments and any segment ending in a dot or a blank (Windows drops those,
// so "..." or ".. " would climb too), empty segments (doubled or trailing slashes: one file, one
// name), backslashes, drive letters and every ':', the characters < > " | ? *, NUL and all other
// control bytes, and the device names CON, PRN, AUX, NUL, COM0-9, LPT0-9 with any extension
// (on Windows they open the device, not a file). Symbolic links inside web/ are not examined;
// the folder belongs to the installation.
bool web_path_allowed(std::string_view url);

// The file branch: the content of `root` + "web/" + `url` as MYREADFILE reads it, or "" when the
// path is refused or the file cannot be read. `root` is "" (the working directory) or a folder
// ending in "/".
std::string web_file(std::string_view url, std::string_view root = "");

}  // namespace ravelin

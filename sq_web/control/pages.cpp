#include "sq_web/control/pages.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "sq_web/core/files.h"
#include "sq_web/core/text.h"

namespace ravelin {

namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

using u128 = unsigned __int128;

std::string u128_text(u128 v) {
  char buf[48];
  char* p = buf + sizeof buf;
  do {
    *--p = static_cast<char>('0' + static_cast<int>(v % 10));
    v /= 10;
  } while (v != 0);
  return std::string(p, buf + sizeof buf);
}

}  // namespace

PageKind page_kind(const ASSOC& request) {
  std::string cl = request.r("cl", "");
  if (cl == "mkf") return PageKind::mode_keys;
  if (cl == "dat") return PageKind::status_frame;
  if (cl == "reg") return PageKind::regulator;
  return PageKind::file;
}

ControlCommand control_command(const ASSOC& request) {
  ControlCommand cmd;
  std::string rset = request.r("set", "");
  if (rset == "mod") {
    cmd.kind = CommandKind::mod;
  } else if (rset == "sq") {
    cmd.kind = CommandKind::sq;
  } else {
    return cmd;
  }
  cmd.value = request.r("va", "");
  if (cmd.kind == CommandKind::sq) cmd.device_command = "Q=" + set_value_digits(cmd.value);
  return cmd;
}

std::string set_value_digits(std::string_view va) {
  double rounded = std::round(text_to_number(va));  // std::round: halves away from zero
  long n = 0;
  if (rounded >= 9999) {
    n = 9999;
  } else if (rounded > 0) {
    n = static_cast<long>(rounded);
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04ld", n);
  return buf;
}

std::string percent_text(std::string_view raw) {
  double x = text_to_number(raw);
  if (!std::isfinite(x) || x == 0) return "0.0000";
  bool negative = x < 0;
  x = std::fabs(x);

  // The shortest decimal that reads back as x: the digits the text wrote (up to 17 of them),
  // so x = D * 10^E exactly in decimal terms.
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
  std::string_view sci(buf, static_cast<size_t>(res.ptr - buf));  // "d.ddde+XX" or "de+XX"
  size_t e_pos = sci.find('e');
  u128 digits = 0;
  int ndigits = 0;
  for (char c : sci.substr(0, e_pos)) {
    if (c == '.') continue;
    digits = digits * 10 + static_cast<unsigned>(c - '0');
    ++ndigits;
  }
  int exp10 = 0;
  std::string_view exp_text = sci.substr(e_pos + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  int e = exp10 - (ndigits - 1);

  // x * 100 / 4096 = x * 0.0244140625 exactly, so the percent times 10^4 is
  // D * 244140625 * 10^(E - 6); only the rounding to a whole number remains.
  u128 p = digits * 244140625u;
  int shift = e - 6;
  std::string scaled;  // the percent times 10^4, rounded, as decimal digits
  if (shift >= 0) {
    scaled = u128_text(p) + std::string(static_cast<size_t>(shift), '0');
  } else if (-shift > 38) {
    scaled = "0";  // p < 10^26, far below half a unit of the fourth decimal
  } else {
    u128 pow = 1;
    for (int k = 0; k < -shift; ++k) pow *= 10;
    u128 q = p / pow;
    u128 r = p % pow;
    if (r >= pow - r) ++q;  // half or more: away from zero (we work on the magnitude)
    scaled = u128_text(q);
  }
  if (scaled.size() < 5) scaled.insert(0, 5 - scaled.size(), '0');
  scaled.insert(scaled.size() - 4, ".");
  if (negative && scaled.find_first_not_of("0.") != std::string::npos) scaled.insert(0, "-");
  return scaled;
}

std::string answer_reading(std::string_view antwort) {
  if (antwort.size() < 3) return "";
  return std::string(antwort.substr(2, 4));
}

StatusFrame status_frame(std::string_view antwort, const ASSOC& status, std::string_view repeat) {
  StatusFrame out;
  std::string& htm = out.page;
  htm += "<html><head>\r\n";
  htm += "<script language=\"JavaScript\">\r\n";

  std::string sq_winkel = percent_text(status.r("sq", ""));
  std::string wert = percent_text(answer_reading(antwort));
  out.log_lines = "SW[" + wert + "]\r\nSQ[" + sq_winkel + "]\r\n";

  std::string mod = status.r("mod", "");
  std::string swert = mod == "1" ? wert : mod == "2" ? sq_winkel : "0";
  htm += "  parent.status[\"sw\"] = " + swert + ";\r\n";

  for (const auto& [name, value] : status.arr()) {
    std::string v = value_text(value);
    if (v.empty()) continue;
    htm += "  parent.status[\"";
    htm += trim_blanks(name);
    htm += "\"] = " + v + ";\r\n";
  }

  htm += "  setTimeout('location.reload();',";
  htm += repeat;
  htm += ");\r\n";
  htm += "</script>\r\n";
  htm += "</head><body>\r\n";
  htm += "</body></html>\r\n";
  return out;
}

std::string mode_keys_page(std::string_view mod) {
  static constexpr std::string_view kHead[] = {
      "<html>",
      "<head>",
      "<script language=\"JavaScript\">",
      "function update_mod() {",
      "  var mod = parent.status[\"mod\"];",
      "  for (var i = 1; i<=7; i++) {",
      "  \t if(mod == i)",
      "  \t   img = \"modled_7x14.png\";",
      "     else",
      "       img = \"pix.gif\";",
      "    ",
      "    }",
      "\t}",
      "</script>",
      "<style type=\"text/css\">",
      "  <!--",
      "  body   {background-color:transparent;}",
      "  table  {background-color:transparent;}",
      "  -->                               ",
      " </style> ",
      "</head>",
      "<body bgcolor=\"transparent\" ><center>",
      "<table width=61 cellpadding=0 cellspacing=0>",
      "  <tr><td Valign=top height=19></td></tr>",
  };
  static constexpr std::string_view kTail[] = {
      "  <tr><td Valign=top height=13></td></tr>",
      "</table>",
      "</body></html>",
  };

  std::string htm;
  htm.reserve(2600);
  for (auto line : kHead) (htm += line) += kCrLf;
  for (int i = 1; i <= 7; ++i) {
    std::string key = std::to_string(i);
    htm += "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=";
    htm += mod == key ? "modled_7x14.png" : "pix.gif";
    htm += " width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=" + key + "\"";
    htm += "><img src=pix.gif width=35 height=14 border=0></a></td></tr>\r\n";
    htm += "<tr><td Valign=top height=9></td></tr>\r\n";
  }
  for (auto line : kTail) (htm += line) += kCrLf;
  return htm;
}

std::string regulator_page(std::string_view tmpl, const ASSOC& request, const ASSOC& status) {
  std::string reglername = request.r("rn", "");
  std::string htm = STRING_REPL("$reglername", tmpl, reglername);
  return STRING_REPL("$prozent", htm, status.r(reglername, "77"));
}

namespace {

bool ascii_iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    char x = a[k], y = b[k];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

// Windows opens these as devices in every folder and with any extension ("web/com1.txt" is the
// first serial port). They mean nothing special elsewhere, but one rule for all platforms keeps
// the web folder's behaviour the same everywhere.
bool is_device_name(std::string_view segment) {
  std::string_view base = trim_blanks(segment.substr(0, segment.find('.')));
  for (std::string_view dev : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
    if (ascii_iequal(base, dev)) return true;
  }
  if (base.size() == 4 &&
      (ascii_iequal(base.substr(0, 3), "COM") || ascii_iequal(base.substr(0, 3), "LPT"))) {
    // digits, and the superscript one, two and three of the ANSI code page
    unsigned char d = static_cast<unsigned char>(base[3]);
    return (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
  }
  return false;
}

}  // namespace

bool web_path_allowed(std::string_view url) {
  if (url.empty() || url.front() == '/') return false;
  for (unsigned char c : url) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::string_view("\\:<>\"|?*").find(static_cast<char>(c)) != std::string_view::npos) {
      return false;
    }
  }
  size_t start = 0;
  while (true) {
    size_t slash = url.find('/', start);
    std::string_view segment =
        url.substr(start, slash == std::string_view::npos ? url.npos : slash - start);
    if (segment.empty()) return false;
    if (segment.back() == '.' || segment.back() == ' ') return false;
    if (is_device_name(segment)) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

std::string web_file(std::string_view url, std::string_view root) {
  if (!web_path_allowed(url)) return "";
  std::string path(root);
  path += "web/";
  path += url;
  return MYREADFILE(path);
}

}  // namespace ravelin

#include "sq_web/control/pages.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "sq_web/core/text.h"

namespace ravelin {
namespace {

using Params = std::initializer_list<std::pair<const char*, const char*>>;

ASSOC list_of(Params params) {
  ASSOC a;
  for (const auto& [name, value] : params) a.s(name, std::string(value));
  return a;
}

// The status list as start-up leaves it without a "Q" key.
ASSOC start_status() { return list_of({{"mod", "1"}, {"sq", "4000"}}); }

TEST(PageKind, ExactSelectorAfterPrefixLookup) {
  struct Case {
    Params params;
    PageKind expected;
  } cases[] = {
      {{{"cl", "mkf"}}, PageKind::mode_keys},
      {{{"cl", "dat"}}, PageKind::status_frame},
      {{{"cl", "reg"}}, PageKind::regulator},
      {{{"cl", "MKF"}}, PageKind::file},
      {{{"cl", "mkfx"}}, PageKind::file},
      {{{"cl", "mkf "}}, PageKind::file},
      {{{"cl", ""}}, PageKind::file},
      {{}, PageKind::file},
      {{{"class", "dat"}}, PageKind::status_frame},  // names are found by their beginning
      {{{"c", "dat"}}, PageKind::file},
      {{{"set", "mod"}, {"cl", "reg"}, {"cl2", "dat"}}, PageKind::regulator},
  };
  int row = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(page_kind(list_of(c.params)), c.expected) << "row " << row;
    ++row;
  }
}

TEST(ControlCommand, Cases) {
  struct Case {
    Params params;
    CommandKind kind;
    std::string value, device;
  } cases[] = {
      {{{"set", "sq"}, {"va", "2048"}}, CommandKind::sq, "2048", "Q=2048"},
      {{{"set", "sq"}, {"va", "77"}}, CommandKind::sq, "77", "Q=0077"},
      {{{"set", "sq"}, {"va", "12.5"}}, CommandKind::sq, "12.5", "Q=0013"},
      {{{"set", "sq"}, {"va", "5abc"}}, CommandKind::sq, "5abc", "Q=0005"},
      {{{"set", "sq"}, {"va", ""}}, CommandKind::sq, "", "Q=0000"},
      {{{"set", "sq"}}, CommandKind::sq, "", "Q=0000"},
      {{{"settings", "sq"}, {"va", "100"}}, CommandKind::sq, "100", "Q=0100"},
      {{{"set", "mod"}, {"va", "4"}}, CommandKind::mod, "4", ""},
      {{{"set", "mod"}, {"va", ""}}, CommandKind::mod, "", ""},
      {{{"set", "SQ"}, {"va", "100"}}, CommandKind::none, "", ""},
      {{{"set", "sq "}, {"va", "100"}}, CommandKind::none, "", ""},
      {{{"va", "100"}}, CommandKind::none, "", ""},
      {{}, CommandKind::none, "", ""},
  };
  int row = 0;
  for (const auto& c : cases) {
    ControlCommand cmd = control_command(list_of(c.params));
    EXPECT_EQ(cmd.kind, c.kind) << "row " << row;
    EXPECT_EQ(cmd.value, c.value) << "row " << row;
    EXPECT_EQ(cmd.device_command, c.device) << "row " << row;
    ++row;
  }
}

TEST(SetValueDigits, RoundingAndTheEndsOfTheFourDigitForm) {
  struct Case {
    std::string va, expected;
  } cases[] = {
      {"12.5", "0013"},
      {"12.49", "0012"},
      {"0.5", "0001"},
      {"4095.5", "4096"},
      {" 42", "0042"},
      {"+7", "0007"},
      {"1,5", "0001"},
      {"abc", "0000"},
      {"9999", "9999"},
      {"9999.4", "9999"},
      // below zero and beyond four digits: pinned to the nearest end of the form
      {"-0.4", "0000"},
      {"-0.5", "0000"},
      {"-5", "0000"},
      {"9999.5", "9999"},
      {"10000", "9999"},
      {"123456", "9999"},
      {std::string(400, '9'), "9999"},
      {"-" + std::string(400, '9'), "0000"},
  };
  for (const auto& c : cases) EXPECT_EQ(set_value_digits(c.va), c.expected) << c.va;
}

TEST(PercentText, Cases) {
  struct Case {
    std::string raw, expected;
  } cases[] = {
      {"2048", "50.0000"},
      {"4000", "97.6563"},
      {"4095", "99.9756"},
      {"4096", "100.0000"},
      {"1", "0.0244"},
      {"12", "0.2930"},
      {"0", "0.0000"},
      {"", "0.0000"},
      {"abc", "0.0000"},
      {"12\r\n", "0.2930"},
      // exact halves: a printf of the binary result would round these to even or down
      {"32", "0.7813"},      // 0.78125
      {"108.8", "2.6563"},   // 2.65625
      {"147.2", "3.5938"},   // 3.59375; the binary product is 3.593749999...
      {"-32", "-0.7813"},    // away from zero on the negative side as well
      {"-0.001", "0.0000"},  // no sign on a value that rounds to zero
      {"409600000000", "10000000000.0000"},
      {"1" + std::string(30, '0'), "24414062500000000000000000000.0000"},
      {std::string(400, '9'), "0.0000"},  // beyond what the number rule can hold
  };
  for (const auto& c : cases) EXPECT_EQ(percent_text(c.raw), c.expected) << c.raw;
}

std::vector<std::string> lines_of(const std::string& page) {
  auto lines = SPLIT(page, "\r\n");
  EXPECT_EQ(lines.back(), "") << "the page must end with CR LF";
  lines.pop_back();
  return lines;
}

TEST(StatusFrame, NineLinePageByteForByte) {
  StatusFrame f = status_frame("S=2048", start_status(), "1000");
  EXPECT_EQ(f.page,
            "<html><head>\r\n"
            "<script language=\"JavaScript\">\r\n"
            "  parent.status[\"sw\"] = 50.0000;\r\n"
            "  parent.status[\"mod\"] = 1;\r\n"
            "  parent.status[\"sq\"] = 4000;\r\n"
            "  setTimeout('location.reload();',1000);\r\n"
            "</script>\r\n"
            "</head><body>\r\n"
            "</body></html>\r\n");
  EXPECT_EQ(f.log_lines, "SW[50.0000]\r\nSQ[97.6563]\r\n");
}

TEST(StatusFrame, SwByModeAndAnswer) {
  struct Case {
    std::string antwort, mod;
    bool has_mod;
    std::string sw, log;
  } cases[] = {
      {"S=2048", "1", true, "50.0000", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=12\r\n", "1", true, "0.2930", "SW[0.2930]\r\nSQ[97.6563]\r\n"},
      {"S=20489999", "1", true, "50.0000", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=", "1", true, "0.0000", "SW[0.0000]\r\nSQ[97.6563]\r\n"},
      {"S", "1", true, "0.0000", "SW[0.0000]\r\nSQ[97.6563]\r\n"},
      {"", "1", true, "0.0000", "SW[0.0000]\r\nSQ[97.6563]\r\n"},
      {"S=?!x", "1", true, "0.0000", "SW[0.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "2", true, "97.6563", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"", "2", true, "97.6563", "SW[0.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "3", true, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "7", true, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "01", true, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "1 ", true, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "", true, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
      {"S=2048", "", false, "0", "SW[50.0000]\r\nSQ[97.6563]\r\n"},
  };
  for (const auto& c : cases) {
    ASSOC status =
        c.has_mod ? list_of({{"mod", c.mod.c_str()}, {"sq", "4000"}}) : list_of({{"sq", "4000"}});
    StatusFrame f = status_frame(c.antwort, status, "1000");
    auto lines = lines_of(f.page);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2], "  parent.status[\"sw\"] = " + c.sw + ";")
        << "answer '" << c.antwort << "' mode '" << c.mod << "'";
    EXPECT_EQ(f.log_lines, c.log) << "answer '" << c.antwort << "'";
  }
}

TEST(StatusFrame, EntryLinesAndRepeat) {
  // An emptied mode, a non-number value written as is, a name with blanks, and the order kept.
  ASSOC status = list_of({{"mod", ""}, {"sq", "abc"}, {" h ", "12"}, {"x", ""}});
  StatusFrame f = status_frame("S=2048", status, "500");
  EXPECT_THAT(lines_of(f.page),
              testing::ElementsAre("<html><head>", "<script language=\"JavaScript\">",
                                   "  parent.status[\"sw\"] = 0;", "  parent.status[\"sq\"] = abc;",
                                   "  parent.status[\"h\"] = 12;",
                                   "  setTimeout('location.reload();',500);", "</script>",
                                   "</head><body>", "</body></html>"));
  EXPECT_EQ(f.log_lines, "SW[50.0000]\r\nSQ[0.0000]\r\n");

  // No "sq" entry at all: the set value counts as 0; a REPEAT text goes in unchecked.
  f = status_frame("S=4095", list_of({{"mod", "2"}}), "x");
  EXPECT_THAT(f.page, testing::HasSubstr("  parent.status[\"sw\"] = 0.0000;\r\n"));
  EXPECT_THAT(f.page, testing::HasSubstr("  setTimeout('location.reload();',x);\r\n"));
  EXPECT_EQ(f.log_lines, "SW[99.9756]\r\nSQ[0.0000]\r\n");
}

// The page for mode 3, written out line by line; tabs and blanks as the page must carry them.
const char* const kModeKeysMode3[] = {
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
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=1\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=2\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img "
    "src=modled_7x14.png width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=3\"><img "
    "src=pix.gif width=35 height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=4\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=5\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=6\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "<tr height=14><td Valign=top height=14><img src=pix.gif width=11 height=14><img src=pix.gif "
    "width=7 height=14><a href=\"index.php?cl=mkf&set=mod&va=7\"><img src=pix.gif width=35 "
    "height=14 border=0></a></td></tr>",
    "<tr><td Valign=top height=9></td></tr>",
    "  <tr><td Valign=top height=13></td></tr>",
    "</table>",
    "</body></html>",
};

TEST(ModeKeysPage, ByteForByteForMode3) {
  std::string expected;
  for (const char* line : kModeKeysMode3) (expected += line) += "\r\n";
  ASSERT_EQ(std::size(kModeKeysMode3), 41u);
  EXPECT_EQ(mode_keys_page("3"), expected);
}

TEST(ModeKeysPage, LitKeyByExactComparison) {
  struct Case {
    std::string mod;
    int lit;  // 0: none
  } cases[] = {{"1", 1},  {"7", 7},  {"5", 5},  {"0", 0}, {"8", 0},
               {"03", 0}, {"3 ", 0}, {" 3", 0}, {"", 0},  {"abc", 0}};
  for (const auto& c : cases) {
    auto lines = lines_of(mode_keys_page(c.mod));
    ASSERT_EQ(lines.size(), 41u) << c.mod;
    for (int i = 1; i <= 7; ++i) {
      const std::string& row = lines[24 + 2 * (i - 1)];
      EXPECT_THAT(row, testing::HasSubstr("va=" + std::to_string(i) + "\">"));
      bool lit = row.find("modled_7x14.png") != std::string::npos;
      EXPECT_EQ(lit, i == c.lit) << "mode '" << c.mod << "' key " << i;
    }
    // Everything but the key rows is the same whatever the mode.
    for (size_t k = 0; k < lines.size(); ++k) {
      if (k < 24 || k > 37 || k % 2 == 1) {
        EXPECT_EQ(lines[k], kModeKeysMode3[k]) << k;
      }
    }
  }
}

TEST(RegulatorPage, Cases) {
  const std::string tmpl = "<h1>$reglername</h1><p>$prozent</p><i>$reglername=$prozent</i>";
  ASSOC status = start_status();
  struct Case {
    Params request;
    std::string expected;
  } cases[] = {
      {{{"rn", "sq"}}, "<h1>sq</h1><p>4000</p><i>sq=4000</i>"},
      {{{"rn", "xyz"}}, "<h1>xyz</h1><p>77</p><i>xyz=77</i>"},
      {{{"rn", "s"}}, "<h1>s</h1><p>4000</p><i>s=4000</i>"},       // entry names by prefix
      {{}, "<h1></h1><p>1</p><i>=1</i>"},                          // "" finds the first entry
      {{{"rname", "mod"}}, "<h1>mod</h1><p>1</p><i>mod=1</i>"},    // parameter names too
      {{{"rn", "$prozent"}}, "<h1>77</h1><p>77</p><i>77=77</i>"},  // filled in order
  };
  for (const auto& c : cases) {
    EXPECT_EQ(regulator_page(tmpl, list_of(c.request), status), c.expected);
  }
  EXPECT_EQ(regulator_page("<p>$prozent</p>", ASSOC(), ASSOC()), "<p>77</p>");
  EXPECT_EQ(regulator_page("no placeholders", list_of({{"rn", "sq"}}), status), "no placeholders");
}

}  // namespace
}  // namespace ravelin

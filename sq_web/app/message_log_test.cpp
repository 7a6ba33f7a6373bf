// OUT_M: what the log keeps, what the control shows, and that writers on several threads are safe.

#include <gtest/gtest.h>

#include <thread>

#include "sq_web/app/codepage.h"
#include "sq_web/app/fake_toolkit.h"
#include "sq_web/app/module.h"
#include "sq_web/core/text.h"

namespace ravelin {
namespace {

std::string lines(int from, int to) {
  std::string s;
  for (int i = from; i <= to; ++i) s += "line" + std::to_string(i) + "\r\n";
  return s;
}

TEST(OutM, KeepsTheTailAndShowsTheLastSixPieces) {
  struct Case {
    std::string name;
    std::string text;
    std::string kept;
    std::string shown;
  };
  const std::string s401 = "a" + std::string(400, 'x');
  const Case cases[] = {
      {"empty", "", "", "\r\n"},
      {"second line unended", "one\r\ntwo", "one\r\ntwo", "one\r\ntwo\r\n"},
      {"ten lines", lines(1, 10), lines(1, 10), lines(6, 10) + "\r\n"},
      {"300 characters", std::string(300, 'y'), std::string(300, 'y'),
       std::string(300, 'y') + "\r\n"},
      {"401 characters", s401, s401, s401 + "\r\n"},
      {"402 characters", "b" + s401, s401, s401 + "\r\n"},
      // A cut through a CR LF leaves a lone LF at the front, which is not a separator.
      {"cut in a line end", "\r\n" + std::string(400, 'z'), "\n" + std::string(400, 'z'),
       "\n" + std::string(400, 'z') + "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedModule m;
    Journal j;
    FakeToolkit tk(j);
    m->toolkit = &tk;
    m->log.set(c.text);
    m->log.OUT_M();
    EXPECT_EQ(m->log.text(), c.kept);
    EXPECT_EQ(tk.log(), c.shown);
  }
}

TEST(OutM, ShowsUmlautsInTheConsoleCodePageButKeepsTheText) {
  ScopedModule m;
  Journal j;
  FakeToolkit tk(j);
  m->toolkit = &tk;
  const std::string ansi = "T\xfcr \xe4\xf6\xdf \x80";  // Tür äöß € in Windows-1252
  m->log.set(ansi);
  m->log.OUT_M();
  EXPECT_EQ(m->log.text(), ansi);
  EXPECT_EQ(tk.log(), "T\x81r \x84\x94\xe1 ?\r\n");
  // ... and those bytes are drawn as the same characters.
  EXPECT_EQ(cp850_to_unicode(0x81), u'\u00fc');
  EXPECT_EQ(cp850_to_unicode(0xe1), u'\u00df');
}

TEST(CodePage, AnsiRoundTripsThroughUnicode) {
  for (int b = 0; b < 256; ++b) EXPECT_EQ(unicode_to_ansi(ansi_to_unicode(b)), b) << b;
  EXPECT_EQ(unicode_to_ansi(u'\u20ac'), 0x80);
  EXPECT_EQ(unicode_to_ansi(u'\u4e2d'), -1);
  // Letters code page 850 lacks fall back to their base letter.
  EXPECT_EQ(ansi_to_oem("\x8a\x9e"), "Sz");
}

TEST(OutM, WritersOnSeveralThreadsLeaveAWholeTail) {
  ScopedModule m;
  Journal j;
  FakeToolkit tk(j);
  m->toolkit = &tk;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&m, t] {
      for (int i = 0; i < 300; ++i) {
        m->log.append("T" + std::to_string(t) + ":" + std::to_string(i) + "\r\n");
        m->log.OUT_M();
      }
    });
  }
  for (auto& th : threads) th.join();
  m->log.OUT_M();
  EXPECT_LE(m->log.text().size(), 401u);
  // The control shows the newest text, whatever order the threads ran in.
  auto pieces = SPLIT(m->log.text(), "\r\n");
  std::string expected;
  for (size_t i = pieces.size() - 6; i < pieces.size(); ++i) expected += pieces[i] + "\r\n";
  EXPECT_EQ(tk.log(), expected);
}

}  // namespace
}  // namespace ravelin

// Start-up, settings and the two ways out, driven through fake toolkit, serial service and
// listener in a temporary working directory.

#include "sq_web/app/app.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "sq_web/app/fake_toolkit.h"
#include "sq_web/app/module.h"
#include "sq_web/core/files.h"
#include "sq_web/serial/fake_serial.h"

namespace ravelin {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

class FakeListener : public Listener {
 public:
  explicit FakeListener(Journal& j) : j_(j) {}
  void start() override { j_.add("listener start"); }
  void stop() override { j_.add("listener stop"); }

 private:
  Journal& j_;
};

// A fresh module and working directory per test; config.ini holds `ini` when given.
class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/ravelin-app-XXXXXX";
    dir_ = mkdtemp(tmpl);
    old_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
  }
  void TearDown() override {
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }
  void write_ini(const std::string& ini) { MYWRITEFILE("config.ini", ini); }

  int run() {
    MainServices s;
    s.toolkit = &toolkit;
    s.serial = &serial;
    s.listener = [this](long port) {
      journal.add("listener " + std::to_string(port));
      return std::make_unique<FakeListener>(journal);
    };
    s.end_process = [this](int code) { journal.add("end " + std::to_string(code)); };
    return MAIN(s);
  }
  // The journal without the reads, which only clutter the order of steps.
  std::vector<std::string> steps() const {
    std::vector<std::string> out;
    for (auto& e : journal.entries())
      if (e.rfind("COM_READ ", 0) != 0 && e.rfind("button", 0) != 0) out.push_back(e);
    return out;
  }

  ScopedModule m;
  Journal journal;
  FakeToolkit toolkit{journal};
  FakeSerial serial{journal};
  std::string dir_;
  std::filesystem::path old_cwd_;
};

TEST_F(MainTest, NoSettingsFileRunsTheDefaultsInOrderAndEscapeStopsTheListener) {
  EXPECT_EQ(run(), 0);
  EXPECT_THAT(steps(), ElementsAreArray({
                           "window 1,1 PORTS WEB:80 COM:1",
                           "COM_HARD 1 0 0",
                           "COM_OPEN 1",
                           "COM_HARD 1 0 0",
                           "COM_INIT 1 9600 E 7 2",
                           "COM_HARD 1 0 0",
                           "COM_SOFT 1 0",
                           "COM_READMODE 1 1 50",
                           "listener 80",
                           "listener start",
                           "COM_SEND 1 [Q=4000] 1000",
                           "COM_SEND 1 [H=4000] 1000",
                           "loop",
                           "listener stop",
                       }));
  EXPECT_EQ(serial.sent(), "Q=4000H=4000");
  auto status = m->oSTATUS.arr();
  ASSERT_EQ(status.size(), 2u);
  EXPECT_EQ(status[0].first, "mod");
  EXPECT_EQ(value_text(status[0].second), "1");
  EXPECT_EQ(status[1].first, "sq");
  EXPECT_EQ(value_text(status[1].second), "4000");
  EXPECT_EQ(m->WEBPASS, "Hr8wQz2nVt5yMc4p");
  EXPECT_EQ(m->FILEPATH, std::filesystem::current_path().string() + "/");
  EXPECT_FALSE(m->quitting);  // the Escape way does not close the port
}

TEST_F(MainTest, SettingsAreTakenAsTheFileHoldsThem) {
  struct Case {
    std::string ini;
    std::string sent;
    std::string window;
    std::string init;
  };
  const Case cases[] = {
      {"Q|12\r\n", "Q=12H=4000", "window 1,1 PORTS WEB:80 COM:1", "COM_INIT 1 9600 E 7 2"},
      {"HX|7\r\n", "Q=4000H=7", "window 1,1 PORTS WEB:80 COM:1", "COM_INIT 1 9600 E 7 2"},
      {"BAUD|19200 \r\nWEBPORT|8080\r\nCOM|3\r\n", "Q=4000H=4000",
       "window 1,1 PORTS WEB:8080 COM:3", "COM_INIT 3 19200 E 7 2"},
      {"POS|100,200,300\r\n", "Q=4000H=4000", "window 100,200 PORTS WEB:80 COM:1",
       "COM_INIT 1 9600 E 7 2"},
      {"POS|12\r\n", "Q=4000H=4000", "window 1,1 PORTS WEB:80 COM:1", "COM_INIT 1 9600 E 7 2"},
      // The first name that begins with the key answers for it; blanks stay in sent values.
      // (the settings file's own COM line lands in the COMX entry, which answers for "COM").
      {"COMX|5\r\nCOM|2\r\nQ| 07\r\n", "Q= 07H=4000", "window 1,1 PORTS WEB:80 COM:2",
       "COM_INIT 2 9600 E 7 2"},
      // LF-only lines make one long invalid line; garbage has no valid line: both are defaults.
      {"COM|5\nBAUD|300\nQ|77\n", "Q=4000H=4000", "window 1,1 PORTS WEB:80 COM:1",
       "COM_INIT 1 9600 E 7 2"},
      {std::string("\xff\x00|||\r\n\x01\x02", 10), "Q=4000H=4000", "window 1,1 PORTS WEB:80 COM:1",
       "COM_INIT 1 9600 E 7 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    ScopedModule fresh;
    Journal j;
    FakeToolkit tk(j);
    FakeSerial serial(j);
    write_ini(c.ini);
    MainServices s{&tk, &serial, nullptr, [](int) {}};
    MAIN(s);
    EXPECT_EQ(serial.sent(), c.sent);
    auto e = j.entries();
    EXPECT_EQ(e.front(), c.window);
    EXPECT_NE(std::find(e.begin(), e.end(), c.init), e.end());
  }
}

TEST_F(MainTest, SqTakesTheQValueAndDeviceNamesThePort) {
  write_ini("DEVICE|/dev/pts/77\r\nQ|12\r\nTIMEOUT|250\r\n");
  run();
  EXPECT_EQ(m->oSTATUS.r("sq", ""), "12");
  auto e = journal.entries();
  EXPECT_NE(std::find(e.begin(), e.end(), "name_device 1 /dev/pts/77"), e.end());
  EXPECT_NE(std::find(e.begin(), e.end(), "COM_READMODE 1 1 250"), e.end());
}

TEST_F(MainTest, FailuresShowTheirBoxesInOrder) {
  struct Case {
    std::set<std::string> failing;
    std::string ini;
    std::vector<std::string> boxes;
    bool quits;
  };
  const std::string close12 = "box COM * konnte nicht geschlossen werden|Fehler:";
  const Case cases[] = {
      // A port that does not open fails every later step and ends the program.
      {{"COM_OPEN"},
       "",
       {"box Fehler bei Copmort|", "box Fehler bei Copmort|", "box Fehler bei Com_ReadMode |",
        "box COM 1 konnte nicht geschlossen werden|Fehler:"},
       true},
      {{"COM_INIT"}, "", {"box Fehler bei Copmort|"}, false},
      {{"COM_READMODE"}, "", {"box Fehler bei Com_ReadMode |"}, true},
      {{"COM_READMODE", "COM_CLOSE"},
       "COM|12\r\n",
       {"box Fehler bei Com_ReadMode |", close12},
       true},
      // "COM|x" is port 0, which no system has.
      {{},
       "COM|x\r\n",
       {"box Fehler bei Copmort|", "box Fehler bei Copmort|", "box Fehler bei Com_ReadMode |",
        "box COM 0 konnte nicht geschlossen werden|Fehler:"},
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini + " " + (c.failing.empty() ? "" : *c.failing.begin()));
    ScopedModule fresh;
    Journal j;
    FakeToolkit tk(j);
    FakeSerial serial(j);
    serial.failing = c.failing;
    write_ini(c.ini);
    bool listener_made = false;
    MainServices s{&tk, &serial,
                   [&](long) {
                     listener_made = true;
                     return std::unique_ptr<Listener>();
                   },
                   [&](int code) { j.add("end " + std::to_string(code)); }};
    MAIN(s);
    std::vector<std::string> boxes;
    bool ended = false;
    for (auto& e : j.entries()) {
      if (e.rfind("box ", 0) == 0) boxes.push_back(e);
      if (e == "end 0") ended = true;
    }
    EXPECT_EQ(boxes, c.boxes);
    EXPECT_EQ(ended, c.quits);
    EXPECT_EQ(listener_made, !c.quits);  // a program that quits never starts the listener
    EXPECT_EQ(serial.sent().empty(), c.quits);
  }
}

TEST_F(MainTest, CloseButtonClosesThePortAndSkipsTheStatementsAfterTheLoop) {
  toolkit.loop_script = [](FakeToolkit&) { return LoopExit::closed; };
  run();
  auto e = steps();
  auto at = std::find(e.begin(), e.end(), "loop");
  ASSERT_NE(at, e.end());
  EXPECT_THAT(std::vector<std::string>(at, e.end()), ElementsAre("loop", "COM_CLOSE 1", "end 0"));
}

TEST_F(MainTest, StartTextsShowWhenTheDeviceSpokeFirst) {
  serial.queue_read(std::string("hello"));  // pending before the first command
  write_ini("WEBPORT|8080\r\nWEBPASS|geheim\r\n");
  run();
  // The first exchange's clearing read logs the device's text after the start texts; the
  // exchange then wipes the log, so the control ends with the H= exchange.
  auto shown = toolkit.log_history();
  EXPECT_NE(std::find(shown.begin(), shown.end(),
                      "Webserver running on Port:8080\r\nAccess via geheim.php \r\nCOM: hello\r\n"),
            shown.end());
  EXPECT_EQ(m->log.text(), "WEB: H=4000\r\n");
  EXPECT_EQ(toolkit.log(), "WEB: H=4000\r\n\r\n");
}

TEST(AppTexts, TitleAndCloseFailure) {
  EXPECT_EQ(window_title(80, 1), "PORTS WEB:80 COM:1");
  EXPECT_EQ(window_title(8080, 3), "PORTS WEB:8080 COM:3");
  EXPECT_EQ(close_failure_text(0), "COM 0 konnte nicht geschlossen werden");
  EXPECT_EQ(close_failure_text(9), "COM 9 konnte nicht geschlossen werden");
  EXPECT_EQ(close_failure_text(12), "COM * konnte nicht geschlossen werden");
  EXPECT_EQ(close_failure_text(-1), "COM * konnte nicht geschlossen werden");
}

TEST(AppTexts, SettingsNumbersStayInRange) {
  EXPECT_EQ(settings_number("19200 "), 19200);
  EXPECT_EQ(settings_number("x"), 0);
  EXPECT_EQ(settings_number("2.9"), 2);
  EXPECT_EQ(settings_number("99999999999999999999999"), LONG_MAX);
  EXPECT_EQ(settings_number("-99999999999999999999999"), LONG_MIN);
}

TEST(WindowLayout, ControlsSitOnTheBottomRowWithTheLogAbove) {
  constexpr int h = WindowLayout::kHeight;
  auto sle = WindowLayout::top_left(WindowLayout::kSendLine, h);
  auto btn = WindowLayout::top_left(WindowLayout::kButton, h);
  auto mle = WindowLayout::top_left(WindowLayout::kLog, h);
  EXPECT_EQ(sle.y, 143);
  EXPECT_EQ(btn.y, 143);
  EXPECT_EQ(mle.y, 47);
  EXPECT_EQ(sle.y + sle.h, h - 12);
  EXPECT_LT(mle.y + mle.h, sle.y);
}

}  // namespace
}  // namespace ravelin

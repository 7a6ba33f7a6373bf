// The remote control against the module-wide state, with the fake serial service and toolkit.

#include "sq_web/control/remote_control.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "sq_web/app/app.h"
#include "sq_web/app/fake_toolkit.h"
#include "sq_web/app/module.h"
#include "sq_web/control/pages.h"
#include "sq_web/core/files.h"
#include "sq_web/serial/fake_serial.h"

namespace ravelin {
namespace {

namespace fs = std::filesystem;

// A working directory with a web folder and a secret file beside it, the status list as start-up
// leaves it, and an open fake port.
class RemoteControl : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    dir_ =
        fs::path(::testing::TempDir()) /
        ("remote_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "web" / "sub");
    fs::current_path(dir_);
    MYWRITEFILE("web/index.php", "  <p>index</p>\r\n  ");
    MYWRITEFILE("web/sub/a.txt", "A");
    MYWRITEFILE("web/regler.htm", "<h1>$reglername</h1><b>$prozent</b>");
    MYWRITEFILE("secret.txt", "SECRET");

    m->toolkit = &tk;
    m->serial = &serial;
    m->H_PORT = 4;
    serial.COM_OPEN(4);
    m->oSTATUS.s("mod", "1").s("sq", "4000");
  }
  void TearDown() override { fs::current_path(old_cwd_); }

  static ASSOC request(std::initializer_list<std::pair<const char*, const char*>> params) {
    ASSOC r;
    for (const auto& [name, value] : params) r.s(name, value);
    return r;
  }
  // Queues the device's side of one exchange: nothing pending, then `answer`.
  void device_answers(std::string answer) {
    serial.queue_read(std::string());
    serial.queue_read(std::move(answer));
  }

  ScopedModule m;
  Journal j;
  FakeToolkit tk{j};
  FakeSerial serial{j};
  fs::path old_cwd_, dir_;
};

TEST_F(RemoteControl, PageChoiceByExactSelector) {
  const std::string hidden = std::string(kHideServerLine);
  struct Case {
    const char* what;
    ASSOC req;
    std::string url;
    std::string body;
  } cases[] = {
      {"mode keys", request({{"cl", "mkf"}}), "index.php", mode_keys_page("1")},
      {"upper case selects a file", request({{"cl", "MKF"}}), "index.php", "<p>index</p>\r\n"},
      {"longer selector selects a file", request({{"cl", "mkfx"}}), "index.php",
       "<p>index</p>\r\n"},
      {"selector with a blank", request({{"cl", "mkf "}}), "sub/a.txt", "A"},
      {"no parameters", request({}), "index.php", "<p>index</p>\r\n"},
      {"missing file", request({}), "nothing.htm", ""},
      {"the empty path", request({}), "", ""},
      {"the folder itself", request({}), "sub", ""},
      {"regulator", request({{"cl", "reg"}, {"rn", "sq"}}), "", "<h1>sq</h1><b>4000</b>"},
      {"regulator, unknown entry", request({{"cl", "reg"}, {"rn", "xyz"}}), "",
       "<h1>xyz</h1><b>77</b>"},
      {"regulator without rn takes the first entry", request({{"cl", "reg"}}), "",
       "<h1></h1><b>1</b>"},
      {"rn by prefix", request({{"cl", "reg"}, {"rn", "s"}}), "", "<h1>s</h1><b>4000</b>"},
      {"leaving the folder", request({}), "../secret.txt", ""},
      {"absolute path", request({}), (dir_ / "secret.txt").string(), ""},
  };
  for (auto& c : cases) {
    m->log.set("");
    EXPECT_EQ(FERNSTEUERUNG(c.req, c.url), c.body) << c.what;
    EXPECT_EQ(m->log.text(), c.body.empty() ? hidden : "") << c.what;
    EXPECT_EQ(serial.sent(), "") << c.what;  // none of these talks to the device
  }
  // Every request shows the log, answered or not.
  EXPECT_EQ(tk.log(), "wrong request -> hide server \r\n\r\n");
}

TEST_F(RemoteControl, StatusFrameQueriesTheDeviceOnce) {
  device_answers("S=2048");
  ASSOC req = request({{"class", "dat"}});  // "cl" found by prefix
  EXPECT_EQ(FERNSTEUERUNG(req, "index.php"),
            "<html><head>\r\n"
            "<script language=\"JavaScript\">\r\n"
            "  parent.status[\"sw\"] = 50.0000;\r\n"
            "  parent.status[\"mod\"] = 1;\r\n"
            "  parent.status[\"sq\"] = 4000;\r\n"
            "  setTimeout('location.reload();',1000);\r\n"
            "</script>\r\n"
            "</head><body>\r\n"
            "</body></html>\r\n");
  EXPECT_EQ(serial.sent(), "S=????");
  EXPECT_EQ(m->log.text(), "WEB: S=????\r\nCOM: S=2048SW[50.0000]\r\nSQ[97.6563]\r\n");
}

TEST_F(RemoteControl, StatusFrameReadsRepeatOnEveryCall) {
  for (const char* repeat : {"500", "abc"}) {
    m->oINI.zap().s("REPEAT", repeat);
    device_answers("S=12\r\n");
    std::string page = DAT_FRAME();
    EXPECT_THAT(page, ::testing::HasSubstr("  parent.status[\"sw\"] = 0.2930;\r\n"));
    EXPECT_THAT(page, ::testing::HasSubstr(std::string("  setTimeout('location.reload();',") +
                                           repeat + ");\r\n"));
  }
}

TEST_F(RemoteControl, ControlCommands) {
  struct Case {
    const char* what;
    ASSOC req;
    std::string sent;
    std::string mod, sq;
  } cases[] = {
      {"set value", request({{"set", "sq"}, {"va", "2048"}}), "Q=2048", "1", "2048"},
      {"four digits", request({{"set", "sq"}, {"va", "77"}}), "Q=0077", "1", "77"},
      {"half away from zero", request({{"set", "sq"}, {"va", "12.5"}}), "Q=0013", "1", "12.5"},
      {"leading number", request({{"set", "sq"}, {"va", "5abc"}}), "Q=0005", "1", "5abc"},
      {"no value", request({{"set", "sq"}}), "Q=0000", "1", ""},
      {"name by prefix", request({{"settings", "sq"}, {"va", "100"}}), "Q=0100", "1", "100"},
      {"exact command only", request({{"set", "SQ"}, {"va", "9"}}), "", "1", "4000"},
      {"command with a blank", request({{"set", "sq "}, {"va", "9"}}), "", "1", "4000"},
      {"value without command", request({{"va", "9"}}), "", "1", "4000"},
      {"mode is only recorded", request({{"set", "mod"}, {"va", "4"}}), "", "4", "4000"},
  };
  for (auto& c : cases) {
    ScopedModule fresh;
    Journal journal;
    FakeSerial port{journal};
    fresh->serial = &port;
    fresh->H_PORT = 4;
    port.COM_OPEN(4);
    fresh->oSTATUS.s("mod", "1").s("sq", "4000");
    STEUERBEFEHL(c.req);
    EXPECT_EQ(port.sent(), c.sent) << c.what;
    EXPECT_EQ(fresh->oSTATUS.r("mod", "?"), c.mod) << c.what;
    EXPECT_EQ(fresh->oSTATUS.r("sq", "?"), c.sq) << c.what;
  }
}

TEST_F(RemoteControl, CommandComesBeforeThePage) {
  device_answers("Q=2048");
  device_answers("S=2048");
  ASSOC req = request({{"cl", "dat"}, {"set", "sq"}, {"va", "2048"}});
  std::string page = FERNSTEUERUNG(req, "index.php");
  EXPECT_EQ(serial.sent(), "Q=2048S=????");
  EXPECT_THAT(page, ::testing::HasSubstr("parent.status[\"sq\"] = 2048;"));

  ASSOC keys = request({{"cl", "mkf"}, {"set", "mod"}, {"va", "3"}});
  EXPECT_EQ(FERNSTEUERUNG(keys, "index.php"), mode_keys_page("3"));
  EXPECT_EQ(serial.sent(), "Q=2048S=????");  // the mode never reaches the device
}

}  // namespace
}  // namespace ravelin

// COM_SENDEN / COM_LESEN against the fake service and toolkit.

#include "sq_web/serial/serial_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "sq_web/app/app.h"
#include "sq_web/app/fake_toolkit.h"
#include "sq_web/app/module.h"
#include "sq_web/serial/fake_serial.h"

namespace ravelin {
namespace {

class SerialLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m->toolkit = &tk;
    m->serial = &serial;
    m->H_PORT = 4;
    serial.COM_OPEN(4);
    BILDSCHIRM(1, 1);  // binds the SET button
  }
  ScopedModule m;
  Journal j;
  FakeToolkit tk{j};
  FakeSerial serial{j};
};

TEST_F(SerialLinkTest, ButtonSendsTheSendLineAndLogsTheAnswer) {
  tk.type("Q=5");
  serial.queue_read(std::string());       // nothing pending
  serial.queue_read(std::string("Q=5"));  // the echo
  tk.press_set();
  EXPECT_EQ(serial.sent(), "Q=5");
  EXPECT_EQ(m->log.text(), "LOC: Q=5\r\nCOM: Q=5");
  EXPECT_EQ(tk.log(), "LOC: Q=5\r\nCOM: Q=5\r\n");
  // The button is off exactly while the command goes out.
  std::vector<std::string> order;
  for (auto& e : j.entries())
    if (e.rfind("COM_SEND", 0) == 0 || e.rfind("button", 0) == 0) order.push_back(e);
  EXPECT_THAT(order, ::testing::ElementsAre("button off", "COM_SEND 4 [Q=5] 1000", "button on"));
}

TEST_F(SerialLinkTest, CallersCommandsAndTheOddCases) {
  struct Case {
    std::string name;
    std::string send_line;
    std::string txt;
    std::vector<std::optional<std::string>> reads;
    std::string answer;
    std::string sent;
    std::string log;
    std::string shown;
  };
  const std::string big(2000, 'x');
  const Case cases[] = {
      {"caller",
       "",
       "S=????",
       {"", "S=2048"},
       "S=2048",
       "S=????",
       "WEB: S=????\r\nCOM: S=2048",
       "WEB: S=????\r\nCOM: S=2048\r\n"},
      // The text is compared exactly: a blank is a command of its own.
      {"blank is a command", "X", " ", {}, "", " ", "WEB:  \r\n", "\r\n"},
      {"empty send line",
       "",
       "",
       {"", "late"},
       "late",
       "",
       "LOC: \r\nCOM: late",
       "LOC: \r\nCOM: late\r\n"},
      // A silent device leaves the control empty until the next refresh.
      {"silent", "", "Q=1", {}, "", "Q=1", "WEB: Q=1\r\n", "\r\n"},
      {"no value from the read",
       "",
       "Q=1",
       {std::nullopt, std::nullopt},
       "",
       "Q=1",
       "WEB: Q=1\r\n",
       "\r\n"},
      // Text that came on its own is logged, then wiped, and is not the answer.
      {"unsolicited",
       "",
       "S=????",
       {"ALARM\r\n", "S=0001"},
       "S=0001",
       "S=????",
       "WEB: S=????\r\nCOM: S=0001",
       "WEB: S=????\r\nCOM: S=0001\r\n"},
      {"device line ends are kept",
       "",
       "S=????",
       {"", "S=12\r\n"},
       "S=12\r\n",
       "S=????",
       "WEB: S=????\r\nCOM: S=12\r\n",
       "WEB: S=????\r\nCOM: S=12\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedModule fresh;
    Journal j2;
    FakeToolkit tk2(j2);
    FakeSerial serial2(j2);
    fresh->toolkit = &tk2;
    fresh->serial = &serial2;
    fresh->H_PORT = 1;
    serial2.COM_OPEN(1);
    tk2.type(c.send_line);
    for (auto& r : c.reads) serial2.queue_read(r);
    EXPECT_EQ(COM_SENDEN(c.txt), c.answer);
    EXPECT_EQ(serial2.sent(), c.sent);
    EXPECT_EQ(fresh->log.text(), c.log);
    EXPECT_EQ(tk2.log(), c.shown);
  }
}

TEST_F(SerialLinkTest, ReadsAskForAtMost2000Bytes) {
  COM_LESEN();
  EXPECT_EQ(j.entries().back(), "COM_READ 4 2000");
}

TEST_F(SerialLinkTest, ComLesenLogsOnlyText) {
  m->log.set("keep\r\n");
  EXPECT_EQ(COM_LESEN(), "");
  EXPECT_EQ(m->log.text(), "keep\r\n");
  serial.queue_read(std::string("abc"));
  EXPECT_EQ(COM_LESEN(), "abc");
  EXPECT_EQ(m->log.text(), "keep\r\nCOM: abc");
}

TEST_F(SerialLinkTest, NoPortNoToolkitStillAnswersEmpty) {
  ScopedModule bare;
  EXPECT_EQ(COM_SENDEN("S=????"), "");
  EXPECT_EQ(bare->log.text(), "WEB: S=????\r\n");
}

// A service that notices when two exchanges overlap on the port.
class OverlapSerial : public FakeSerial {
 public:
  using FakeSerial::FakeSerial;
  bool COM_SEND(long port, std::string_view txt, long wait_ms) override {
    if (busy_.exchange(true)) overlaps_++;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    bool ok = FakeSerial::COM_SEND(port, txt, wait_ms);
    return ok;
  }
  std::optional<std::string> COM_READ(long port, size_t max) override {
    auto r = FakeSerial::COM_READ(port, max);
    busy_ = false;  // the exchange's last read ends it
    return r;
  }
  std::atomic<bool> busy_{false};
  std::atomic<int> overlaps_{0};
};

TEST(SerialLinkThreads, OneExchangeAtATime) {
  ScopedModule m;
  Journal j;
  FakeToolkit tk(j);
  OverlapSerial serial(j);
  m->toolkit = &tk;
  m->serial = &serial;
  m->H_PORT = 1;
  serial.COM_OPEN(1);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) COM_SENDEN(t % 2 ? "S=????" : "Q=0013");
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(serial.overlaps_, 0);
  EXPECT_EQ(serial.sent().size(), 200u * 6);
}

}  // namespace
}  // namespace ravelin

// The serial link over the real termios backend, against the device simulator.

#include <gtest/gtest.h>

#include <thread>

#include "sq_web/app/module.h"
#include "sq_web/serial/serial_link.h"
#include "sq_web/serial/serial_service.h"
#include "tests/support/ravelin_test_support.h"

namespace ravelin {
namespace {

using namespace std::chrono_literals;

using test::DevSim;
using test::wait_until;

// A module with the real service, opened on the simulator the way start-up does it.
struct Link {
  explicit Link(const DevSim& sim, int stop_bits = 2, long baud = 9600, long timeout_ms = 50) {
    m->serial = service.get();
    m->H_PORT = 1;
    service->name_device(1, sim.device());
    ok = service->COM_OPEN(1) && service->COM_INIT(1, baud, 'E', 7, stop_bits) &&
         service->COM_HARD(1, false, false) && service->COM_SOFT(1, false) &&
         service->COM_READMODE(1, 1, timeout_ms);
  }
  ScopedModule m;
  std::unique_ptr<SerialService> service = make_system_serial_service();
  bool ok = false;
};

TEST(SerialDevsim, AnswersAndTheReadingMovesTowardsTheSetValue) {
  DevSim sim({"--start", "2048", "--rate", "2000"});
  Link link(sim);
  ASSERT_TRUE(link.ok);
  EXPECT_EQ(COM_SENDEN("S=????"), "S=2048");
  EXPECT_EQ(COM_SENDEN("Q=4000"), "Q=4000");
  EXPECT_EQ(link.m->log.text(), "WEB: Q=4000\r\nCOM: Q=4000");
  std::string last;
  EXPECT_TRUE(wait_until([&] { return (last = COM_SENDEN("S=????")) == "S=4000"; }, 5000ms))
      << last;
  EXPECT_EQ(sim.recorded().substr(0, 12), "S=????Q=4000");
  EXPECT_NE(sim.events().find("settings speed=9600 stopbits=2 rtscts=0 xonxoff=0 ok"),
            std::string::npos);
}

TEST(SerialDevsim, Faults) {
  struct Case {
    std::vector<std::string> args;
    std::string answer;  // "" also for silence
  };
  // Margins are wide so that a loaded machine does not move an answer across a limit: the
  // time-out is 300 ms here, and the split's gap stays well under the 20 ms quiet gap that ends
  // an answer (the benchmark measures the 15 ms split).
  const Case cases[] = {
      {{"--fault", "split", "--split-gap", "5"}, "S=2048"},
      {{"--fault", "partial"}, "S=2"},
      {{"--fault", "silent"}, ""},
      {{"--delay", "30"}, "S=2048"},  // within the time-out
      {{"--delay", "800"}, ""},       // beyond it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    auto args = c.args;
    args.insert(args.end(), {"--start", "2048"});
    DevSim sim(args);
    Link link(sim, 2, 9600, 300);
    ASSERT_TRUE(link.ok);
    EXPECT_EQ(COM_SENDEN("S=????"), c.answer);
  }
}

TEST(SerialDevsim, GarbageOnAWrongLineAndFromAFaultyDevice) {
  {
    DevSim sim;
    Link link(sim, /*stop_bits=*/1);
    std::string a = COM_SENDEN("S=????");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a.find("S="), std::string::npos);
    EXPECT_NE(sim.events().find("stopbits=1 rtscts=0 xonxoff=0 wrong"), std::string::npos);
  }
  {
    DevSim sim({"--baud", "19200"});
    Link link(sim, 2, 9600);
    EXPECT_EQ(COM_SENDEN("S=????").find("S="), std::string::npos);
  }
}

TEST(SerialDevsim, LongAnswerAndUnsolicitedText) {
  {
    DevSim sim({"--fault", "long", "--baud", "0"});
    Link link(sim);
    std::string a = COM_SENDEN("Q=7");
    EXPECT_EQ(a.size(), 2000u);
    EXPECT_EQ(a.substr(0, 3), "Q=7");
    // The rest (503 characters) is taken off the line by the next exchange, and not returned.
    ASSERT_TRUE(
        wait_until([&] { return sim.events().find("answered Q=7") != std::string::npos; }, 5000ms));
    std::string b = COM_SENDEN("Q=8");
    EXPECT_EQ(b.substr(0, 3), "Q=8");
  }
  {
    // The device speaks on its own every 2 s; right after it has, the next exchange takes the
    // text off the line first and gets its own answer alone.
    DevSim sim({"--unsolicited", "ALARM", "--every", "2000", "--baud", "0"});
    Link link(sim);
    ASSERT_TRUE(
        wait_until([&] { return sim.events().find("said ALARM") != std::string::npos; }, 5000ms));
    EXPECT_EQ(COM_SENDEN("Q=9"), "Q=9");
  }
}

TEST(SerialDevsim, HangUpLeavesEmptyAnswers) {
  DevSim sim({"--hangup-after", "1"});
  Link link(sim);
  EXPECT_EQ(COM_SENDEN("Q=1"), "Q=1");
  ASSERT_TRUE(sim.wait_exit());
  for (int i = 0; i < 3; ++i) EXPECT_EQ(COM_SENDEN("S=????"), "");
  EXPECT_EQ(link.m->log.text(), "WEB: S=????\r\n");
}

TEST(SerialDevsim, ExchangesFromSeveralThreadsDoNotMix) {
  DevSim sim({"--start", "1234", "--baud", "115200"});
  Link link(sim, 2, 115200);
  ASSERT_TRUE(link.ok);
  std::atomic<int> bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 10; ++i) {
        std::string cmd = t == 0 ? "S=????" : "H=" + std::to_string(t * 100 + i);
        std::string a = COM_SENDEN(cmd);
        if (t == 0 ? a != "S=1234" : a != cmd) ++bad;
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace ravelin

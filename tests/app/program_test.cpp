// The real program, offscreen, against the device simulator.

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/ravelin_test_support.h"

namespace ravelin {
namespace {

using namespace std::chrono_literals;

using test::DevSim;
using test::RavelinRun;
using test::wait_until;

TEST(Program, StartCommandsAndLineSettings) {
  struct Case {
    std::string ini;
    std::string baud;
    std::string sent;
  };
  const Case cases[] = {
      {"", "9600", "Q=4000H=4000"},
      {"BAUD|19200 \r\nQ|12\r\nHX|7\r\n", "19200", "Q=12H=7"},
      {"BAUD|31250\r\n", "31250", "Q=4000H=4000"},  // a rate without a standard constant
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    DevSim sim({"--baud", c.baud});
    RavelinRun app(sim, c.ini);
    EXPECT_TRUE(wait_until([&] { return sim.recorded() == c.sent; })) << sim.recorded();
    EXPECT_TRUE(wait_until([&] {
      return sim.events().find("settings speed=" + c.baud + " stopbits=2 rtscts=0 xonxoff=0 ok") !=
             std::string::npos;
    })) << sim.events();
    EXPECT_TRUE(app.running()) << app.output();
  }
}

TEST(Program, KeepsRunningWhenTheDeviceHangsUp) {
  DevSim sim({"--hangup-after", "2"});
  RavelinRun app(sim);
  ASSERT_TRUE(sim.wait_exit());
  EXPECT_EQ(sim.recorded(), "Q=4000H=4000");
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(app.running()) << app.output();
}

}  // namespace
}  // namespace ravelin

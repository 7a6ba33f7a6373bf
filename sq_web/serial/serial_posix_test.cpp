// The termios backend: the line settings it builds, and its read rule on a pseudo-terminal whose
// other side the test plays.

#include "sq_web/serial/serial_posix.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "sq_web/serial/serial_service.h"

namespace ravelin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(LineSettings, SevenEvenTwoRawWithoutHandshake) {
  termios t{};
  t.c_iflag = IXON | IXOFF | ICRNL;
  t.c_cflag = CRTSCTS | CS8 | PARODD;
  t.c_lflag = ICANON | ECHO;
  bool custom = true;
  ASSERT_TRUE(make_line_settings(t, 9600, 'E', 7, 2, custom));
  EXPECT_FALSE(custom);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS7));
  EXPECT_TRUE(t.c_cflag & PARENB);
  EXPECT_FALSE(t.c_cflag & PARODD);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_cflag & CREAD);
  EXPECT_FALSE(t.c_iflag & (IXON | IXOFF | ICRNL));
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO));
  EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
  EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));
}

TEST(LineSettings, SpeedsAndRefusedParameters) {
  termios t{};
  bool custom = false;
  EXPECT_TRUE(make_line_settings(t, 19200, 'E', 7, 2, custom));
  EXPECT_FALSE(custom);
  EXPECT_EQ(cfgetospeed(&t), speed_t(B19200));
  EXPECT_TRUE(make_line_settings(t, 31250, 'E', 7, 2, custom));
  EXPECT_TRUE(custom);
  EXPECT_TRUE(make_line_settings(t, 1200, 'N', 8, 1, custom));
  EXPECT_FALSE(t.c_cflag & (PARENB | CSTOPB));
  for (auto [speed, parity, data, stop] : {std::tuple{0L, 'E', 7, 2},
                                           {-9600L, 'E', 7, 2},
                                           {9600L, 'X', 7, 2},
                                           {9600L, 'E', 9, 2},
                                           {9600L, 'E', 7, 3}}) {
    EXPECT_FALSE(make_line_settings(t, speed, parity, data, stop, custom)) << speed << parity;
  }
}

TEST(LineSettings, GapIsThreeCharacterTimesButAtLeast20ms) {
  EXPECT_EQ(inter_character_gap_ms(9600), 20);
  EXPECT_EQ(inter_character_gap_ms(115200), 20);
  EXPECT_EQ(inter_character_gap_ms(1200), 28);
  EXPECT_EQ(inter_character_gap_ms(300), 110);
  EXPECT_EQ(inter_character_gap_ms(0), 20);
}

// A pseudo-terminal: the service opens the device side, the test holds the other.
class PtyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(grantpt(master_), 0);
    ASSERT_EQ(unlockpt(master_), 0);
    service_->name_device(2, ptsname(master_));
    ASSERT_TRUE(service_->COM_OPEN(2));
    ASSERT_TRUE(service_->COM_INIT(2, 9600, 'E', 7, 2));
    ASSERT_TRUE(service_->COM_READMODE(2, 1, 100));
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
  }
  void device_writes(const std::string& s) {
    ASSERT_EQ(write(master_, s.data(), s.size()), ssize_t(s.size()));
  }
  std::string device_reads() {
    std::this_thread::sleep_for(20ms);
    char buf[256];
    int fl = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, fl | O_NONBLOCK);
    ssize_t n = read(master_, buf, sizeof buf);
    fcntl(master_, F_SETFL, fl);
    return n > 0 ? std::string(buf, n) : "";
  }
  static long ms_since(Clock::time_point t0) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  }

  std::unique_ptr<SerialService> service_ = make_system_serial_service();
  int master_ = -1;
};

TEST_F(PtyTest, SendsBytesUnchangedAndReadsTheAnswer) {
  ASSERT_TRUE(service_->COM_SEND(2, "Q=5\r\n\x7f", 1000));
  EXPECT_EQ(device_reads(), "Q=5\r\n\x7f");  // raw: no output processing
  ASSERT_TRUE(service_->COM_SEND(2, "S=????", 1000));
  device_writes("S=2048\r");
  EXPECT_EQ(service_->COM_READ(2, 2000), "S=2048\r");
}

TEST_F(PtyTest, ReadRule) {
  // Nothing pending, time-out long past: the read that clears the line returns at once.
  ASSERT_TRUE(service_->COM_SEND(2, "x", 1000));
  std::this_thread::sleep_for(150ms);
  auto t0 = Clock::now();
  EXPECT_EQ(service_->COM_READ(2, 2000), "");
  EXPECT_LT(ms_since(t0), 50);

  // A silent device costs the time-out after the send, not more.
  ASSERT_TRUE(service_->COM_SEND(2, "S=????", 1000));
  t0 = Clock::now();
  EXPECT_EQ(service_->COM_READ(2, 2000), "");
  EXPECT_GE(ms_since(t0), 80);

  // An answer split by a gap shorter than the inter-character gap comes back whole.
  ASSERT_TRUE(service_->COM_SEND(2, "S=????", 1000));
  std::thread device([this] {
    device_writes("S=2");
    std::this_thread::sleep_for(12ms);
    device_writes("048");
  });
  EXPECT_EQ(service_->COM_READ(2, 2000), "S=2048");
  device.join();
}

TEST_F(PtyTest, LongAnswersStopAt2000AndTheRestWaits) {
  device_writes(std::string(2000, 'a') + "bcd");
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(service_->COM_READ(2, 2000), std::string(2000, 'a'));
  EXPECT_EQ(service_->COM_READ(2, 2000), "bcd");
}

TEST_F(PtyTest, HangUpReadsAsNoValueAndClosedPortsRefuse) {
  close(master_);
  master_ = -1;
  auto t0 = Clock::now();
  EXPECT_EQ(service_->COM_READ(2, 2000), std::nullopt);
  EXPECT_FALSE(service_->COM_SEND(2, "S=????", 1000));
  EXPECT_EQ(service_->COM_READ(2, 2000), std::nullopt);
  EXPECT_LT(ms_since(t0), 500);
  EXPECT_TRUE(service_->COM_CLOSE(2));
  EXPECT_FALSE(service_->COM_CLOSE(2));
  EXPECT_FALSE(service_->COM_SEND(2, "x", 1000));
  EXPECT_EQ(service_->COM_READ(2, 10), std::nullopt);
  EXPECT_FALSE(service_->COM_READMODE(2, 1, 50));
  EXPECT_FALSE(service_->COM_OPEN(0));
}

TEST_F(PtyTest, SecondOpenOfAnOpenPortFails) { EXPECT_FALSE(service_->COM_OPEN(2)); }

}  // namespace
}  // namespace ravelin

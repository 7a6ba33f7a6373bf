#include "sq_web/http/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace ravelin {
namespace {

// Records the order of hooks; repeats until told to stop.
class Recorder : public Thread {
 public:
  explicit Recorder(std::optional<long> interval, int stop_after = -1)
      : interval_(interval), stop_after_(stop_after) {}
  ~Recorder() override { synchronize(0); }
  std::atomic<int> runs{0};
  std::vector<std::string> log;  // written by the thread only; read after synchronize

 protected:
  void atStart() override {
    log.push_back("atStart");
    if (interval_) setInterval(interval_);
  }
  void execute() override {
    log.push_back("execute");
    if (++runs == stop_after_) setInterval(std::nullopt);
  }
  void atEnd() override { log.push_back("atEnd"); }

 private:
  std::optional<long> interval_;
  int stop_after_;
};

TEST(Thread, WithoutIntervalRunsOnce) {
  Recorder t(std::nullopt);
  ASSERT_TRUE(t.start());
  EXPECT_TRUE(t.synchronize(0));
  EXPECT_TRUE(t.ended());
  EXPECT_EQ(t.log, (std::vector<std::string>{"atStart", "execute", "atEnd"}));
  EXPECT_FALSE(t.start());  // once per object
}

TEST(Thread, IntervalRepeatsUntilRemovedFromInside) {
  Recorder t(1, 3);
  ASSERT_TRUE(t.start());
  EXPECT_TRUE(t.synchronize(0));
  EXPECT_EQ(t.log, (std::vector<std::string>{"atStart", "execute", "execute", "execute", "atEnd"}));
}

TEST(Thread, RemovingTheIntervalEndsAWaitingThreadAtOnce) {
  // A long interval: without the wake-up, the thread would sleep 100 s before ending.
  Recorder t(10000);
  ASSERT_TRUE(t.start());
  while (t.runs.load() == 0) std::this_thread::yield();
  EXPECT_FALSE(t.synchronize(5));  // still waiting for its next run
  const auto began = std::chrono::steady_clock::now();
  t.setInterval(std::nullopt);
  EXPECT_TRUE(t.synchronize(0));
  EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(10));
  EXPECT_EQ(t.runs.load(), 1);
  EXPECT_EQ(t.log.back(), "atEnd");
}

TEST(Thread, SynchronizeOnANeverStartedThreadReturns) {
  Recorder t(std::nullopt);
  EXPECT_TRUE(t.synchronize(0));
}

// A detached thread deletes its object after atEnd.
class Flagged : public Thread {
 public:
  explicit Flagged(std::atomic<int>& state) : state_(state) {}
  ~Flagged() override { state_ = 2; }

 protected:
  void atEnd() override { state_ = 1; }

 private:
  std::atomic<int>& state_;
};

TEST(Thread, DetachedObjectDeletesItself) {
  std::atomic<int> state{0};
  std::unique_ptr<Thread> t = std::make_unique<Flagged>(state);
  ASSERT_TRUE(Thread::start_detached(t));
  EXPECT_EQ(t, nullptr);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (state.load() != 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(state.load(), 2);
}

}  // namespace
}  // namespace ravelin

#include "sq_web/http/thread.h"

#include <system_error>

namespace ravelin {

Thread::~Thread() {
  // A derived class that owns a running thread must end it in its own destructor; this is the
  // last line of defence against destroying a joinable std::thread.
  if (worker_.joinable()) worker_.join();
}

Thread& Thread::init() {
  std::lock_guard lk(mu_);
  interval_.reset();
  return *this;
}

bool Thread::start() {
  std::lock_guard lk(mu_);
  if (started_) return false;
  try {
    worker_ = std::thread([this] { run(); });
  } catch (const std::system_error&) {
    return false;
  }
  started_ = true;
  return true;
}

bool Thread::start_detached(std::unique_ptr<Thread>& t) {
  Thread* raw = t.get();
  {
    std::lock_guard lk(raw->mu_);
    if (raw->started_) return false;
    raw->started_ = true;
  }
  try {
    std::thread([raw] {
      raw->run();
      delete raw;
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard lk(raw->mu_);
    raw->started_ = false;
    return false;
  }
  t.release();
  return true;
}

Thread& Thread::setInterval(std::optional<long> hundredths) {
  {
    std::lock_guard lk(mu_);
    interval_ = hundredths;
  }
  cv_.notify_all();
  return *this;
}

bool Thread::synchronize(long hundredths) {
  std::unique_lock lk(mu_);
  if (!started_) return true;
  if (hundredths == 0) {
    cv_.wait(lk, [this] { return ended_; });
  } else if (!cv_.wait_for(lk, std::chrono::milliseconds(hundredths * 10),
                           [this] { return ended_; })) {
    return false;
  }
  // Reap the system thread so that the object can be destroyed safely afterwards.
  if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id()) {
    std::thread w = std::move(worker_);
    lk.unlock();
    w.join();
  }
  return true;
}

bool Thread::started() const {
  std::lock_guard lk(mu_);
  return started_;
}

bool Thread::ended() const {
  std::lock_guard lk(mu_);
  return ended_;
}

void Thread::run() {
  using Clock = std::chrono::steady_clock;
  atStart();
  for (;;) {
    const auto began = Clock::now();
    execute();
    std::unique_lock lk(mu_);
    if (!interval_) break;
    // Wait for the next run; a changed interval is honoured at once, a removed one ends the loop.
    bool removed = false;
    for (;;) {
      if (!interval_) {
        removed = true;
        break;
      }
      const auto due = began + std::chrono::milliseconds(*interval_ * 10);
      if (Clock::now() >= due) break;
      cv_.wait_until(lk, due);
    }
    if (removed) break;
  }
  atEnd();
  {
    std::lock_guard lk(mu_);
    ended_ = true;
  }
  cv_.notify_all();
}

}  // namespace ravelin

#pragma once
// The thread facility of the server classes, over std::thread.
//
// start() runs, in a new thread: atStart() once, then execute() once; while an interval is set,
// execute() runs again each time the interval has elapsed (measured from the start of the
// previous run); after the last run atEnd() runs once and the thread ends.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace ravelin {

class Thread {
 public:
  Thread() { init(); }
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Base initialisation: no interval. Call before start().
  Thread& init();

  // Starts the operating-system thread; once per object. False when the system refuses a new
  // thread (then no hook runs).
  bool start();

  // Starts a thread object that nobody keeps: it deletes itself after atEnd(). On failure the
  // object is handed back in `t` and no hook has run.
  static bool start_detached(std::unique_ptr<Thread>& t);

  // Repeat interval in hundredths of a second; nullopt (NIL) removes it, which lets the run in
  // progress (or the wait for the next one) finish, then atEnd() runs and the thread ends.
  // Callable from any thread.
  Thread& setInterval(std::optional<long> hundredths);

  // Waits until the thread has ended: without limit for 0, else up to `hundredths` hundredths of a
  // second. Call from another thread than this one. Returns true when the thread has ended (or
  // was never started).
  bool synchronize(long hundredths);

  bool started() const;
  bool ended() const;

 protected:
  virtual void atStart() {}
  virtual void execute() {}
  virtual void atEnd() {}

 private:
  void run();

  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::optional<long> interval_;
  bool started_ = false;
  bool ended_ = false;
  std::thread worker_;
};

}  // namespace ravelin

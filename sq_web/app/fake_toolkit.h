#pragma once
// A toolkit for unit tests: records what the program does to the window into a journal and runs
// a scripted event loop.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "sq_web/app/toolkit.h"

namespace ravelin {

// One ordered record of calls, shared by the fakes of a test so that their order can be checked.
class Journal {
 public:
  void add(std::string entry) {
    std::lock_guard lk(mu_);
    entries_.push_back(std::move(entry));
  }
  std::vector<std::string> entries() const {
    std::lock_guard lk(mu_);
    return entries_;
  }

 private:
  mutable std::mutex mu_;
  std::vector<std::string> entries_;
};

class FakeToolkit : public Toolkit {
 public:
  explicit FakeToolkit(Journal& journal) : journal_(journal) {}

  void build_window(const WindowSetup& setup, WindowCallbacks callbacks) override {
    journal_.add("window " + std::to_string(setup.x) + "," + std::to_string(setup.y) + " " +
                 setup.title);
    std::lock_guard lk(mu_);
    callbacks_ = std::move(callbacks);
  }
  void message_box(std::string_view text, std::string_view title) override {
    journal_.add("box " + std::string(text) + "|" + std::string(title));
  }
  // Runs the test's script "inside" the loop, then leaves it the way the script said.
  LoopExit run_loop() override {
    journal_.add("loop");
    LoopExit how = loop_script ? loop_script(*this) : LoopExit::escape;
    if (how == LoopExit::closed) close();
    return how;
  }
  void set_log(std::string oem_text) override {
    std::lock_guard lk(mu_);
    log_history_.push_back(oem_text);
    log_ = std::move(oem_text);
  }
  std::string send_line() override {
    std::lock_guard lk(mu_);
    return send_line_;
  }
  void set_button_enabled(bool enabled) override {
    journal_.add(enabled ? "button on" : "button off");
  }

  // Test side.
  void type(std::string text) {
    std::lock_guard lk(mu_);
    send_line_ = std::move(text);
  }
  void press_set() { callbacks().on_set(); }
  void close() { callbacks().on_close(); }
  std::string log() const {
    std::lock_guard lk(mu_);
    return log_;
  }
  std::vector<std::string> log_history() const {
    std::lock_guard lk(mu_);
    return log_history_;
  }
  std::function<LoopExit(FakeToolkit&)> loop_script;

 private:
  WindowCallbacks callbacks() {
    std::lock_guard lk(mu_);
    return callbacks_;
  }
  Journal& journal_;
  mutable std::mutex mu_;
  WindowCallbacks callbacks_;
  std::string log_;
  std::vector<std::string> log_history_;
  std::string send_line_;
};

}  // namespace ravelin

#pragma once
// A serial service for unit tests: records every call into a journal, answers reads from a queue
// and can be told to fail single operations.

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "sq_web/app/fake_toolkit.h"
#include "sq_web/serial/serial_service.h"

namespace ravelin {

class FakeSerial : public SerialService {
 public:
  explicit FakeSerial(Journal& journal) : journal_(journal) {}

  // Operation names ("COM_OPEN", "COM_INIT", ...) that fail.
  std::set<std::string> failing;

  // The next reads return these, one each; an empty queue reads as "".
  void queue_read(std::optional<std::string> r) {
    std::lock_guard lk(mu_);
    reads_.push_back(std::move(r));
  }
  std::string sent() const {
    std::lock_guard lk(mu_);
    return sent_;
  }

  void name_device(long port, std::string device) override {
    journal_.add("name_device " + std::to_string(port) + " " + device);
  }
  bool COM_OPEN(long port) override {
    if (!call("COM_OPEN", "COM_OPEN " + std::to_string(port), false) || open_ || port < 1)
      return false;
    open_ = true;
    return true;
  }
  bool COM_INIT(long port, long speed, char parity, int data_bits, int stop_bits) override {
    return call("COM_INIT", "COM_INIT " + std::to_string(port) + " " + std::to_string(speed) + " " +
                                parity + " " + std::to_string(data_bits) + " " +
                                std::to_string(stop_bits));
  }
  bool COM_HARD(long port, bool rts_cts, bool dtr) override {
    return call("COM_HARD", "COM_HARD " + std::to_string(port) + " " + std::to_string(rts_cts) +
                                " " + std::to_string(dtr));
  }
  bool COM_SOFT(long port, bool xon_xoff) override {
    return call("COM_SOFT", "COM_SOFT " + std::to_string(port) + " " + std::to_string(xon_xoff));
  }
  bool COM_READMODE(long port, int mode, long timeout_ms) override {
    return call("COM_READMODE", "COM_READMODE " + std::to_string(port) + " " +
                                    std::to_string(mode) + " " + std::to_string(timeout_ms));
  }
  bool COM_SEND(long port, std::string_view txt, long wait_ms) override {
    {
      std::lock_guard lk(mu_);
      sent_ += txt;
    }
    return call("COM_SEND", "COM_SEND " + std::to_string(port) + " [" + std::string(txt) + "] " +
                                std::to_string(wait_ms));
  }
  std::optional<std::string> COM_READ(long port, size_t max_bytes) override {
    if (!call("COM_READ", "COM_READ " + std::to_string(port) + " " + std::to_string(max_bytes)))
      return std::nullopt;
    std::lock_guard lk(mu_);
    if (reads_.empty()) return std::string();
    auto r = std::move(reads_.front());
    reads_.pop_front();
    return r;
  }
  bool COM_CLOSE(long port) override {
    bool ok = call("COM_CLOSE", "COM_CLOSE " + std::to_string(port));
    if (ok) open_ = false;
    return ok;
  }

 private:
  // Like a real port: every operation but the open fails while the port is closed.
  bool call(const std::string& op, std::string entry, bool needs_open = true) {
    journal_.add(std::move(entry));
    return !failing.count(op) && (!needs_open || open_);
  }
  Journal& journal_;
  mutable std::mutex mu_;
  std::deque<std::optional<std::string>> reads_;
  std::string sent_;
  std::atomic<bool> open_{false};
};

}  // namespace ravelin

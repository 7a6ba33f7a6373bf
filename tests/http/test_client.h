#pragma once
// A plain blocking loopback client for the server tests, and a fixture that runs a listener on a
// free port with a dispatcher of the test's own.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sq_web/http/server.h"

namespace ravelin::testing {

using namespace std::chrono_literals;

// Connects to 127.0.0.1:port; -1 on failure.
int connect_loopback(long port);
// Starts a connect without waiting for it (for floods of idle connections); -1 on failure.
int connect_loopback_nowait(long port);
// Sends everything (no SIGPIPE); false when the peer is gone.
bool send_all(int fd, std::string_view bytes);

struct Reply {
  std::string bytes;
  bool closed = false;  // the server ended the connection (orderly or by reset) before the deadline
};
// Reads until the server ends the connection or `limit` has passed.
Reply read_until_closed(int fd, std::chrono::milliseconds limit = 10s);

// One request on a new connection: sends it, half-closes (so the server need not wait for more)
// and reads the whole reply. Closes the connection.
Reply round_trip(long port, std::string_view request, bool half_close = true);

// Waits until `cond` holds or `limit` has passed; returns the last value of `cond`.
bool wait_for(const std::function<bool()>& cond, std::chrono::milliseconds limit = 10s);

// Resident memory of this process in bytes.
long resident_bytes();

// The response the server gives for `body`.
std::string ok_response(std::string_view body);

// A listener on a free port with password "P" (or as given) and a dispatcher that records each
// call and answers "<page path>" unless the path is "empty" (no answer) or "block" (waits for
// release()).
class ServerFixture {
 public:
  explicit ServerFixture(std::string webpass = "P");
  ~ServerFixture();  // stops the listener and waits for every connection thread

  long port() const { return server_->port(); }
  ServerThread& server() { return *server_; }
  int clients() const { return clients_.load(); }

  struct Call {
    std::string path;
    std::vector<std::pair<std::string, std::string>> params;
  };
  std::vector<Call> calls() const;
  int blocked() const;
  void release(int n);

 private:
  std::string dispatch(ASSOC& req, const std::string& url);

  std::atomic<int> clients_{0};
  mutable std::mutex mu_;
  std::condition_variable cv_;
  std::vector<Call> calls_;
  int blocked_ = 0;
  int releases_ = 0;
  std::unique_ptr<ServerThread> server_;
};

}  // namespace ravelin::testing

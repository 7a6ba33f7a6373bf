#include "tests/http/test_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <thread>

#include "sq_web/http/request.h"

namespace ravelin::testing {
namespace {

sockaddr_in loopback(long port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

}  // namespace

int connect_loopback(long port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in a = loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

int connect_loopback_nowait(long port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  sockaddr_in a = loopback(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    close(fd);
    return -1;
  }
  return fd;
}

bool send_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

Reply read_until_closed(int fd, std::chrono::milliseconds limit) {
  Reply r;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  char buf[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return r;
    pollfd p{fd, POLLIN, 0};
    int pr = poll(&p, 1, static_cast<int>(left));
    if (pr < 0 && errno == EINTR) continue;
    if (pr <= 0) return r;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n > 0) {
      r.bytes.append(buf, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    r.closed = true;  // end of stream, or reset
    return r;
  }
}

Reply round_trip(long port, std::string_view request, bool half_close) {
  int fd = connect_loopback(port);
  if (fd < 0) return {};
  send_all(fd, request);
  if (half_close) shutdown(fd, SHUT_WR);
  Reply r = read_until_closed(fd);
  close(fd);
  return r;
}

bool wait_for(const std::function<bool()>& cond, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

long resident_bytes() {
  std::ifstream f("/proc/self/statm");
  long pages = 0, resident = 0;
  f >> pages >> resident;
  return resident * sysconf(_SC_PAGESIZE);
}

std::string ok_response(std::string_view body) { return build_response(body, true); }

ServerFixture::ServerFixture(std::string webpass) {
  ServerContext ctx;
  ctx.webpass = std::move(webpass);
  ctx.clients = &clients_;
  ctx.dispatch = [this](ASSOC& req, const std::string& url) { return dispatch(req, url); };
  server_ = std::make_unique<ServerThread>(0, std::move(ctx));
  server_->start();
  server_->wait_started(10000);
}

ServerFixture::~ServerFixture() {
  release(1000);
  server_->stop();
  // Connection threads are not waited for by stop(); they use this fixture until they end.
  wait_for([this] { return clients_.load() == 0; }, 20s);
}

std::string ServerFixture::dispatch(ASSOC& req, const std::string& url) {
  Call c{url, {}};
  for (const auto& [name, value] : req.arr()) c.params.emplace_back(name, value_text(value));
  std::unique_lock lk(mu_);
  calls_.push_back(std::move(c));
  if (url == "empty") return "";
  if (url == "block") {
    ++blocked_;
    cv_.notify_all();
    cv_.wait(lk, [this] { return releases_ > 0; });
    --releases_;
    --blocked_;
  }
  return "<" + url + ">";
}

std::vector<ServerFixture::Call> ServerFixture::calls() const {
  std::lock_guard lk(mu_);
  return calls_;
}

int ServerFixture::blocked() const {
  std::lock_guard lk(mu_);
  return blocked_;
}

void ServerFixture::release(int n) {
  {
    std::lock_guard lk(mu_);
    releases_ += n;
  }
  cv_.notify_all();
}

}  // namespace ravelin::testing

// The server under abuse: a flood of idle connections, a client that trickles bytes, a body of a
// megabyte. It stays up, its memory stays bounded, and a normal request is answered afterwards.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

#include "sq_web/http/request.h"
#include "tests/http/test_client.h"

namespace ravelin::testing {
namespace {

const std::string kTestRequest = "GET /mjnj8419.vum HTTP/1.1\r\n\r\n";

// A normal request is answered, retrying while the listen queue may still be full of the abuse.
bool answered_normally(long port) {
  return wait_for([&] { return round_trip(port, kTestRequest).bytes == ok_response(kTestPage); },
                  60s);
}

TEST(Abuse, IdleFloodTrickleAndHugeBody) {
  ServerFixture fx;
  ASSERT_NE(fx.port(), 0);
  ASSERT_TRUE(answered_normally(fx.port()));
  const long rss_before = resident_bytes();

  // 200 connections that send nothing. Connects are not waited for: once the listen queue is
  // full the system holds further ones back.
  std::vector<int> idle;
  for (int i = 0; i < 200; ++i) {
    int fd = connect_loopback_nowait(fx.port());
    if (fd >= 0) idle.push_back(fd);
  }
  EXPECT_GT(idle.size(), 100u);

  // While they hang around: a client that trickles a request a byte at a time, and one that
  // announces and pushes a megabyte of body. Both connect once the flood has been drained enough.
  std::thread trickle([&] {
    int fd = -1;
    wait_for([&] { return (fd = connect_loopback(fx.port())) >= 0; }, 30s);
    ASSERT_GE(fd, 0);
    // A request line that never ends: it trickles on until the server hangs up.
    const std::string start = "GET /mjnj8419.vum?";
    send_all(fd, start);
    Reply r;
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!r.closed && std::chrono::steady_clock::now() < deadline) {
      if (!send_all(fd, "a")) r.closed = true;
      std::this_thread::sleep_for(50ms);  // the trickle itself
      char buf[256];
      ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) r.bytes.append(buf, static_cast<std::size_t>(n));
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) r.closed = true;
    }
    close(fd);
    // The server gave up on it after its read window: no answer, connection closed.
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.bytes, "");
  });
  std::thread huge([&] {
    int fd = -1;
    wait_for([&] { return (fd = connect_loopback(fx.port())) >= 0; }, 30s);
    ASSERT_GE(fd, 0);
    const std::string body(1 << 20, 'x');
    send_all(fd, "POST /mjnj8419.vum HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) +
                     "\r\n\r\n");
    send_all(fd, body);  // the server stops reading; this ends when it closes
    Reply r = read_until_closed(fd, 30s);
    close(fd);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.bytes, "");
  });
  trickle.join();
  huge.join();
  for (int fd : idle) close(fd);

  EXPECT_TRUE(answered_normally(fx.port()));
  EXPECT_TRUE(wait_for([&] { return fx.clients() == 0; }, 30s));
  // Only a gross leak fails this: the abuse must not leave megabytes behind.
  EXPECT_LT(resident_bytes() - rss_before, 64L << 20);
}

}  // namespace
}  // namespace ravelin::testing

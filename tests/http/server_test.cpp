// The server over real loopback sockets: what is answered (byte for byte), what is not, the
// connection limit and stopping.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "sq_web/http/request.h"
#include "sq_web/http/socket.h"
#include "tests/http/test_client.h"

namespace ravelin::testing {
namespace {

using Params = std::vector<std::pair<std::string, std::string>>;

std::string get(std::string_view target) {
  return "GET " + std::string(target) + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

class Server : public ::testing::Test {
 protected:
  ServerFixture fx;
  void SetUp() override { ASSERT_NE(fx.port(), 0); }
};

TEST_F(Server, TestPageExactBytes) {
  Reply r = round_trip(fx.port(), get("/mjnj8419.vum"));
  EXPECT_TRUE(r.closed);
  EXPECT_EQ(r.bytes,
            "HTTP/1.1 200 OK\r\nServer: Brix 0.3\r\nContent-Length: 47\r\n"
            "Content-Language: de\r\nConnection: close\r\n\r\n"
            "<html><body>Test Flughafen Tarp</body></html>\r\n\r\n");
  EXPECT_TRUE(fx.calls().empty());
  EXPECT_TRUE(wait_for([&] { return fx.clients() == 0; }));
}

TEST_F(Server, TestPathVariantsAnswered) {
  for (const char* target : {"/mjnj8419.vumx", "/mjnj8419.vum?x=1", "/mjnj8419.vum/abc"}) {
    SCOPED_TRACE(target);
    EXPECT_EQ(round_trip(fx.port(), get(target)).bytes, ok_response(kTestPage));
  }
}

TEST_F(Server, SecretPrefixReachesTheDispatcher) {
  struct Case {
    const char* target;
    const char* path;
  };
  const Case cases[] = {
      {"/P/index.php?cl=mkf", "index.php"},
      {"/P", ""},
      {"/P/", ""},
      {"/PXindex.php", "index.php"},
      {"/PX/index.php", "/index.php"},
      {"/%50/index.php", "index.php"},  // compared after decoding
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target);
    EXPECT_EQ(round_trip(fx.port(), get(c.target)).bytes,
              ok_response("<" + std::string(c.path) + ">"));
  }
  auto calls = fx.calls();
  ASSERT_EQ(calls.size(), std::size(cases));
  for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(calls[i].path, cases[i].path);
  EXPECT_EQ(calls[0].params, (Params{{"cl", "mkf"}}));
}

TEST_F(Server, SummaryLineOnStandardOutput) {
  ::testing::internal::CaptureStdout();
  round_trip(fx.port(), "POST /P/index.php?cl=dat HTTP/1.1\r\nContent-Length: 4\r\n\r\nva=5");
  wait_for([&] { return fx.clients() == 0; });
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "P/index.php POST:va=5 GET:cl=dat" + std::string(60, ' ') + "\n");
}

TEST_F(Server, PrefixAndTestPathGiveTwoAnswers) {
  Reply r = round_trip(fx.port(), get("/P//mjnj8419.vum"));
  EXPECT_EQ(r.bytes, ok_response("</mjnj8419.vum>") + ok_response(kTestPage));
  ASSERT_EQ(fx.calls().size(), 1u);
  EXPECT_EQ(fx.calls()[0].path, "/mjnj8419.vum");
}

TEST(ServerEmptyPassword, EveryPathGoesToTheDispatcher) {
  ServerFixture fx("");
  EXPECT_EQ(round_trip(fx.port(), get("/x/y")).bytes, ok_response("</y>"));
  EXPECT_EQ(round_trip(fx.port(), get("/ab")).bytes, ok_response("<b>"));
}

TEST_F(Server, ParametersDecoded) {
  struct Case {
    std::string request;
    Params params;
  };
  const std::vector<Case> cases = {
      {"POST /P/a?cl=mkf HTTP/1.1\r\nContent-Length: 12\r\n\r\nva=5&set=mod",
       {{"cl", "mkf"}, {"va", "5"}, {"set", "mod"}}},
      {"POST /P/a HTTP/1.1\r\nContent-Length: 7\r\n\r\na%26b=1", {{"b", "1"}}},
      {"GET /P/a? HTTP/1.1\r\n\r\n", {}},
      {"GET /P/a?x=%41+b HTTP/1.1\r\n\r\n", {{"x", "A b"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(round_trip(fx.port(), c.request).bytes, ok_response("<a>"));
  auto calls = fx.calls();
  ASSERT_EQ(calls.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].request);
    EXPECT_EQ(calls[i].params, cases[i].params);
  }
}

TEST_F(Server, LongRequestReadWhole) {
  // 1200 bytes: more than two receive buffers, all of it read.
  std::string head = "GET /P/long?v=";
  std::string tail = " HTTP/1.1\r\n\r\n";
  std::string value(1200 - head.size() - tail.size(), 'z');
  std::string request = head + value + tail;
  ASSERT_EQ(request.size(), 1200u);
  EXPECT_EQ(round_trip(fx.port(), request).bytes, ok_response("<long>"));
  ASSERT_EQ(fx.calls().size(), 1u);
  EXPECT_EQ(fx.calls()[0].params, (Params{{"v", value}}));
}

TEST_F(Server, BodyArrivingLaterIsWaitedFor) {
  // Without closing its side, the client sends the head, then the body a moment later.
  int fd = connect_loopback(fx.port());
  ASSERT_GE(fd, 0);
  send_all(fd, "POST /P/late HTTP/1.1\r\nContent-Length: 7\r\n\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the delay under test
  send_all(fd, "va=1234");
  Reply r = read_until_closed(fd);
  close(fd);
  EXPECT_EQ(r.bytes, ok_response("<late>"));
  ASSERT_EQ(fx.calls().size(), 1u);
  EXPECT_EQ(fx.calls()[0].params, (Params{{"va", "1234"}}));
}

TEST_F(Server, HiddenFromEverythingElse) {
  const std::string big_header(70 * 1024, 'h');
  const std::vector<std::string> requests = {
      "",
      get("/"),
      get("/index.php"),
      get("/MJNJ8419.vum"),
      get("/mjnj8419.vu"),
      get("/test7776.ph"),
      get("/Q/index.php"),
      get("/p/index.php"),
      get("//P/index.php"),
      get("/%2FP/index.php"),
      get("mjnj8419.vum"),
      get("http://127.0.0.1/mjnj8419.vum"),
      get("/../../etc/passwd"),
      get("/%zz"),
      get("/P/empty"),  // the dispatcher has no answer
      "\r\n\r\n",
      "GARBAGE without a line feed",
      "GET\r\n\r\n",
      "GET  /mjnj8419.vum HTTP/1.1\r\n\r\n",
      "GET\t/mjnj8419.vum HTTP/1.1\r\n\r\n",
      std::string("\xff\xfe\x00\x01 /x \x80\r\n\r\n", 13),
      "POST /x HTTP/1.1\r\n\r\n/mjnj8419.vum",
      // Over the size limit, though the path would be answered.
      "GET /mjnj8419.vum HTTP/1.1\r\nX: " + big_header + "\r\n\r\n",
      "POST /mjnj8419.vum HTTP/1.1\r\nContent-Length: 70000\r\n\r\nabc",
  };
  for (const auto& request : requests) {
    SCOPED_TRACE(request.substr(0, 60));
    Reply r = round_trip(fx.port(), request);
    EXPECT_TRUE(r.closed);
    EXPECT_EQ(r.bytes, "");
  }
  ASSERT_EQ(fx.calls().size(), 1u);
  EXPECT_EQ(fx.calls()[0].path, "empty");
  // Every connection thread has given its unit back.
  EXPECT_TRUE(wait_for([&] { return fx.clients() == 0; }));
}

TEST_F(Server, FifthConnectionClosedThenServedAgain) {
  std::vector<int> slow;
  for (int i = 0; i < 4; ++i) {
    int fd = connect_loopback(fx.port());
    ASSERT_GE(fd, 0);
    send_all(fd, get("/P/block"));
    slow.push_back(fd);
  }
  ASSERT_TRUE(wait_for([&] { return fx.blocked() == 4; }));
  EXPECT_EQ(fx.clients(), 4);

  Reply fifth = round_trip(fx.port(), get("/mjnj8419.vum"));
  EXPECT_TRUE(fifth.closed);
  EXPECT_EQ(fifth.bytes, "");

  fx.release(1);
  ASSERT_TRUE(wait_for([&] { return fx.clients() == 3; }));
  EXPECT_EQ(round_trip(fx.port(), get("/mjnj8419.vum")).bytes, ok_response(kTestPage));

  fx.release(3);
  for (int fd : slow) {
    EXPECT_EQ(read_until_closed(fd).bytes, ok_response("<block>"));
    close(fd);
  }
  EXPECT_TRUE(wait_for([&] { return fx.clients() == 0; }));
}

TEST_F(Server, StopEndsTheListenerAndFreesThePort) {
  const long port = fx.port();
  EXPECT_EQ(round_trip(port, get("/mjnj8419.vum")).bytes, ok_response(kTestPage));
  fx.server().stop();
  EXPECT_TRUE(fx.server().ended());  // atEnd has run before stop() returned
  EXPECT_EQ(fx.server().socket(), 0);
  EXPECT_EQ(connect_loopback(port), -1);  // nobody listens any more
  fx.server().stop();                     // a second stop does nothing
  EXPECT_TRUE(fx.server().ended());
}

TEST(ServerPortTaken, ListenerEndsByItselfAndSaysWhy) {
  // Hold a port with a listener of our own.
  std::string why;
  SocketHandle holder = SOCKETCREATE(1, 0, &why);
  ASSERT_NE(holder, 0) << why;
  ASSERT_TRUE(SOCKETLISTEN(holder, 8));
  const long port = SOCKETLOCALPORT(holder);

  std::atomic<int> clients{0};
  ::testing::internal::CaptureStderr();
  {
    ServerThread server(port, ServerContext{"P", &clients, {}});
    ASSERT_TRUE(server.start());
    EXPECT_TRUE(server.synchronize(1000));  // it ends without being stopped
    EXPECT_EQ(server.socket(), 0);
    EXPECT_EQ(server.port(), 0);
    server.stop();  // nothing to do
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("cannot listen on port " + std::to_string(port)), std::string::npos) << err;
  SOCKETCLOSE(holder);
}

TEST(ServerRestart, BindsTheSamePortAgainAtOnce) {
  std::atomic<int> clients{0};
  long port = 0;
  {
    ServerThread first(0, ServerContext{"P", &clients, {}});
    first.start();
    ASSERT_TRUE(first.wait_started(10000));
    port = first.port();
    ASSERT_NE(port, 0);
    // A served connection leaves a socket in TIME_WAIT on the server's side.
    EXPECT_EQ(round_trip(port, get("/mjnj8419.vum")).bytes, ok_response(kTestPage));
    ASSERT_TRUE(wait_for([&] { return clients.load() == 0; }));
  }
  ServerThread second(port, ServerContext{"P", &clients, {}});
  second.start();
  ASSERT_TRUE(second.wait_started(10000));
  EXPECT_EQ(second.port(), port);
}

}  // namespace
}  // namespace ravelin::testing

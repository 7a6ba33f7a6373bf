// Requests that try to leave the web folder, sent over loopback to the real listener with the real
// remote control behind it: none is answered and nothing outside web/ is read.

#include <gtest/gtest.h>

#include <filesystem>

#include "sq_web/app/fake_toolkit.h"
#include "sq_web/app/module.h"
#include "sq_web/control/remote_control.h"
#include "sq_web/core/files.h"
#include "sq_web/http/server.h"
#include "tests/http/test_client.h"

namespace ravelin {
namespace {

namespace fs = std::filesystem;
using testing::round_trip;

class Traversal : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = fs::current_path();
    dir_ = fs::path(::testing::TempDir()) / "traversal";
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "web" / "sub");
    fs::current_path(dir_);
    MYWRITEFILE("web/sub/a.txt", "inside");
    MYWRITEFILE("secret.txt", "SECRET");
    MYWRITEFILE("config.ini", "SECRET|1");
    m->toolkit = &tk;
    m->oSTATUS.s("mod", "1").s("sq", "4000");
    server_ = std::make_unique<ServerThread>(0, ServerContext{"P", &m->CLIENTS, FERNSTEUERUNG});
    server_->start();
    ASSERT_TRUE(server_->wait_started(5000));
    ASSERT_NE(server_->port(), 0);
  }
  void TearDown() override {
    server_->stop();
    testing::wait_for([&] { return m->CLIENTS.load() == 0; });
    fs::current_path(old_cwd_);
  }
  testing::Reply get(const std::string& target) {
    return round_trip(server_->port(), "GET " + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
  }

  ScopedModule m;
  Journal j;
  FakeToolkit tk{j};
  std::unique_ptr<ServerThread> server_;
  fs::path old_cwd_, dir_;
};

TEST_F(Traversal, NoAttemptIsAnswered) {
  ASSERT_EQ(get("/P/sub/a.txt").bytes, testing::ok_response("inside"));

  const std::string abs = (dir_ / "secret.txt").string();
  const std::string attempts[] = {
      "/P/../secret.txt",
      "/P/../config.ini",
      "/P/%2e%2e/secret.txt",
      "/P/%2E%2E%2Fsecret.txt",
      "/P/.%2e/secret.txt",
      "/P/sub/../../secret.txt",
      "/P/sub/%2e%2e/%2e%2e/secret.txt",
      "/P/" + abs,
      "/P/%2F" + abs.substr(1),
      "/P/..\\secret.txt",
      "/P/..%5csecret.txt",
      "/P/sub\\..\\..\\secret.txt",
      "/P//../secret.txt",
      "/P/sub//../../secret.txt",
      "/P/%00/../secret.txt",
      "/P/sub/a.txt%00/../../../secret.txt",
      "/P/C:/secret.txt",
      "/P/....//secret.txt",
      "/P/./../secret.txt",
      "/P/..",
      "/P/sub/..",
      "/P/../web/sub/a.txt",
  };
  for (const auto& target : attempts) {
    m->log.set("");
    testing::Reply r = get(target);
    EXPECT_EQ(r.bytes, "") << target;
    EXPECT_TRUE(r.closed) << target;
    EXPECT_EQ(m->log.text(), "wrong request -> hide server \r\n") << target;
  }
}

}  // namespace
}  // namespace ravelin

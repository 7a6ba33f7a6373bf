#include "tests/support/ravelin_test_support.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace ravelin::test {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "test support: %s\n", what.c_str());
  std::abort();
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<char*> c_args(std::vector<std::string>& args) {
  std::vector<char*> out;
  for (auto& a : args) out.push_back(a.data());
  out.push_back(nullptr);
  return out;
}

// SIGTERM, then SIGKILL when it has not ended within `grace`; the wait status.
int terminate(pid_t pid, std::chrono::milliseconds grace) {
  int status = 0;
  if (pid <= 0) return status;
  if (waitpid(pid, &status, WNOHANG) == pid) return status;
  kill(pid, SIGTERM);
  if (wait_until([&] { return waitpid(pid, &status, WNOHANG) == pid; }, grace)) return status;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return status;
}

bool alive(pid_t& pid, int* status_out = nullptr) {
  if (pid <= 0) return false;
  int status = 0;
  if (waitpid(pid, &status, WNOHANG) == pid) {
    if (status_out) *status_out = status;
    pid = -1;
    return false;
  }
  return true;
}

}  // namespace

std::string devsim_path() { return RAVELIN_DEVSIM_PATH; }
std::string program_path() { return RAVELIN_PROGRAM_PATH; }
std::string source_dir() { return RAVELIN_SOURCE_DIR; }
std::string output_dir() {
  fs::create_directories(RAVELIN_TEST_OUTPUT_DIR);
  return RAVELIN_TEST_OUTPUT_DIR;
}

bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return done();
    std::this_thread::sleep_for(5ms);
  }
}

long free_tcp_port() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
    fail("no free TCP port");
  long port = ntohs(a.sin_port);
  close(fd);
  return port;
}

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "ravelin-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) fail("mkdtemp");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

DevSim::DevSim(std::vector<std::string> args) {
  const std::string dir = dir_.path();
  std::vector<std::string> argv{devsim_path(), "--record",           dir + "/record",
                                "--log",       dir + "/events",      "--path-file",
                                dir + "/path", "--exit-with-parent", "1"};
  argv.insert(argv.end(), args.begin(), args.end());
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) fail("pipe");
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  // Its stderr goes to a file, so that it never holds the test runner's output pipe.
  posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, (dir + "/stderr").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  auto cargs = c_args(argv);
  int rc = posix_spawn(&pid_, argv[0].c_str(), &fa, nullptr, cargs.data(), environ);
  posix_spawn_file_actions_destroy(&fa);
  close(out[1]);
  if (rc != 0) fail("cannot start " + argv[0]);
  // Ready when it has printed its device path.
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (line.find('\n') == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{out[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, int(left.count())) <= 0) fail("devsim did not start");
    char buf[256];
    ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) fail("devsim ended before printing its device");
    line.append(buf, size_t(n));
  }
  close(out[0]);
  device_ = line.substr(0, line.find('\n'));
  if (device_.rfind("/dev/pts/", 0) != 0) fail("devsim printed " + device_);
}

DevSim::~DevSim() { terminate(pid_, 2000ms); }

std::string DevSim::recorded() const { return slurp(dir_.path() + "/record"); }
std::string DevSim::events() const { return slurp(dir_.path() + "/events"); }
bool DevSim::running() { return alive(pid_); }
bool DevSim::wait_exit(std::chrono::milliseconds timeout) {
  return wait_until([&] { return !alive(pid_); }, timeout);
}

RavelinRun::RavelinRun(const DevSim& sim, const std::string& extra_ini) {
  // Never let a test name another device: this machine's own serial ports are not ours.
  if (extra_ini.find("DEVICE") != std::string::npos) fail("tests must use the simulator");
  const std::string dir = dir_.path();
  webport_ = free_tcp_port();
  if (auto at = extra_ini.rfind("WEBPORT|"); at != std::string::npos)
    webport_ = std::atol(extra_ini.c_str() + at + 8);
  {
    // Later lines of a name replace earlier ones, so extra_ini may override WEBPORT.
    std::ofstream ini(dir + "/config.ini", std::ios::binary);
    ini << "DEVICE|" << sim.device() << "\r\nWEBPORT|" << webport_ << "\r\n" << extra_ini;
  }
  const fs::path web = fs::path(source_dir()) / "web";
  if (fs::is_directory(web)) fs::copy(web, dir + "/web", fs::copy_options::recursive);

  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("QT_QPA_PLATFORM=", 0) != 0) env.emplace_back(*e);
  env.emplace_back("QT_QPA_PLATFORM=offscreen");
  std::vector<std::string> argv{program_path()};
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addchdir_np(&fa, dir.c_str());
  posix_spawn_file_actions_addopen(&fa, STDOUT_FILENO, (dir + "/output.txt").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&fa, STDOUT_FILENO, STDERR_FILENO);
  auto cargs = c_args(argv);
  auto cenv = c_args(env);
  int rc = posix_spawn(&pid_, argv[0].c_str(), &fa, nullptr, cargs.data(), cenv.data());
  posix_spawn_file_actions_destroy(&fa);
  if (rc != 0) fail("cannot start " + argv[0]);
}

RavelinRun::~RavelinRun() { stop(); }

bool RavelinRun::running() { return alive(pid_, &status_); }

std::string RavelinRun::output() const { return slurp(dir_.path() + "/output.txt"); }

int RavelinRun::stop() {
  if (pid_ > 0) {
    status_ = terminate(pid_, 2000ms);
    pid_ = -1;
  }
  return status_;
}

}  // namespace ravelin::test

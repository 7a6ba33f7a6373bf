// Web server figures on loopback: latency (median, p99) and requests per second of the test page
// with 1 and 4 concurrent clients, beside what the listener's 0.15 s accept poll allows; and the
// listener's CPU use while idle.
//
//   build/default/bench/http_bench [requests per client, default 30] [idle seconds, default 3]

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sq_web/http/request.h"
#include "sq_web/http/server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace ravelin;

// One request on a fresh connection; true when the full test page came back.
bool fetch_test_page(long port, const std::string& expected) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  std::string got;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string req = "GET /mjnj8419.vum HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    if (send(fd, req.data(), req.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(req.size())) {
      char buf[1024];
      ssize_t n;
      while ((n = recv(fd, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
    }
  }
  close(fd);
  return got == expected;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void run_clients(std::FILE* out, long port, int clients, int per_client) {
  const std::string expected = build_response(kTestPage, true);
  std::vector<double> lat;
  std::mutex mu;
  std::atomic<int> failures{0};
  const auto began = Clock::now();
  std::vector<std::thread> threads;
  for (int c = 0; c < clients; ++c) {
    threads.emplace_back([&] {
      for (int i = 0; i < per_client; ++i) {
        const auto t0 = Clock::now();
        const bool ok = fetch_test_page(port, expected);
        const double l = ms(Clock::now() - t0);
        if (!ok) ++failures;
        std::lock_guard lk(mu);
        lat.push_back(l);
      }
    });
  }
  for (auto& t : threads) t.join();
  const double wall_s = ms(Clock::now() - began) / 1000.0;
  std::sort(lat.begin(), lat.end());
  const double median = lat[lat.size() / 2];
  const double p99 = lat[std::min(lat.size() - 1, lat.size() * 99 / 100)];
  const double poll_rate = 100.0 / ServerThread::kPollHundredths;
  std::fprintf(out,
               "%d client%s: %zu requests, median %.1f ms, p99 %.1f ms, %.2f requests/s "
               "(the 0.15 s poll allows at most %.2f/s: ratio %.2f)%s\n",
               clients, clients == 1 ? " " : "s", lat.size(), median, p99, lat.size() / wall_s,
               poll_rate, (lat.size() / wall_s) / poll_rate, failures ? "  FAILURES" : "");
}

double cpu_seconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  const int per_client = argc > 1 ? std::atoi(argv[1]) : 30;
  const int idle_seconds = argc > 2 ? std::atoi(argv[2]) : 3;

  // The server writes a summary line per request to standard output; the figures go to the
  // original standard output, the summaries to /dev/null.
  std::fflush(stdout);
  std::FILE* out = fdopen(dup(1), "w");
  std::FILE* devnull = std::fopen("/dev/null", "w");
  if (!out || !devnull) return 1;
  dup2(fileno(devnull), 1);

  std::atomic<int> clients{0};
  ServerThread server(0, ServerContext{"bench", &clients, {}});
  server.start();
  if (!server.wait_started(10000) || server.port() == 0) {
    std::fprintf(stderr, "http_bench: the listener did not start\n");
    return 1;
  }

  // Idle: only the listener's poll runs in this process.
  const double cpu0 = cpu_seconds();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(idle_seconds));
  const double idle_wall = ms(Clock::now() - t0) / 1000.0;
  const double idle_cpu = cpu_seconds() - cpu0;
  std::fprintf(out, "idle listener: %.4f s CPU in %.1f s (%.3f %% of one core)\n", idle_cpu,
               idle_wall, 100.0 * idle_cpu / idle_wall);
  std::fflush(out);

  for (int n : {1, 4}) {
    run_clients(out, server.port(), n, per_client);
    std::fflush(out);
  }
  server.stop();
  std::fclose(out);
  std::fclose(devnull);
  return 0;
}

// End-to-end time of the status frame: request sent to page received, against the real program
// and the device simulator paced at 9600 baud. Requests start at random moments, as browsers'
// reloads do, so the listener's 0.15 s poll costs half a period on average.
//
// status_frame_bench [requests=60]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "tests/http/test_client.h"
#include "tests/support/ravelin_test_support.h"

using namespace std::chrono;
using namespace std::chrono_literals;

int main(int argc, char** argv) {
  int n = argc > 1 ? std::atoi(argv[1]) : 60;
  if (n < 1) n = 60;

  ravelin::test::DevSim sim({"--baud", "9600", "--start", "2048", "--set", "2048"});
  ravelin::test::RavelinRun app(sim, "BAUD|9600\r\nWEBPASS|P\r\nQ|2048\r\n");
  const long port = app.webport();
  const std::string request = "GET /P/index.php?cl=dat HTTP/1.1\r\nHost: bench\r\n\r\n";
  bool up = ravelin::test::wait_until(
      [&] { return !ravelin::testing::round_trip(port, request).bytes.empty(); }, 10s);
  if (!up) {
    std::fprintf(stderr, "ravelin did not answer on port %ld\n%s", port, app.output().c_str());
    return 1;
  }

  std::mt19937 rng(42);
  std::uniform_int_distribution<int> pause_ms(0, 150);
  std::vector<double> ms;
  int empty = 0;
  for (int i = 0; i < n; ++i) {
    std::this_thread::sleep_for(milliseconds(pause_ms(rng)));
    auto t0 = steady_clock::now();
    auto reply = ravelin::testing::round_trip(port, request);
    auto t1 = steady_clock::now();
    if (reply.bytes.find("parent.status[\"sw\"] = 50.0000;") == std::string::npos) ++empty;
    ms.push_back(duration<double, std::milli>(t1 - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  double median = ms[ms.size() / 2];
  double p99 = ms[std::min(ms.size() - 1, static_cast<size_t>(ms.size() * 0.99))];
  const double half_poll = 75.0;
  const double wire = 12 * 11 * 1000.0 / 9600;  // "S=????" out, "S=2048" back
  std::printf("status frame end to end, %d requests at 9600 baud 7E2:\n", n);
  std::printf("  median %.1f ms, p99 %.1f ms\n", median, p99);
  std::printf("  half poll interval + wire time = %.1f + %.2f = %.2f ms (median/that = %.2f)\n",
              half_poll, wire, half_poll + wire, median / (half_poll + wire));
  std::printf("  pages without the expected reading: %d\n", empty);
  return 0;
}

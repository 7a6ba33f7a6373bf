// Exchange time of COM_SENDEN against the simulator at 9600 baud 7E2: "S=????" answered by
// "S=2048", compared with the wire time of the twelve characters (13.75 ms). Then the same with
// the answer split by a 15 ms gap, which must come back whole.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "sq_web/app/module.h"
#include "sq_web/serial/serial_link.h"
#include "sq_web/serial/serial_service.h"
#include "tests/support/ravelin_test_support.h"

using namespace ravelin;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kWireMs = 12 * 11 * 1000.0 / 9600;  // 13.75 ms

struct Result {
  double median_ms = 0, p90_ms = 0;
  int whole = 0, total = 0;
};

Result measure(std::vector<std::string> devsim_args, int rounds) {
  devsim_args.insert(devsim_args.end(), {"--baud", "9600", "--start", "2048"});
  test::DevSim sim(devsim_args);
  ScopedModule m;
  auto service = make_system_serial_service();
  m->serial = service.get();
  m->H_PORT = 1;
  service->name_device(1, sim.device());
  if (!service->COM_OPEN(1) || !service->COM_INIT(1, 9600, 'E', 7, 2) ||
      !service->COM_READMODE(1, 1, 50)) {
    std::fprintf(stderr, "cannot open the simulator's port\n");
    std::exit(1);
  }
  std::vector<double> ms;
  Result r;
  for (int i = 0; i < rounds; ++i) {
    auto t0 = Clock::now();
    std::string a = COM_SENDEN("S=????");
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    r.whole += a == "S=2048";
    r.total++;
  }
  std::sort(ms.begin(), ms.end());
  r.median_ms = ms[ms.size() / 2];
  r.p90_ms = ms[ms.size() * 9 / 10];
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  Result plain = measure({}, rounds);
  std::printf("COM_SENDEN(\"S=????\") at 9600 baud 7E2, %d exchanges\n", plain.total);
  std::printf("  median %.2f ms  p90 %.2f ms  wire time %.2f ms  median/wire %.2f\n",
              plain.median_ms, plain.p90_ms, kWireMs, plain.median_ms / kWireMs);
  std::printf("  target median <= wire + 25 ms (%.2f ms): %s; whole answers %d/%d\n", kWireMs + 25,
              plain.median_ms <= kWireMs + 25 ? "met" : "MISSED", plain.whole, plain.total);
  Result split = measure({"--fault", "split", "--split-gap", "15"}, rounds / 2);
  std::printf("answer split by a 15 ms gap: whole answers %d/%d, median %.2f ms\n", split.whole,
              split.total, split.median_ms);
  return 0;
}

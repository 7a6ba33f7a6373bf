// ferrolib against its references, measured side by side in one run, with the ratios at the end:
//   CRC-32 (qvx_CRC32)        vs zlib's crc32 on the same 64 MiB      target 3x
//   CRC-16 (qvx_CRC16)        vs the one-byte table loop              target 8x
//   _FloatToString per call    vs snprintf("%.17e")                     target 3x
//   _StringToFloat per call    vs strtod                                target 3x
// The other CRC paths are shown too: 128-bit PCLMULQDQ (CPUs without the 512-bit form) and the
// portable slicing-by-16 (CPUs without carry-less multiply).
// The exports are called through libferrolib.so, so the texts use the regional settings of the
// environment's locale.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ferrolib/crc.h"
#include "ferrolib/ferrolib.h"

namespace {

constexpr std::size_t kCrcBytes = 64u << 20;

// 64 MiB of random bytes without NUL, then the NUL that ends the text.
const std::vector<char>& crc_buffer() {
  static const std::vector<char> buffer = [] {
    std::vector<char> b(kCrcBytes + 1);
    std::mt19937_64 rng(1);
    for (std::size_t i = 0; i < kCrcBytes; ++i) b[i] = static_cast<char>(1 + rng() % 255);
    b[kCrcBytes] = '\0';
    return b;
  }();
  return buffer;
}

const std::uint8_t* crc_bytes() {
  return reinterpret_cast<const std::uint8_t*>(crc_buffer().data());
}

void set_bytes(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kCrcBytes);
}

void BM_Crc32_zlib(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0L, crc_bytes(), kCrcBytes));
  set_bytes(state);
}
void BM_Crc32_ferrolib(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qvx_CRC32(crc_buffer().data()));
  set_bytes(state);
}
void BM_Crc32_portable_slice16(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(ferrolib::crc_impl::crc32_slice(0xFFFFFFFF, crc_bytes(), kCrcBytes));
  }
  set_bytes(state);
}
void BM_Crc32_pclmulqdq_128(benchmark::State& state) {
  if (!ferrolib::crc_impl::crc_clmul_available()) {
    state.SkipWithError("no PCLMULQDQ on this CPU");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(ferrolib::crc_impl::crc32_clmul(0xFFFFFFFF, crc_bytes(), kCrcBytes));
  }
  set_bytes(state);
}
void BM_Crc16_byte_loop(benchmark::State& state) {
  for (auto _ : state) {
    // The reference loop, one table lookup per byte.
    std::uint16_t crc = 0;
    const std::uint8_t* p = crc_bytes();
    for (std::size_t i = 0; i < kCrcBytes; ++i) {
      crc = static_cast<std::uint16_t>(ferrolib::kCrc16Table[((crc >> 8) ^ p[i]) & 0xFF] ^
                                       ((crc << 8) & 0xFFFF));
    }
    benchmark::DoNotOptimize(crc);
  }
  set_bytes(state);
}
void BM_Crc16_ferrolib(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(qvx_CRC16(crc_buffer().data()));
  set_bytes(state);
}
void BM_Crc16_portable_slice16(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(ferrolib::crc_impl::crc16_slice(0, crc_bytes(), kCrcBytes));
  }
  set_bytes(state);
}

// Numbers of every day: seven to ten significant digits between 0.001 and a million, so that the
// general form writes them without an exponent and the texts parse back as the same numbers.
constexpr std::size_t kValues = 4096;
const std::vector<double>& values() {
  static const std::vector<double> v = [] {
    std::vector<double> out(kValues);
    std::mt19937_64 rng(2);
    for (auto& x : out) {
      const auto digits = 1000000 + rng() % (10000000000ull - 1000000);
      x = static_cast<double>(digits) / std::pow(10.0, 4 + static_cast<int>(rng() % 6));
    }
    return out;
  }();
  return v;
}

// The same numbers as texts: ferrolib's own (regional decimal separator) and C ones for strtod.
struct Texts {
  std::vector<std::string> regional, c;
};
const Texts& texts() {
  static const Texts t = [] {
    Texts out;
    char buf[64];
    for (double x : values()) {
      _FloatToString(buf, &x);
      out.regional.emplace_back(buf);
      std::string c = buf;
      for (char& ch : c) {
        if (ch == ',') ch = '.';
      }
      out.c.push_back(c);
    }
    return out;
  }();
  return t;
}

void BM_FloatToString_snprintf(benchmark::State& state) {
  char buf[64];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buf, sizeof buf, "%.17e", values()[i++ % kValues]));
    benchmark::ClobberMemory();
  }
}
void BM_FloatToString_ferrolib(benchmark::State& state) {
  char buf[64];
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(_FloatToString(buf, &values()[i++ % kValues]));
    benchmark::ClobberMemory();
  }
}
void BM_StringToFloat_strtod(benchmark::State& state) {
  const auto& t = texts().c;
  std::size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(std::strtod(t[i++ % kValues].c_str(), nullptr));
}
void BM_StringToFloat_ferrolib(benchmark::State& state) {
  const auto& t = texts().regional;
  std::size_t i = 0;
  double result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(_StringToFloat(t[i++ % kValues].c_str(), &result));
    benchmark::DoNotOptimize(result);
  }
}

BENCHMARK(BM_Crc32_zlib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_ferrolib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_pclmulqdq_128)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_portable_slice16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc16_byte_loop)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc16_ferrolib)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc16_portable_slice16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FloatToString_snprintf);
BENCHMARK(BM_FloatToString_ferrolib);
BENCHMARK(BM_StringToFloat_strtod);
BENCHMARK(BM_StringToFloat_ferrolib);

// The console output as usual, then the ratios of each pair from the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.run_type == Run::RT_Iteration && !r.error_occurred) {
        time_[r.benchmark_name()] = r.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf(
        "\nferrolib against its references (same run; speed-up = reference time / ferrolib "
        "time)\n");
    std::printf("CRC path chosen on this CPU: %s\n\n", ferrolib::crc_impl::crc_path_name());
    std::printf("  %-44s %8s %8s\n", "comparison", "speed-up", "target");
    ratio("CRC-32 qvx_CRC32 vs zlib crc32", "BM_Crc32_zlib", "BM_Crc32_ferrolib", 3);
    ratio("CRC-32 128-bit PCLMULQDQ path vs zlib", "BM_Crc32_zlib", "BM_Crc32_pclmulqdq_128", 0);
    ratio("CRC-32 portable slicing-by-16 vs zlib", "BM_Crc32_zlib", "BM_Crc32_portable_slice16", 0);
    ratio("CRC-16 qvx_CRC16 vs one-byte table loop", "BM_Crc16_byte_loop", "BM_Crc16_ferrolib", 8);
    ratio("CRC-16 portable slicing-by-16 vs byte loop", "BM_Crc16_byte_loop",
          "BM_Crc16_portable_slice16", 0);
    ratio("_FloatToString vs snprintf(\"%.17e\")", "BM_FloatToString_snprintf",
          "BM_FloatToString_ferrolib", 3);
    ratio("_StringToFloat vs strtod", "BM_StringToFloat_strtod", "BM_StringToFloat_ferrolib", 3);
  }

 private:
  void ratio(const char* what, const std::string& reference, const std::string& ours,
             double target) {
    auto r = time_.find(reference), o = time_.find(ours);
    if (r == time_.end() || o == time_.end() || o->second <= 0) return;  // filtered out
    double speedup = r->second / o->second;
    if (target > 0) {
      std::printf("  %-44s %7.2fx %7.0fx  %s\n", what, speedup, target,
                  speedup >= target ? "met" : "MISSED");
    } else {
      std::printf("  %-44s %7.2fx %8s  (other path, for comparison)\n", what, speedup, "-");
    }
  }

  std::map<std::string, double> time_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // Make the inputs before timing anything.
  crc_buffer();
  texts();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

// A stand-in for the database client library whose "AdsSetRelKeyPos" _AdsSetRelKeyPos calls:
// 0 for the index handle 42 and a position in [0, 1], 5072 for 42 and any other position, and
// 0xFFFFFFFF (-1 as a signed result code) for every other handle.
#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::uint32_t AdsSetRelKeyPos(
    std::uintptr_t index, double position) {
  if (index != 42) return 0xFFFFFFFFu;
  return position >= 0.0 && position <= 1.0 ? 0u : 5072u;
}

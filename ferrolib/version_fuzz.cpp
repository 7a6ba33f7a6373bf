// Fuzzes the version-resource reader: any file must give -1 or a result, never a
// crash, a hang, a read out of bounds or a write beyond the caller's buffer.
//
// The first byte picks the mode. Raw mode takes the input as the file. Structured mode starts
// from a valid PE32 or PE32+ image with a version resource and overwrites bytes of it at the
// offsets the input names, which reaches the deep parts of the walk at once. The version block
// parser also gets the input directly.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ferrolib/testing/pe_builder.h"
#include "ferrolib/version_info.h"

using ferrolib::testing::Bytes;

namespace {

const Bytes& base_image(bool plus) {
  static const Bytes pe32 = ferrolib::testing::build_pe(
      ferrolib::testing::version_block(ferrolib::testing::german_library()));
  static const Bytes pe32plus = ferrolib::testing::build_pe(
      ferrolib::testing::version_block(ferrolib::testing::german_library()),
      {.pe32plus = true, .other_types_first = true});
  return plus ? pe32plus : pe32;
}

void run(const Bytes& file, std::uint32_t size) {
  // Exactly `size` bytes, so that the address sanitizer sees any write past them.
  std::unique_ptr<char[]> buffer(new char[size ? size : 1]);
  std::uint32_t len = size;
  ferrolib::MemorySource source(file);
  std::int32_t rc = ferrolib::get_version_info(source, buffer.get(), &len);
  if (rc != 0 && rc != -1) __builtin_trap();
  if (rc == 0 && len > size) __builtin_trap();
  if (rc == 0 && len > 0 && buffer[len - 1] != '\0') __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  ++data;
  --size;
  const std::uint32_t buffer_size = (mode & 0x80) ? 4096 : (mode >> 2) & 0x1F;
  if (mode & 1) {
    run(Bytes(data, data + size), buffer_size);
    (void)ferrolib::version_info_from_block({data, size});
  } else {
    Bytes file = base_image(mode & 2);
    for (std::size_t i = 0; i + 3 <= size; i += 3) {
      std::size_t at = (data[i] | data[i + 1] << 8) % file.size();
      file[at] = data[i + 2];
    }
    run(file, buffer_size);
  }
  return 0;
}

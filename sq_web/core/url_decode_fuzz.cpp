// Fuzzes the text helpers that take request bytes: they must never crash or read out of bounds.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sq_web/core/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  std::string decoded = ravelin::URL_DECODE(in);
  if (decoded.size() > in.size()) __builtin_trap();  // decoding never grows a text
  auto half = in.substr(0, size / 2);
  (void)ravelin::SPLIT(in.substr(size / 2), half.substr(0, 3));
  (void)ravelin::STRING_REPL(half.substr(0, 2), in, "xyz");
  (void)ravelin::text_to_number(in);
  (void)ravelin::HEX_TO_DEZ_2(in);
  return 0;
}

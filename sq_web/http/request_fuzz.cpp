// Fuzzes the request parsing with any received bytes: it must never crash, read out of bounds or
// take apart a request inconsistently.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sq_web/core/text.h"
#include "sq_web/http/request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view in(reinterpret_cast<const char*>(data), size);
  ravelin::Request r = ravelin::parse_request(in);
  // Decoding never grows a text, so nothing decoded is longer than what came in.
  if (r.url.size() > size || r.getdata.size() > size || r.postdata.size() > size) __builtin_trap();
  if (r.zeile1.find('\r') != std::string::npos) __builtin_trap();
  (void)ravelin::request_summary(r);
  (void)ravelin::route_request(r.url, in.substr(0, size % 7));
  (void)ravelin::request_progress(in);
  (void)ravelin::DECODE_POSTSTRING(ravelin::URL_DECODE(in));
  (void)r.oREQUEST.dump();
  return 0;
}

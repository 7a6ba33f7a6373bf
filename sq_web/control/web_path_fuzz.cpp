// Whatever the path check lets through must stay below web/ once the path is resolved, and the
// percent text must always be a plain decimal with four places.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "sq_web/control/pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string url(reinterpret_cast<const char*>(data), size);
  if (ravelin::web_path_allowed(url)) {
    std::string resolved = std::filesystem::path("web/" + url).lexically_normal().generic_string();
    if (resolved.rfind("web/", 0) != 0 || resolved.size() <= 4) std::abort();
    for (unsigned char c : url) {
      if (c < 0x20 || c == '\\' || c == ':') std::abort();
    }
  }
  std::string p = ravelin::percent_text(url);
  size_t point = p.find('.');
  if (point == std::string::npos || p.size() - point != 5) std::abort();
  if (p.find_first_not_of("-0123456789.") != std::string::npos) std::abort();
  return 0;
}

#include "sq_web/core/files.h"

#include <cstdio>
#include <memory>

namespace ravelin {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File open_file(const std::string& name, const char* mode) {
  return File(std::fopen(name.c_str(), mode));
}

constexpr size_t kBlock = 10240;

}  // namespace

void MYWRITEFILE(const std::string& cFile, std::string_view cWriteBuffer) {
  File f = open_file(cFile, "wb");
  if (!f) return;
  std::fwrite(cWriteBuffer.data(), 1, cWriteBuffer.size(), f.get());
}

bool SCHREIB_DAZU(const std::string& filename, std::string_view txt) {
  // "r+" opens an existing file only; the file is never created here.
  File f = open_file(filename, "r+b");
  if (!f) return false;
  std::fseek(f.get(), 0, SEEK_END);
  std::fwrite(txt.data(), 1, txt.size(), f.get());
  return true;
}

std::string read_whole_file(const std::string& path) {
  File f = open_file(path, "rb");
  if (!f) return "";
  std::string out;
  char buf[kBlock];
  size_t got;
  while ((got = std::fread(buf, 1, kBlock, f.get())) > 0) out.append(buf, got);
  return out;
}

std::string MYREADFILE(const std::string& cFile) {
  std::string s = read_whole_file(cFile);
  size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  size_t last = s.find_last_not_of(' ');
  return s.substr(first, last - first + 1);
}

}  // namespace ravelin

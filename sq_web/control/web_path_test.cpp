#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "sq_web/control/pages.h"
#include "sq_web/core/text.h"

namespace ravelin {
namespace {

namespace fs = std::filesystem;

// Paths as they stand in a request line below the secret prefix; the server decodes each once
// before the file branch sees it, exactly as here.
const std::string kEscapes[] = {
    "../config.ini",
    "..",
    "../",
    "sub/../../config.ini",
    "sub/../inside.txt",  // stays inside after all, but ".." is refused outright
    "./inside.txt",
    "%2e%2e/config.ini",
    "%2E%2E%2Fconfig.ini",
    ".%2e/config.ini",
    "..%5cconfig.ini",
    "..\\config.ini",
    "sub\\..\\..\\config.ini",
    "/etc/passwd",
    "%2fetc%2fpasswd",
    "//etc/passwd",
    "C:/Windows/win.ini",
    "c:config.ini",
    "C:%5cconfig.ini",
    "\\\\server\\share\\x",
    "inside.txt%00.png",
    "inside.txt%0a",
    ".../config.ini",  // Windows treats trailing dots as absent
    "..%20/config.ini",
    "sub//deep.txt",  // doubled slash: one file, one name
    "sub/",
    "",
    "COM1",
    "nul.txt",
    "sub/lpt1.htm",
    "inside.txt::$DATA",
    "*.txt",
    "inside.txt?",
};

const std::string kInside[] = {
    "inside.txt",   "sub/deep.txt", "php", "index.php", "a b.txt",
    "..hidden",      // a name that merely begins with dots
    "%252e%252e/x",  // decodes once to the literal name "%2e%2e": no climbing
    "console.txt",   // begins with a device name but is not one
    "com10",
};

TEST(WebPath, TraversalAttemptsAreRefused) {
  for (const auto& raw : kEscapes) {
    EXPECT_FALSE(web_path_allowed(URL_DECODE(raw))) << raw;
  }
}

TEST(WebPath, OrdinaryNamesAreAllowed) {
  for (const auto& raw : kInside) {
    EXPECT_TRUE(web_path_allowed(URL_DECODE(raw))) << raw;
  }
}

// A real folder with a secret beside web/: no attempt reads anything, the names inside do.
TEST(WebFile, ReadsInsideAndNothingOutside) {
  fs::path root =
      fs::temp_directory_path() / ("ravelin_web_path_" + std::to_string(std::random_device{}()));
  fs::remove_all(root);
  fs::create_directories(root / "web" / "sub");
  std::ofstream(root / "config.ini") << "WEBPASS|secret\r\n";
  std::ofstream(root / "web" / "inside.txt") << "  inside  ";
  std::ofstream(root / "web" / "sub" / "deep.txt") << "deep";
  std::string base = root.string() + "/";

  EXPECT_EQ(web_file("inside.txt", base), "inside");
  EXPECT_EQ(web_file("sub/deep.txt", base), "deep");
  EXPECT_EQ(web_file("missing.txt", base), "");
  for (const auto& raw : kEscapes) {
    EXPECT_EQ(web_file(URL_DECODE(raw), base), "") << raw;
  }
  // Without the check "sub/../inside.txt" and "sub//deep.txt" would be read.
  EXPECT_EQ(web_file("sub/../inside.txt", base), "");
  fs::remove_all(root);
}

}  // namespace
}  // namespace ravelin

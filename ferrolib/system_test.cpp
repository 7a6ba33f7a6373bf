#include "ferrolib/system.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ferrolib/ferrolib.h"
#include "ferrolib/platform.h"

namespace ferrolib {
namespace {

using namespace std::chrono_literals;

TEST(WinColor, AcceptsTheSeventeenCodes) {
  const std::vector<std::uint32_t> accepted = {1,  2,  3,  4,  5,  6,  7,  9, 10,
                                               11, 12, 13, 14, 20, 21, 22, 24};
  int count = 0;
  for (std::uint32_t index = 0; index <= 0x30; ++index) {
    const std::uint32_t code = 0xFF000000u | index;
    const bool ok = std::find(accepted.begin(), accepted.end(), index) != accepted.end();
    EXPECT_EQ(win_color(code), ok ? code : 0u) << std::hex << code;
    EXPECT_EQ(_WinColor(code), ok ? code : 0u) << std::hex << code;
    count += ok;
  }
  EXPECT_EQ(count, 17);
  EXPECT_EQ(_WinColor(0xFF000005), 0xFF000005u);
  EXPECT_EQ(_WinColor(0xFF000008), 0u);
  EXPECT_EQ(_WinColor(0xFF000000), 0u);
  EXPECT_EQ(_WinColor(0x000000FF), 0u);
  EXPECT_EQ(_WinColor(0xFE000005), 0u);
  EXPECT_EQ(_WinColor(0x00000005), 0u);
}

TEST(Beep, SoundNames) {
  EXPECT_STREQ(beep_sound_name(0xFFFFFFFF), "bell");
  EXPECT_STREQ(beep_sound_name(0x00), "bell");
  EXPECT_STREQ(beep_sound_name(0x10), "dialog-error");
  EXPECT_STREQ(beep_sound_name(0x20), "dialog-question");
  EXPECT_STREQ(beep_sound_name(0x30), "dialog-warning");
  EXPECT_STREQ(beep_sound_name(0x40), "dialog-information");
  EXPECT_STREQ(beep_sound_name(0x50), "bell");
}

TEST(CommandLine, MicrosoftRules) {
  using Args = std::vector<std::string>;
  struct Case {
    std::string text;
    Args args;
  } cases[] = {
      {"", {}},
      {"   \t ", {}},
      {"a b  c", {"a", "b", "c"}},
      {"\ta\t", {"a"}},
      {"\"a b\" c", {"a b", "c"}},
      {"x\"a b\"y", {"xa by"}},
      {"\"\"", {""}},
      {"a \"\" b", {"a", "", "b"}},
      {"\"a\"\"b\"", {"a\"b"}},
      {"a\\\"b", {"a\"b"}},               // a\"b: odd backslashes, literal quote
      {"a\\\\\"b c\"", {"a\\b c"}},       // a\\"b c": even, the quote groups
      {"a\\\\\\\"b", {"a\\\"b"}},         // a\\\"b
      {"a\\b c\\\\", {"a\\b", "c\\\\"}},  // backslashes without a quote stay
      {"\"unclosed arg", {"unclosed arg"}},
  };
  for (const auto& c : cases) EXPECT_EQ(split_command_line(c.text), c.args) << c.text;
}

// Sets or removes an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits for a file with content, as the started programs write their report a moment later.
std::string wait_for(const std::string& path) {
  for (auto until = std::chrono::steady_clock::now() + 20s;
       std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
    std::string s = read_file(path);
    if (!s.empty() && s.back() == '\n') return s;
  }
  return "";
}

class RunShellExe : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ferrolib_shell_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(mkdir((dir_ + "/work").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((dir_ + "/bin").c_str(), 0700), 0);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void script(const std::string& path, const std::string& body) {
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ASSERT_EQ(chmod(path.c_str(), 0700), 0);
  }

  std::string dir_;
};

TEST_F(RunShellExe, ProgramStartsWithArgumentsAndDirectoryWithoutWaiting) {
  const std::string prog = dir_ + "/prog.sh";
  // Reports its directory and arguments, then lives on for a while.
  script(prog, "{ pwd; for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo; } > " + dir_ +
                   "/report.tmp\nmv " + dir_ + "/report.tmp " + dir_ + "/report\nsleep 5\ntouch " +
                   dir_ + "/done\n");
  std::int32_t rc = _RunShellExe(0, prog.c_str(), "one \"two three\" a\\\"b",
#if defined(FERRO_REGISTER_REVERSED_STACK)
                                 0, (dir_ + "/work").c_str());
#else
                                 (dir_ + "/work").c_str(), 0);
#endif
  EXPECT_EQ(rc, 0);
  // Had the call waited for the program, its last step would be done by now.
  EXPECT_NE(access((dir_ + "/done").c_str(), F_OK), 0) << "the call waited for the program";
  EXPECT_EQ(wait_for(dir_ + "/report"), dir_ + "/work\n[one][two three][a\"b]\n");
  // The intermediate shell has been reaped and the program is no child of ours: no zombies.
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(RunShellExe, BareProgramNameIsLookedUpAlongPath) {
  script(dir_ + "/bin/ferro-hello",
         "echo \"$@\" > " + dir_ + "/hello.tmp; mv " + dir_ + "/hello.tmp " + dir_ + "/hello\n");
  ScopedEnv path("PATH", (dir_ + "/bin:/usr/bin:/bin").c_str());
  EXPECT_EQ(platform::shell_execute("ferro-hello", "x y", nullptr), 0u);
  EXPECT_EQ(wait_for(dir_ + "/hello"), "x y\n");
}

TEST_F(RunShellExe, DocumentOpensWithXdgOpen) {
  script(dir_ + "/bin/xdg-open",
         "echo \"$@\" > " + dir_ + "/opened.tmp; mv " + dir_ + "/opened.tmp " + dir_ + "/opened\n");
  const std::string doc = dir_ + "/letter.txt";
  std::ofstream(doc) << "Hallo\n";
  ScopedEnv path("PATH", (dir_ + "/bin:/usr/bin:/bin").c_str());
  EXPECT_EQ(platform::shell_execute(doc.c_str(), "", ""), 0u);
  EXPECT_EQ(wait_for(dir_ + "/opened"), doc + "\n");
}

TEST_F(RunShellExe, Failures) {
  EXPECT_EQ(platform::shell_execute((dir_ + "/missing.exe").c_str(), nullptr, nullptr), 2u);
  EXPECT_EQ(platform::shell_execute((dir_ + "/nodir/missing.exe").c_str(), nullptr, nullptr), 2u);
  EXPECT_EQ(platform::shell_execute("ferro-no-such-program-anywhere", nullptr, nullptr), 2u);
  EXPECT_EQ(platform::shell_execute("", nullptr, nullptr), 2u);
  EXPECT_EQ(platform::shell_execute(nullptr, nullptr, nullptr), 2u);
  const std::string doc = dir_ + "/letter.txt";
  std::ofstream(doc) << "Hallo\n";
  EXPECT_EQ(platform::shell_execute((doc + "/x").c_str(), nullptr, nullptr), 3u);
  EXPECT_EQ(platform::shell_execute(doc.c_str(), nullptr, (dir_ + "/nowhere").c_str()), 267u);
  EXPECT_EQ(platform::shell_execute(doc.c_str(), nullptr, doc.c_str()), 267u);
  {
    ScopedEnv path("PATH", (dir_ + "/bin").c_str());  // no xdg-open there
    EXPECT_EQ(platform::shell_execute(doc.c_str(), nullptr, nullptr), 1155u);
  }
#if defined(FERRO_REGISTER_REVERSED_STACK)
  EXPECT_EQ(_RunShellExe(0, (dir_ + "/missing.exe").c_str(), nullptr, 0, nullptr), 2);
#else
  EXPECT_EQ(_RunShellExe(0, (dir_ + "/missing.exe").c_str(), nullptr, nullptr, 0), 2);
#endif
}

TEST_F(RunShellExe, BeepPlaysTheDesktopSound) {
  script(dir_ + "/bin/canberra-gtk-play",
         "echo \"$@\" > " + dir_ + "/played.tmp; mv " + dir_ + "/played.tmp " + dir_ + "/played\n");
  ScopedEnv path("PATH", (dir_ + "/bin:/usr/bin:/bin").c_str());
  ScopedEnv display("DISPLAY", ":99");
  EXPECT_EQ(_Beep(0x30), 1);
  EXPECT_EQ(wait_for(dir_ + "/played"), "-i dialog-warning -d ferrolib\n");
}

TEST_F(RunShellExe, BeepWithoutDesktopRingsTheTerminal) {
  ScopedEnv display("DISPLAY", nullptr);
  ScopedEnv wayland("WAYLAND_DISPLAY", nullptr);
  int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_NONBLOCK);
  const bool terminal = fd >= 0;
  if (fd >= 0) close(fd);
  EXPECT_EQ(_Beep(0xFFFFFFFF), terminal ? 1 : 0);
  EXPECT_EQ(platform::message_beep(0), terminal);
}

TEST(AdsSetRelKeyPos, CallsTheModulesFunction) {
  void* module = dlopen(FERROLIB_FAKE_ADS, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << dlerror();
  const auto handle = reinterpret_cast<ferro_handle>(module);
  double position = 0.5;
  EXPECT_EQ(_AdsSetRelKeyPos(handle, 42, &position), 101);
  EXPECT_EQ(position, 0.0);  // the database's success code
  position = 2.0;
  EXPECT_EQ(_AdsSetRelKeyPos(handle, 42, &position), 101);
  EXPECT_EQ(position, 5072.0);
  position = 0.5;
  EXPECT_EQ(_AdsSetRelKeyPos(handle, 7, &position), 101);
  EXPECT_EQ(position, -1.0);  // 0xFFFFFFFF taken as a signed result code
  EXPECT_EQ(_AdsSetRelKeyPos(handle, 42, nullptr), 101);
  dlclose(module);
}

TEST(AdsSetRelKeyPos, ModuleWithoutTheFunction) {
  void* self = dlopen(nullptr, RTLD_NOW);
  ASSERT_NE(self, nullptr);
  double position = 0.5;
  EXPECT_EQ(_AdsSetRelKeyPos(reinterpret_cast<ferro_handle>(self), 42, &position), 101);
  EXPECT_EQ(position, 127.0);  // ERROR_PROC_NOT_FOUND
  position = 0.5;
  EXPECT_EQ(_AdsSetRelKeyPos(0, 42, &position), 101);
  EXPECT_EQ(position, 6.0);  // ERROR_INVALID_HANDLE
  dlclose(self);
}

}  // namespace
}  // namespace ferrolib

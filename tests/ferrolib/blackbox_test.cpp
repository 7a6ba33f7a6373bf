// libferrolib.so as an outside caller uses it: loaded with dlopen, every export looked up by
// name and called through its documented C signature (declared here by hand, not taken from
// ferrolib.h), under LC_ALL=de_DE.UTF-8 while the program itself stays in the "C" locale.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ferrolib/testing/pe_builder.h"

namespace {

using namespace std::chrono_literals;

// The documented signatures; on x86-64 both calling conventions are the platform's one.
using Crc16Fn = std::uint32_t (*)(const char*);
using Crc32Fn = std::uint32_t (*)(const char*);
using FileCrc32Fn = std::uint32_t (*)(const char*);
using GetVersionInfoExFn = std::int32_t (*)(const char*, char*, std::uint32_t*);
using FloatStrFn = std::int32_t (*)(char*, std::int32_t, std::int32_t, const double*);
using FloatToStringFn = std::int32_t (*)(char*, const double*);
using CurrencyToStringFn = std::int32_t (*)(char*, std::int32_t, const double*);
using StringToFloatFn = std::int32_t (*)(const char*, double*);
using PDouble2IntFn = std::int64_t (*)(const double*);
using RunShellExeFn = std::int32_t (*)(std::uintptr_t, const char*, const char*, const char*,
                                       std::int32_t);
using BeepFn = std::int32_t (*)(std::uint32_t);
using WinColorFn = std::uint32_t (*)(std::uint32_t);
using AdsSetRelKeyPosFn = std::int32_t (*)(std::uintptr_t, std::uintptr_t, double*);

struct Library {
  void* handle = nullptr;
  Crc16Fn crc16;
  Crc32Fn crc32;
  FileCrc32Fn file_crc32;
  GetVersionInfoExFn get_version_info_ex;
  FloatStrFn float_str;
  FloatToStringFn float_to_string, float_to_string_e;
  CurrencyToStringFn currency_to_string;
  StringToFloatFn string_to_float, string_to_currency;
  PDouble2IntFn pdouble2int;
  RunShellExeFn run_shell_exe;
  BeepFn beep;
  WinColorFn win_color;
  AdsSetRelKeyPosFn ads_set_rel_key_pos;
};

Library lib;

template <class Fn>
void bind(Fn& fn, const char* name) {
  fn = reinterpret_cast<Fn>(dlsym(lib.handle, name));
  ASSERT_NE(reinterpret_cast<void*>(fn), nullptr) << name << " is not exported";
}

class Blackbox : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // CTest sets LC_ALL; set it here too, so that the program also runs by hand.
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    locale_t probe = newlocale(LC_ALL_MASK, "de_DE.UTF-8", static_cast<locale_t>(nullptr));
    ASSERT_NE(probe, static_cast<locale_t>(nullptr))
        << "the de_DE.UTF-8 locale is missing: run scripts/setup";
    freelocale(probe);
    lib.handle = dlopen(FERROLIB_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(lib.handle, nullptr) << dlerror();
    bind(lib.crc16, "qvx_CRC16");
    bind(lib.crc32, "qvx_CRC32");
    bind(lib.file_crc32, "qvx_FileCRC32");
    bind(lib.get_version_info_ex, "QvxGetVersionInfoEx");
    bind(lib.float_str, "_FloatStr");
    bind(lib.float_to_string, "_FloatToString");
    bind(lib.float_to_string_e, "_FloatToStringE");
    bind(lib.currency_to_string, "_CurrencyToString");
    bind(lib.string_to_float, "_StringToFloat");
    bind(lib.string_to_currency, "_StringToCurrency");
    bind(lib.pdouble2int, "_PDouble2Int");
    bind(lib.run_shell_exe, "_RunShellExe");
    bind(lib.beep, "_Beep");
    bind(lib.win_color, "_WinColor");
    bind(lib.ads_set_rel_key_pos, "_AdsSetRelKeyPos");
  }

  void SetUp() override {
    ASSERT_NE(lib.handle, nullptr);
    char pattern[] = "/tmp/ferrolib_blackbox_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  std::string dir_;
};

TEST_F(Blackbox, ProgramStaysInTheCLocale) {
  // The library reads the user's locale from the environment, not from setlocale().
  EXPECT_STREQ(localeconv()->decimal_point, ".");
  char out[64];
  const double v = 1234.5;
  lib.float_to_string(out, &v);
  EXPECT_STREQ(out, "1234,5");
}

TEST_F(Blackbox, InternalsAreNotExported) {
  EXPECT_EQ(dlsym(lib.handle, "_ZN8ferrolib12crc16_updateEtPKvm"), nullptr);
  EXPECT_EQ(dlsym(lib.handle, "_ZN8ferrolib18decimal_digits18Ed"), nullptr);
  EXPECT_EQ(dlsym(lib.handle, "AdsSetRelKeyPos"), nullptr);
}

TEST_F(Blackbox, Checksums) {
  EXPECT_EQ(lib.crc16("123456789"), 0x31C3u);
  EXPECT_EQ(lib.crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(lib.crc16("abc"), 0x9DD6u);
  EXPECT_EQ(lib.crc32("abc"), 0x352441C2u);
  EXPECT_EQ(lib.crc16(""), 0u);
  EXPECT_EQ(lib.crc32(""), 0u);
  EXPECT_EQ(lib.crc32(nullptr), 0u);
  const std::string path = dir_ + "/digits";
  ASSERT_TRUE(ferrolib::testing::write_file(path, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}));
  EXPECT_EQ(lib.file_crc32(path.c_str()), 0xCBF43926u);
  EXPECT_EQ(lib.file_crc32((dir_ + "/missing").c_str()), 0u);
}

TEST_F(Blackbox, VersionInformation) {
  using namespace ferrolib::testing;
  const std::string dll = dir_ + "/beispiel.dll";
  ASSERT_TRUE(write_file(dll, build_pe(version_block(german_library()), {.pe32plus = true})));
  char buffer[1000];
  std::uint32_t len = sizeof buffer;
  ASSERT_EQ(lib.get_version_info_ex(dll.c_str(), buffer, &len), 0);
  const std::string sep = "\xFE";
  EXPECT_EQ(std::string(buffer, len),
            "1.2.3.4" + sep + "Beispiel GmbH" + sep + "Beispielbibliothek" + sep + "beispiel" +
                sep + "\xC2\xA9 2024 Beispiel GmbH" + sep + "beispiel.dll" + sep + "Beispiel" +
                sep + "1.2" + sep + "German (Germany)" + sep + "65538" + sep + "196612" + sep +
                '\0');

  const std::string bare = dir_ + "/bare.dll";
  ASSERT_TRUE(write_file(bare, build_pe(version_block(no_translation()))));
  len = sizeof buffer;
  ASSERT_EQ(lib.get_version_info_ex(bare.c_str(), buffer, &len), 0);
  EXPECT_EQ(len, 23u);
  char small[10];
  len = sizeof small;
  ASSERT_EQ(lib.get_version_info_ex(bare.c_str(), small, &len), 0);
  EXPECT_EQ(len, 10u);
  EXPECT_EQ(std::string(small, 10), std::string(9, '\xFE') + '\0');

  const std::string text = dir_ + "/notes.txt";
  ASSERT_TRUE(write_file(text, {'h', 'i', '\n'}));
  char untouched[4] = "abc";
  len = sizeof untouched;
  EXPECT_EQ(lib.get_version_info_ex(text.c_str(), untouched, &len), -1);
  EXPECT_EQ(len, 4u);
  EXPECT_STREQ(untouched, "abc");
}

TEST_F(Blackbox, NumbersInTheGermanFormat) {
  char out[64];
  const double v = 1234.5, third = 1.0 / 3, pi = 3.14159, minus = -1234.5, big = 1234567.891;
  EXPECT_EQ(lib.float_to_string(out, &v), 6);
  EXPECT_STREQ(out, "1234,5");
  lib.float_to_string(out, &third);
  EXPECT_STREQ(out, "0,333333333333333");
  EXPECT_EQ(lib.float_to_string_e(out, &v), 6);
  EXPECT_STREQ(out, "1234.5");
  EXPECT_EQ(lib.float_str(out, 15, 2, &pi), 4);
  EXPECT_STREQ(out, "3,14");
  // glibc's de_DE: symbol "€" (UTF-8) after the amount with a blank, sign in front.
  lib.currency_to_string(out, 2, &v);
  EXPECT_STREQ(out, "1.234,50 \xE2\x82\xAC");
  lib.currency_to_string(out, 2, &minus);
  EXPECT_STREQ(out, "-1.234,50 \xE2\x82\xAC");
  lib.currency_to_string(out, 2, &big);
  EXPECT_STREQ(out, "1.234.567,89 \xE2\x82\xAC");
  const double inf = INFINITY;
  lib.float_to_string(out, &inf);
  EXPECT_STREQ(out, "INF");
}

TEST_F(Blackbox, TextToNumbers) {
  double result = 0;
  EXPECT_EQ(lib.string_to_float("1.234,56", &result), 0);
  EXPECT_EQ(result, 1234.56);
  EXPECT_EQ(lib.string_to_float("EUR -12,50", &result), 0);
  EXPECT_EQ(result, -12.5);
  result = 42;
  EXPECT_EQ(lib.string_to_float("abc", &result), 101);
  EXPECT_EQ(lib.string_to_float("12-3", &result), 101);
  EXPECT_EQ(lib.string_to_float("", &result), 101);
  EXPECT_EQ(result, 42);  // untouched on failure
  EXPECT_EQ(lib.string_to_currency("12,34567", &result), 0);
  EXPECT_EQ(result, 12.3457);
  EXPECT_EQ(lib.string_to_currency("0,00005", &result), 0);
  EXPECT_EQ(result, 0);
  const double ties[] = {2.5, 3.5, -2.5, 2.6};
  const std::int64_t want[] = {2, 4, -2, 3};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(lib.pdouble2int(&ties[i]), want[i]);
  const double nan = NAN;
  EXPECT_EQ(lib.pdouble2int(&nan), INT64_MIN);
}

TEST_F(Blackbox, SystemHelpers) {
  EXPECT_EQ(lib.win_color(0xFF000005), 0xFF000005u);
  EXPECT_EQ(lib.win_color(0xFF000008), 0u);
  const std::int32_t beep = lib.beep(0xFFFFFFFF);
  EXPECT_TRUE(beep == 0 || beep == 1);
  EXPECT_EQ(lib.run_shell_exe(0, (dir_ + "/missing.exe").c_str(), "", "", 0), 2);

  const std::string prog = dir_ + "/prog.sh";
  std::ofstream(prog) << "#!/bin/sh\npwd > " << dir_ << "/ran.tmp\nmv " << dir_ << "/ran.tmp "
                      << dir_ << "/ran\n";
  ASSERT_EQ(chmod(prog.c_str(), 0700), 0);
  EXPECT_EQ(lib.run_shell_exe(0, prog.c_str(), nullptr, "/", 0), 0);
  std::string ran;
  for (auto until = std::chrono::steady_clock::now() + 20s;
       ran.empty() && std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(20ms)) {
    std::ifstream in(dir_ + "/ran");
    std::getline(in, ran);
  }
  EXPECT_EQ(ran, "/");
  errno = 0;
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // nothing left to reap
  EXPECT_EQ(errno, ECHILD);
}

TEST_F(Blackbox, DatabaseCall) {
  void* ads = dlopen(FERROLIB_FAKE_ADS, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(ads, nullptr) << dlerror();
  double position = 0.5;
  EXPECT_EQ(lib.ads_set_rel_key_pos(reinterpret_cast<std::uintptr_t>(ads), 42, &position), 101);
  EXPECT_EQ(position, 0.0);
  position = 0.5;
  EXPECT_EQ(lib.ads_set_rel_key_pos(reinterpret_cast<std::uintptr_t>(lib.handle), 42, &position),
            101);
  EXPECT_EQ(position, 127.0);  // that module has no such function; the caller goes on
  dlclose(ads);
}

// The exports keep no shared state: many threads at once (the thread sanitizer build watches).
TEST_F(Blackbox, ConcurrentCalls) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&failures, t] {
      char out[64];
      for (int i = 0; i < 2000; ++i) {
        const double v = t * 1000 + i + 0.25;
        lib.float_to_string(out, &v);
        double back = 0;
        if (lib.string_to_float(out, &back) != 0 || back != v) ++failures;
        lib.currency_to_string(out, 2, &v);
        if (lib.crc32("123456789") != 0xCBF43926u) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace

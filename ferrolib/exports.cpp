// The fifteen exports: argument checks and the regional settings; the work is done elsewhere.
// Nothing may escape to a C caller: null pointers are handled as each export documents, and the
// few calls that allocate catch std::bad_alloc.
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "ferrolib/crc.h"
#include "ferrolib/ferrolib.h"
#include "ferrolib/number_format.h"
#include "ferrolib/number_parse.h"
#include "ferrolib/platform.h"
#include "ferrolib/system.h"
#include "ferrolib/version_info.h"

namespace {

using ferrolib::RegionalSettings;

// Read once, while the library is being loaded (dynamic initialisation runs inside dlopen), from
// the user's locale; never written again, so every thread may read it.
const RegionalSettings g_settings = ferrolib::platform::read_user_regional_settings();

constexpr std::int32_t kParseFailed = 101;

// The CRC of a NUL-terminated text in one sweep: each 64 KiB piece is measured and then summed
// while it is still in the cache, instead of a strlen() over all of it and a second pass.
template <class Reg, class Update>
Reg crc_of_text(const char* text, Reg reg, Update update) {
  constexpr std::size_t kPiece = 64 * 1024;
  for (;;) {
    const std::size_t n = strnlen(text, kPiece);
    reg = update(reg, text, n);
    if (n < kPiece) return reg;
    text += kPiece;
  }
}

class FileSource final : public ferrolib::ByteSource {
 public:
  explicit FileSource(ferrolib::platform::InputFile& f) : f_(f) {}
  std::uint64_t size() const override { return f_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t n) const override {
    return f_.read_at(offset, out, n);
  }

 private:
  ferrolib::platform::InputFile& f_;
};

}  // namespace

extern "C" {

FERRO_API uint32_t FERRO_STDCALL qvx_CRC16(const char* text) {
  if (text == nullptr) return 0;
  return crc_of_text<std::uint16_t>(text, 0, ferrolib::crc16_update);
}

FERRO_API uint32_t FERRO_STDCALL qvx_CRC32(const char* text) {
  if (text == nullptr) return 0;
  return ~crc_of_text<std::uint32_t>(text, 0xFFFFFFFFu, ferrolib::crc32_update);
}

FERRO_API uint32_t FERRO_STDCALL qvx_FileCRC32(const char* file_name) {
  constexpr std::size_t kBlock = 65521;  // 0xFFF1, 15 bytes short of 64 KiB
  std::uint32_t reg = 0xFFFFFFFFu;
  ferrolib::platform::InputFile file;
  if (file.open(file_name)) {
    std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kBlock]);
    if (!buffer) return 0;
    for (;;) {
      long long got = file.read(buffer.get(), kBlock);
      if (got <= 0) break;  // the end, or a read error: the CRC of what was read
      reg = ferrolib::crc32_update(reg, buffer.get(), static_cast<std::size_t>(got));
    }
  }
  return ~reg;
}

FERRO_API int32_t FERRO_STDCALL QvxGetVersionInfoEx(const char* file_name, char* buffer,
                                                    uint32_t* len) {
  if (file_name == nullptr || buffer == nullptr || len == nullptr) return -1;
  try {
    ferrolib::platform::InputFile file;
    if (!file.open(file_name)) return -1;
    FileSource source(file);
    return ferrolib::get_version_info(source, buffer, len);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

FERRO_API int32_t FERRO_STDCALL _FloatStr(char* dest, int32_t precision, int32_t digits,
                                          const double* value) {
  if (dest == nullptr) return 0;
  if (value == nullptr) return *dest = '\0', 0;
  return static_cast<int32_t>(ferrolib::format_fixed(*value, precision, digits, g_settings, dest));
}

FERRO_API int32_t FERRO_STDCALL _FloatToString(char* dest, const double* value) {
  if (dest == nullptr) return 0;
  if (value == nullptr) return *dest = '\0', 0;
  return static_cast<int32_t>(ferrolib::format_float(*value, g_settings, dest));
}

FERRO_API int32_t FERRO_STDCALL _FloatToStringE(char* dest, const double* value) {
  if (dest == nullptr) return 0;
  if (value == nullptr) return *dest = '\0', 0;
  auto n = static_cast<int32_t>(ferrolib::format_float(*value, g_settings, dest));
  ferrolib::swap_comma_and_point(dest);
  return n;
}

FERRO_API int32_t FERRO_STDCALL _CurrencyToString(char* dest, int32_t digits, const double* value) {
  if (dest == nullptr) return 0;
  if (value == nullptr) return *dest = '\0', 0;
  return static_cast<int32_t>(ferrolib::format_currency(*value, digits, g_settings, dest));
}

FERRO_API int32_t FERRO_STDCALL _StringToFloat(const char* text, double* result) {
  if (result == nullptr) return kParseFailed;
  try {
    auto v = ferrolib::parse_float(text, g_settings.decimal);
    if (!v) return kParseFailed;
    *result = *v;
    return 0;
  } catch (const std::bad_alloc&) {
    return kParseFailed;
  }
}

FERRO_API int32_t FERRO_STDCALL _StringToCurrency(const char* text, double* result) {
  if (result == nullptr) return kParseFailed;
  try {
    auto v = ferrolib::parse_currency(text, g_settings.decimal);
    if (!v) return kParseFailed;
    *result = *v;
    return 0;
  } catch (const std::bad_alloc&) {
    return kParseFailed;
  }
}

FERRO_API int64_t FERRO_STDCALL _PDouble2Int(const double* value) {
  if (value == nullptr) return std::numeric_limits<std::int64_t>::min();
  return ferrolib::round_to_int64(*value);
}

#if defined(FERRO_REGISTER_REVERSED_STACK)
FERRO_API int32_t FERRO_REGISTER _RunShellExe(ferro_handle window, const char* file,
                                              const char* parameters, int32_t reserved,
                                              const char* directory) {
#else
FERRO_API int32_t FERRO_REGISTER _RunShellExe(ferro_handle window, const char* file,
                                              const char* parameters, const char* directory,
                                              int32_t reserved) {
#endif
  (void)window;    // no parent window for a POSIX program start
  (void)reserved;  // accepted, no effect
  try {
    return static_cast<int32_t>(ferrolib::platform::shell_execute(file, parameters, directory));
  } catch (const std::bad_alloc&) {
    return static_cast<int32_t>(ferrolib::win_error::kNotEnoughMemory);
  }
}

FERRO_API int32_t FERRO_REGISTER _Beep(uint32_t type) {
  try {
    return ferrolib::platform::message_beep(type) ? 1 : 0;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

FERRO_API uint32_t FERRO_REGISTER _WinColor(uint32_t code) { return ferrolib::win_color(code); }

FERRO_API int32_t FERRO_STDCALL _AdsSetRelKeyPos(ferro_handle module, ferro_handle index,
                                                 double* position) {
  constexpr int32_t kAlways = 101;
  if (position == nullptr) return kAlways;
  if (module == 0) {
    *position = ferrolib::win_error::kInvalidHandle;
    return kAlways;
  }
  // The database function takes the index handle and the position by value and gives a 32-bit
  // result code, in the standard convention.
  using AdsSetRelKeyPosFn = uint32_t(FERRO_STDCALL*)(ferro_handle, double);
  void* fn = ferrolib::platform::module_function(module, "AdsSetRelKeyPos");
  if (fn == nullptr) {
    *position = ferrolib::win_error::kProcNotFound;
    return kAlways;
  }
  auto call = reinterpret_cast<AdsSetRelKeyPosFn>(fn);
  *position = static_cast<double>(static_cast<int32_t>(call(index, *position)));
  return kAlways;
}

}  // extern "C"

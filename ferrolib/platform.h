#pragma once
// The operating-system services ferrolib relies on (on Windows: file reading, the user locale,
// the shell, MessageBeep, GetProcAddress), behind one small interface with one backend file per OS:
// platform_posix.cpp now, a Win32 file for the Windows build. No OS type appears here. Every
// function may be called from any thread; none throws.

#include <cstddef>
#include <cstdint>

#include "ferrolib/regional.h"

namespace ferrolib::platform {

// A file opened for reading only, never created, with other processes free to read and write it
// meanwhile. Only regular files open: a directory, FIFO or device counts as not openable, so that
// no caller can stall on a pipe or read an endless device.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // False for a null or empty path, a missing file, no access, or not a regular file.
  bool open(const char* path);
  // Up to n bytes from the current position: the number read, 0 at the end, -1 on a read error.
  long long read(void* buffer, std::size_t n);
  // Exactly n bytes at offset; false when the file is shorter or reading fails.
  bool read_at(std::uint64_t offset, void* buffer, std::size_t n);
  // The size when it was opened.
  std::uint64_t size() const { return size_; }

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t size_ = 0;
};

// The user's regional settings as the environment names them (on POSIX: LC_ALL, LC_NUMERIC,
// LC_MONETARY, LANG), not the caller's setlocale() state. Called once, when the library loads.
RegionalSettings read_user_regional_settings();

// Starts a document or program the way the Windows shell's extended execute does, without
// waiting for it. 0 when started, else a Windows error code (see ferrolib.h, _RunShellExe).
// Null texts count as empty.
std::uint32_t shell_execute(const char* file, const char* parameters, const char* directory);

// Plays the system sound for a MessageBeep type; true when it was started.
bool message_beep(std::uint32_t type);

// The address of the function `name` in the loaded module `module`, or null.
void* module_function(std::uintptr_t module, const char* name);

}  // namespace ferrolib::platform

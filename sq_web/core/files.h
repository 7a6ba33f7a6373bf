#pragma once
// Whole-file routines. They move bytes unchanged (NUL, CR, LF included) and never report errors:
// a file that cannot be opened reads as "" and takes no bytes.

#include <string>
#include <string_view>

namespace ravelin {

// Creates or empties `cFile` and writes `cWriteBuffer`. A path that cannot be created writes
// nothing.
void MYWRITEFILE(const std::string& cFile, std::string_view cWriteBuffer);

// Appends `txt` to the existing file `filename`; never creates it. True when the file could be
// opened.
bool SCHREIB_DAZU(const std::string& filename, std::string_view txt);

// The file's content in 10240-byte blocks, with leading and trailing blanks (byte 32 only)
// removed; "" for a missing or unreadable file.
std::string MYREADFILE(const std::string& cFile);

// The file's content exactly as stored; "" for a missing or unreadable file.
std::string read_whole_file(const std::string& path);

}  // namespace ravelin

#pragma once
// Builds the version-information test fixtures in memory: minimal PE32 and PE32+ images with a
// version resource, and the version blocks themselves. The tests make every file they read from
// these; nothing binary comes from elsewhere.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ferrolib::testing {

using Bytes = std::vector<std::uint8_t>;

// One node of a version block: WORD wLength, WORD wValueLength, WORD wType, the key in UTF-16
// with NUL, padding to 4 bytes, the value, padding, the children (each padded to 4 bytes).
struct VersionNode {
  std::string key;  // UTF-8, written as UTF-16
  Bytes value;
  std::uint16_t value_length = 0;  // written as given: UTF-16 units for text, bytes for binary
  std::uint16_t type = 0;          // 1 text, 0 binary
  std::vector<VersionNode> children;
};

// A String node holding `text` (UTF-8 in, UTF-16 with NUL out; wValueLength counts the units).
VersionNode text_node(const std::string& key, const std::string& text);
// A binary node.
VersionNode binary_node(const std::string& key, Bytes value,
                        std::vector<VersionNode> children = {});

Bytes serialize(const VersionNode& node);

struct VersionContent {
  bool fixed_info = true;
  std::uint32_t file_version_ms = 0x00010002;  // 1.2
  std::uint32_t file_version_ls = 0x00030004;  // 3.4
  // Translation entry (language, code page); nothing: no VarFileInfo at all.
  std::optional<std::pair<std::uint16_t, std::uint16_t>> translation{{0x0407, 0x04E4}};
  std::string table_key = "040704E4";  // empty: no StringFileInfo
  std::vector<std::pair<std::string, std::string>> strings;
};

VersionNode version_tree(const VersionContent& content);
inline Bytes version_block(const VersionContent& content) { return serialize(version_tree(content)); }

// The example library: a German (0x0407, code page 0x04E4) library version 1.2.3.4 with all
// eight strings (LegalCopyright with a non-ASCII sign).
VersionContent german_library();
// Version 1.2.3.4 and no translation.
VersionContent no_translation();

struct PeOptions {
  bool pe32plus = false;
  std::uint16_t language = 0x0407;
  // Put a named type and RT_ICON before RT_VERSION in the type directory.
  bool other_types_first = false;
  // Leave out the resource directory entry of the optional header.
  bool no_resources = false;
};

// Offsets into the built file, for tests that break one thing on purpose.
struct PeLayout {
  std::size_t e_lfanew = 0;         // the DOS header's pointer to "PE\0\0"
  std::size_t optional_header = 0;  // its magic
  std::size_t resource_dir = 0;     // data directory entry 2 (RVA, size)
  std::size_t section_header = 0;   // the .rsrc section header
  std::size_t rsrc = 0;             // file offset of the resource section
  std::size_t type_entry = 0;       // the RT_VERSION entry of the type directory (file offset)
  std::size_t name_dir = 0;         // resource directories of level 2 and 3 (file offsets)
  std::size_t lang_dir = 0;
  std::size_t data_entry = 0;  // IMAGE_RESOURCE_DATA_ENTRY
  std::size_t data = 0;        // the resource data (the version block)
  std::uint32_t rsrc_rva = 0;
};

Bytes build_pe(const Bytes& resource_data, const PeOptions& options = {},
               PeLayout* layout = nullptr);

void put16(Bytes& b, std::size_t at, std::uint16_t v);
void put32(Bytes& b, std::size_t at, std::uint32_t v);

// Writes bytes to a file; false on failure.
bool write_file(const std::string& path, const Bytes& bytes);

}  // namespace ferrolib::testing

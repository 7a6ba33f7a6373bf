#pragma once
// QvxGetVersionInfoEx with a version-resource reader of our own, since POSIX has no
// version-resource service: the first RT_VERSION resource of a PE32 or PE32+ file, queried the
// way VerQueryValue does, joined into the 0xFE-separated text.
//
// Every offset and size read from the file is checked against the file and the block before it
// is used. The resource walk has exactly three levels and never follows an offset twice, so a
// tree whose entries point back at themselves cannot loop; children of a version block must
// each move the walk forward (a length below 6 ends it); the block is at most 65,535 bytes, as
// its 16-bit length field allows.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ferrolib {

// Random access to the bytes of a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t size() const = 0;
  // Exactly n bytes at offset; false when they are not all there.
  virtual bool read(std::uint64_t offset, void* out, std::size_t n) const = 0;
};

class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  bool read(std::uint64_t offset, void* out, std::size_t n) const override;

 private:
  std::span<const std::uint8_t> bytes_;
};

// The data of the first version resource (type 16, then the first name, the first language)
// of a PE32/PE32+ image, cut to 65,535 bytes and to what the file holds; nothing when the file
// is no such image or has none.
std::optional<std::vector<std::uint8_t>> find_version_resource(const ByteSource& file);

// VerQueryValue over a version block (VS_VERSIONINFO). Keys compare ASCII-case-insensitively, as
// Windows' do.
class VersionBlock {
 public:
  explicit VersionBlock(std::span<const std::uint8_t> data) : data_(data) {}

  // dwFileVersionMS and dwFileVersionLS of the root block "\".
  std::optional<std::pair<std::uint32_t, std::uint32_t>> file_version() const;
  // The first entry of "\VarFileInfo\Translation": language in the low 16 bits, code page high.
  std::optional<std::uint32_t> first_translation() const;
  // A text value such as "\StringFileInfo\040704E4\CompanyName", up to its first NUL, in
  // UTF-8.
  std::optional<std::string> text(std::string_view path) const;

 private:
  struct Node {
    std::size_t start, end, length;  // end is cut to the parent's end
    std::size_t key, key_end;
    std::size_t value, value_bytes;
    std::size_t children;
  };
  std::optional<Node> parse(std::size_t at, std::size_t limit) const;
  std::optional<Node> find(std::string_view path) const;
  bool key_is(const Node& n, std::string_view name) const;
  std::uint16_t u16(std::size_t at) const;

  std::span<const std::uint8_t> data_;
};

// The record TVersionInfo; every field 0 or empty unless the block has it.
struct VersionInfo {
  std::uint32_t version_ms = 0, version_ls = 0;
  std::string language;
  std::string company_name, file_description, file_version, internal_name, legal_copyright,
      original_filename, product_name, product_version;
};

// "%4x%4x" with upper-case digits and blanks turned to '0': 0x0407, 0x04E4 -> "040704E4".
std::string translation_key(std::uint16_t language, std::uint16_t code_page);

VersionInfo version_info_from_block(std::span<const std::uint8_t> block);

// Nothing when the file has no readable version resource (the -1 case).
std::optional<VersionInfo> read_version_info(const ByteSource& file);

// The eleven fields in the output order, each followed by the byte 0xFE (no closing NUL).
std::string version_text(const VersionInfo& info);

// Copies text and NUL into a buffer of `size` bytes, cutting a text that does not fit to its
// first size - 2 bytes plus 0xFE and NUL. A text exactly as long as the size is cut too: with
// its NUL it would need size + 1 bytes. Returns the bytes written; a
// size of 1 receives only the NUL, a size of 0 nothing.
std::uint32_t copy_cut(std::string_view text, char* buffer, std::uint32_t size);

// The export's work on an opened file: 0, or -1 without a readable version resource.
std::int32_t get_version_info(const ByteSource& file, char* buffer, std::uint32_t* len);

}  // namespace ferrolib

#include "ferrolib/version_info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "ferrolib/language_names.h"

namespace ferrolib {
namespace {

constexpr std::size_t kMaxBlock = 0xFFFF;  // a VS_VERSIONINFO's wLength is 16 bits
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;

std::size_t align4(std::size_t v) { return (v + 3) & ~std::size_t{3}; }

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Section {
  std::uint32_t va, raw_size, raw_ptr;
};

class Image {
 public:
  explicit Image(const ByteSource& f) : f_(f) {}

  bool load_headers() {
    std::uint8_t dos[64];
    if (!f_.read(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return false;
    std::uint64_t pe = le32(dos + 0x3C);
    std::uint8_t head[24];  // signature + COFF file header
    if (!f_.read(pe, head, sizeof head) || std::memcmp(head, "PE\0\0", 4) != 0) return false;
    std::uint32_t sections = le16(head + 6);
    std::uint32_t optional_size = le16(head + 20);
    std::uint64_t opt = pe + 24;
    std::uint8_t magic[2];
    if (!f_.read(opt, magic, 2)) return false;
    std::uint32_t dirs_at, count_at;
    switch (le16(magic)) {
      case 0x10B:
        dirs_at = 96;
        count_at = 92;
        break;  // PE32
      case 0x20B:
        dirs_at = 112;
        count_at = 108;
        break;  // PE32+
      default:
        return false;
    }
    if (optional_size < dirs_at + 3 * 8) return false;  // no room for the resource directory
    std::uint8_t count[4], resource_dir[8], headers_size[4];
    if (!f_.read(opt + count_at, count, 4) || le32(count) < 3) return false;
    if (!f_.read(opt + dirs_at + 2 * 8, resource_dir, 8)) return false;
    if (!f_.read(opt + 60, headers_size, 4)) return false;  // SizeOfHeaders, same place in both
    rsrc_rva_ = le32(resource_dir);
    if (rsrc_rva_ == 0) return false;
    headers_size_ = le32(headers_size);

    std::uint64_t table = opt + optional_size;
    // The table must be in the file: that bounds the read, whatever the count claims.
    if (table > f_.size() || sections * 40ull > f_.size() - table) return false;
    std::vector<std::uint8_t> raw(sections * 40ull);
    if (!raw.empty() && !f_.read(table, raw.data(), raw.size())) return false;
    for (std::uint32_t i = 0; i < sections; ++i) {
      const std::uint8_t* s = raw.data() + i * 40;
      sections_.push_back({le32(s + 12), le32(s + 16), le32(s + 20)});
    }
    return true;
  }

  // The file offset of an RVA and how many bytes from there belong to the same section (or
  // the headers) and the file; nothing for an RVA the file does not hold.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> locate(std::uint64_t rva) const {
    for (const Section& s : sections_) {
      if (rva >= s.va && rva - s.va < s.raw_size) {
        std::uint64_t off = s.raw_ptr + (rva - s.va);
        if (off >= f_.size()) return std::nullopt;
        std::uint64_t avail = std::min<std::uint64_t>(s.raw_size - (rva - s.va), f_.size() - off);
        return std::make_pair(off, avail);
      }
    }
    if (rva < headers_size_ && rva < f_.size()) {
      return std::make_pair(rva, std::min<std::uint64_t>(headers_size_, f_.size()) - rva);
    }
    return std::nullopt;
  }

  bool read_rva(std::uint64_t rva, void* out, std::size_t n) const {
    auto at = locate(rva);
    return at && at->second >= n && f_.read(at->first, out, n);
  }

  // Entries of the resource directory at `offset` (relative to the resource section), each as
  // (name field, offset field); as many as the file holds.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> directory(std::uint32_t offset) const {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    std::uint64_t rva = static_cast<std::uint64_t>(rsrc_rva_) + offset;
    std::uint8_t head[16];
    if (!read_rva(rva, head, sizeof head)) return entries;
    std::uint64_t count = static_cast<std::uint64_t>(le16(head + 12)) + le16(head + 14);
    auto at = locate(rva + 16);
    if (!at) return entries;
    count = std::min(count, at->second / 8);
    std::vector<std::uint8_t> raw(count * 8);
    if (count == 0 || !f_.read(at->first, raw.data(), raw.size())) return entries;
    for (std::uint64_t i = 0; i < count; ++i) {
      entries.emplace_back(le32(&raw[i * 8]), le32(&raw[i * 8 + 4]));
    }
    return entries;
  }

  std::optional<std::vector<std::uint8_t>> version_resource() const {
    // Level 1: the first entry with the numeric type 16.
    std::optional<std::uint32_t> names;
    for (auto [name, target] : directory(0)) {
      if (!(name & kHighBit) && name == kRtVersion) {
        if (target & kHighBit) names = target & ~kHighBit;
        break;
      }
    }
    if (!names) return std::nullopt;
    // Level 2: the first resource of that type; level 3: its first language.
    auto level2 = directory(*names);
    if (level2.empty() || !(level2[0].second & kHighBit)) return std::nullopt;
    auto level3 = directory(level2[0].second & ~kHighBit);
    if (level3.empty() || (level3[0].second & kHighBit)) return std::nullopt;
    std::uint8_t entry[16];  // IMAGE_RESOURCE_DATA_ENTRY: RVA, size, code page, reserved
    if (!read_rva(static_cast<std::uint64_t>(rsrc_rva_) + level3[0].second, entry, 16)) {
      return std::nullopt;
    }
    auto at = locate(le32(entry));
    if (!at) return std::nullopt;
    std::uint64_t n = std::min<std::uint64_t>({le32(entry + 4), kMaxBlock, at->second});
    std::vector<std::uint8_t> data(n);
    if (n < 6 || !f_.read(at->first, data.data(), n)) return std::nullopt;
    return data;
  }

 private:
  const ByteSource& f_;
  std::uint32_t rsrc_rva_ = 0, headers_size_ = 0;
  std::vector<Section> sections_;
};

void append_utf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

bool MemorySource::read(std::uint64_t offset, void* out, std::size_t n) const {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
  if (n) std::memcpy(out, bytes_.data() + offset, n);
  return true;
}

std::optional<std::vector<std::uint8_t>> find_version_resource(const ByteSource& file) {
  Image image(file);
  if (!image.load_headers()) return std::nullopt;
  return image.version_resource();
}

// --- VerQueryValue ------------------------------------------------------------------------------

std::uint16_t VersionBlock::u16(std::size_t at) const { return le16(data_.data() + at); }

std::optional<VersionBlock::Node> VersionBlock::parse(std::size_t at, std::size_t limit) const {
  // WORD wLength, WORD wValueLength, WORD wType, WCHAR szKey[], padding, value, padding, children
  if (at + 6 > limit) return std::nullopt;
  std::size_t length = u16(at);
  if (length < 6) return std::nullopt;
  Node n;
  n.start = at;
  n.length = length;
  n.end = std::min(at + length, limit);
  std::size_t value_length = u16(at + 2);
  bool text = u16(at + 4) == 1;  // text values count UTF-16 units, binary ones bytes
  n.key = at + 6;
  std::size_t k = n.key;
  while (k + 2 <= n.end && u16(k) != 0) k += 2;
  n.key_end = k;
  n.value = std::min(align4(std::min(k + 2, n.end)), n.end);
  n.value_bytes = std::min(text ? value_length * 2 : value_length, n.end - n.value);
  n.children = std::min(align4(n.value + n.value_bytes), n.end);
  return n;
}

bool VersionBlock::key_is(const Node& n, std::string_view name) const {
  if (name.empty() || (n.key_end - n.key) / 2 != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    std::uint16_t c = u16(n.key + 2 * i);
    auto want = static_cast<unsigned char>(name[i]);
    auto lower = [](unsigned v) { return v >= 'A' && v <= 'Z' ? v + 32 : v; };
    if (c >= 0x80 || lower(c) != lower(want)) return false;
  }
  return true;
}

std::optional<VersionBlock::Node> VersionBlock::find(std::string_view path) const {
  std::optional<Node> node = parse(0, data_.size());
  if (!node) return std::nullopt;
  if (!path.empty() && path[0] == '\\') path.remove_prefix(1);
  while (!path.empty()) {
    std::size_t cut = path.find('\\');
    std::string_view name = path.substr(0, cut);
    path = cut == std::string_view::npos ? std::string_view() : path.substr(cut + 1);
    std::optional<Node> found;
    std::size_t at = node->children;
    while (at + 6 <= node->end) {
      std::optional<Node> child = parse(at, node->end);
      if (!child) break;  // a length below 6 ends the list instead of looping on it
      if (key_is(*child, name)) {
        found = child;
        break;
      }
      at = align4(at + child->length);
    }
    if (!found) return std::nullopt;
    node = found;
  }
  return node;
}

std::optional<std::pair<std::uint32_t, std::uint32_t>> VersionBlock::file_version() const {
  auto root = find("\\");
  // VS_FIXEDFILEINFO: signature, struct version, dwFileVersionMS, dwFileVersionLS, ...
  if (!root || root->value_bytes < 16) return std::nullopt;
  const std::uint8_t* v = data_.data() + root->value;
  return std::make_pair(le32(v + 8), le32(v + 12));
}

std::optional<std::uint32_t> VersionBlock::first_translation() const {
  auto node = find("\\VarFileInfo\\Translation");
  if (!node || node->value_bytes < 4) return std::nullopt;
  return le32(data_.data() + node->value);
}

std::optional<std::string> VersionBlock::text(std::string_view path) const {
  auto node = find(path);
  if (!node) return std::nullopt;
  // Up to the first NUL within the node, whatever wValueLength claims: that is what a caller
  // of VerQueryValue reads.
  std::string out;
  for (std::size_t at = node->value; at + 2 <= node->end; at += 2) {
    std::uint32_t c = u16(at);
    if (c == 0) break;
    if (c >= 0xD800 && c < 0xDC00 && at + 4 <= node->end) {
      std::uint32_t low = u16(at + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        append_utf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
        at += 2;
        continue;
      }
    }
    append_utf8(out, c >= 0xD800 && c < 0xE000 ? 0xFFFD : c);  // a lone surrogate
  }
  return out;
}

// --- The export's record and text
// -----------------------------------------------------------------

std::string translation_key(std::uint16_t language, std::uint16_t code_page) {
  char key[16];
  std::snprintf(key, sizeof key, "%4X%4X", language, code_page);
  std::replace(key, key + std::strlen(key), ' ', '0');
  return key;
}

VersionInfo version_info_from_block(std::span<const std::uint8_t> block) {
  VersionBlock vb(block);
  VersionInfo info;
  if (auto v = vb.file_version()) {
    info.version_ms = v->first;
    info.version_ls = v->second;
  }
  std::string key;
  if (auto t = vb.first_translation()) {
    auto language = static_cast<std::uint16_t>(*t & 0xFFFF);
    key = translation_key(language, static_cast<std::uint16_t>(*t >> 16));
    info.language = language_name(language);
  }
  if (key.empty()) return info;  // the paths would hold "\\": no such value
  const std::string base = "\\StringFileInfo\\" + key + "\\";
  struct Field {
    const char* name;
    std::string VersionInfo::*member;
  };
  static constexpr Field kFields[] = {
      {"CompanyName", &VersionInfo::company_name},
      {"FileDescription", &VersionInfo::file_description},
      {"FileVersion", &VersionInfo::file_version},
      {"InternalName", &VersionInfo::internal_name},
      {"LegalCopyright", &VersionInfo::legal_copyright},
      {"OriginalFilename", &VersionInfo::original_filename},
      {"ProductName", &VersionInfo::product_name},
      {"ProductVersion", &VersionInfo::product_version},
  };
  for (const Field& f : kFields) {
    if (auto s = vb.text(base + f.name)) info.*f.member = *s;
  }
  return info;
}

std::optional<VersionInfo> read_version_info(const ByteSource& file) {
  auto block = find_version_resource(file);
  if (!block) return std::nullopt;
  return version_info_from_block(*block);
}

std::string version_text(const VersionInfo& info) {
  constexpr char kSep = '\xFE';
  std::string out;
  for (const std::string* s : {&info.file_version, &info.company_name, &info.file_description,
                               &info.internal_name, &info.legal_copyright, &info.original_filename,
                               &info.product_name, &info.product_version, &info.language}) {
    out += *s;
    out += kSep;
  }
  out += std::to_string(info.version_ms);
  out += kSep;
  out += std::to_string(info.version_ls);
  out += kSep;
  return out;
}

std::uint32_t copy_cut(std::string_view text, char* buffer, std::uint32_t size) {
  if (size == 0) return 0;
  if (text.size() < size) {
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return static_cast<std::uint32_t>(text.size() + 1);
  }
  if (size == 1) {
    buffer[0] = '\0';
    return 1;
  }
  std::memcpy(buffer, text.data(), size - 2);
  buffer[size - 2] = '\xFE';
  buffer[size - 1] = '\0';
  return size;
}

std::int32_t get_version_info(const ByteSource& file, char* buffer, std::uint32_t* len) {
  if (buffer == nullptr || len == nullptr) return -1;
  auto info = read_version_info(file);
  if (!info) return -1;
  *len = copy_cut(version_text(*info), buffer, *len);
  return 0;
}

}  // namespace ferrolib

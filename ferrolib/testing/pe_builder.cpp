#include "ferrolib/testing/pe_builder.h"

#include <fstream>

namespace ferrolib::testing {
namespace {

void pad4(Bytes& b) {
  while (b.size() % 4) b.push_back(0);
}

void append16(Bytes& b, std::uint16_t v) {
  b.push_back(static_cast<std::uint8_t>(v));
  b.push_back(static_cast<std::uint8_t>(v >> 8));
}

void append32(Bytes& b, std::uint32_t v) {
  append16(b, static_cast<std::uint16_t>(v));
  append16(b, static_cast<std::uint16_t>(v >> 16));
}

// UTF-8 to UTF-16 code units (no validation: the tests write well-formed text).
std::vector<std::uint16_t> utf16(const std::string& s) {
  std::vector<std::uint16_t> out;
  for (std::size_t i = 0; i < s.size();) {
    auto c = static_cast<unsigned char>(s[i]);
    std::uint32_t cp;
    std::size_t len;
    if (c < 0x80) {
      cp = c, len = 1;
    } else if (c < 0xE0) {
      cp = c & 0x1F, len = 2;
    } else if (c < 0xF0) {
      cp = c & 0x0F, len = 3;
    } else {
      cp = c & 0x07, len = 4;
    }
    for (std::size_t k = 1; k < len && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<std::uint16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<std::uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<std::uint16_t>(cp));
    }
  }
  return out;
}

}  // namespace

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
  put16(b, at, static_cast<std::uint16_t>(v));
  put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

VersionNode text_node(const std::string& key, const std::string& text) {
  VersionNode n;
  n.key = key;
  n.type = 1;
  auto units = utf16(text);
  units.push_back(0);
  for (auto u : units) append16(n.value, u);
  n.value_length = static_cast<std::uint16_t>(units.size());
  return n;
}

VersionNode binary_node(const std::string& key, Bytes value, std::vector<VersionNode> children) {
  VersionNode n;
  n.key = key;
  n.type = 0;
  n.value_length = static_cast<std::uint16_t>(value.size());
  n.value = std::move(value);
  n.children = std::move(children);
  return n;
}

Bytes serialize(const VersionNode& node) {
  Bytes b;
  append16(b, 0);  // wLength, set below
  append16(b, node.value_length);
  append16(b, node.type);
  for (auto u : utf16(node.key)) append16(b, u);
  append16(b, 0);
  pad4(b);
  b.insert(b.end(), node.value.begin(), node.value.end());
  for (std::size_t i = 0; i < node.children.size(); ++i) {
    pad4(b);
    Bytes child = serialize(node.children[i]);
    b.insert(b.end(), child.begin(), child.end());
  }
  put16(b, 0, static_cast<std::uint16_t>(b.size()));
  return b;
}

VersionNode version_tree(const VersionContent& content) {
  Bytes fixed;
  if (content.fixed_info) {
    append32(fixed, 0xFEEF04BD);  // signature
    append32(fixed, 0x00010000);  // structure version
    append32(fixed, content.file_version_ms);
    append32(fixed, content.file_version_ls);
    append32(fixed, content.file_version_ms);  // product version
    append32(fixed, content.file_version_ls);
    append32(fixed, 0x3F);        // flags mask
    append32(fixed, 0);           // flags
    append32(fixed, 0x00040004);  // VOS_NT_WINDOWS32
    append32(fixed, 2);           // VFT_DLL
    append32(fixed, 0);
    append32(fixed, 0);
    append32(fixed, 0);
  }
  VersionNode root = binary_node("VS_VERSION_INFO", fixed);
  if (!content.table_key.empty()) {
    VersionNode table = binary_node(content.table_key, {});
    table.type = 1;
    for (const auto& [name, text] : content.strings) table.children.push_back(text_node(name, text));
    VersionNode sfi = binary_node("StringFileInfo", {}, {table});
    sfi.type = 1;
    root.children.push_back(sfi);
  }
  if (content.translation) {
    Bytes t;
    append16(t, content.translation->first);
    append16(t, content.translation->second);
    VersionNode vfi = binary_node("VarFileInfo", {}, {binary_node("Translation", t)});
    vfi.type = 1;
    root.children.push_back(vfi);
  }
  return root;
}

VersionContent german_library() {
  VersionContent s;
  s.strings = {
      {"CompanyName", "Beispiel GmbH"},
      {"FileDescription", "Beispielbibliothek"},
      {"FileVersion", "1.2.3.4"},
      {"InternalName", "beispiel"},
      {"LegalCopyright", "\xC2\xA9 2024 Beispiel GmbH"},
      {"OriginalFilename", "beispiel.dll"},
      {"ProductName", "Beispiel"},
      {"ProductVersion", "1.2"},
  };
  return s;
}

VersionContent no_translation() {
  VersionContent s;
  s.translation.reset();
  s.table_key.clear();
  return s;
}

Bytes build_pe(const Bytes& resource_data, const PeOptions& o, PeLayout* layout) {
  constexpr std::uint32_t kSectionVa = 0x1000;
  constexpr std::uint32_t kFileAlign = 0x200;
  PeLayout l;

  // The resource section: type directory, (dummy directory and a name string,) name directory,
  // language directory, data entry, data.
  Bytes r;
  const std::uint16_t type_entries = o.other_types_first ? 3 : 1;
  auto directory = [&](std::uint16_t named, std::uint16_t ids) {
    for (int i = 0; i < 12; ++i) r.push_back(0);
    append16(r, named);
    append16(r, ids);
  };
  directory(o.other_types_first ? 1 : 0, static_cast<std::uint16_t>(o.other_types_first ? 2 : 1));
  const std::size_t entries = r.size();
  r.resize(r.size() + 8u * type_entries);
  std::size_t dummy = 0, name_string = 0;
  if (o.other_types_first) {
    dummy = r.size();
    directory(0, 0);
    name_string = r.size();
    append16(r, 4);
    for (char c : std::string("ICON")) append16(r, static_cast<std::uint16_t>(c));
    pad4(r);
  }
  const std::size_t name_dir = r.size();
  directory(0, 1);
  append32(r, 1);  // VS_VERSION_INFO
  const std::size_t name_entry_target = r.size();
  append32(r, 0);
  const std::size_t lang_dir = r.size();
  directory(0, 1);
  append32(r, o.language);
  const std::size_t lang_entry_target = r.size();
  append32(r, 0);
  const std::size_t data_entry = r.size();
  r.resize(r.size() + 16);
  pad4(r);
  const std::size_t data = r.size();
  r.insert(r.end(), resource_data.begin(), resource_data.end());

  std::size_t type_entry = entries;
  if (o.other_types_first) {
    put32(r, entries, 0x80000000u | static_cast<std::uint32_t>(name_string));
    put32(r, entries + 4, 0x80000000u | static_cast<std::uint32_t>(dummy));
    put32(r, entries + 8, 3);  // RT_ICON
    put32(r, entries + 12, 0x80000000u | static_cast<std::uint32_t>(dummy));
    type_entry = entries + 16;
  }
  put32(r, type_entry, 16);  // RT_VERSION
  put32(r, type_entry + 4, 0x80000000u | static_cast<std::uint32_t>(name_dir));
  put32(r, name_entry_target, 0x80000000u | static_cast<std::uint32_t>(lang_dir));
  put32(r, lang_entry_target, static_cast<std::uint32_t>(data_entry));
  put32(r, data_entry, kSectionVa + static_cast<std::uint32_t>(data));
  put32(r, data_entry + 4, static_cast<std::uint32_t>(resource_data.size()));
  const std::uint32_t rsrc_size = static_cast<std::uint32_t>(r.size());
  while (r.size() % kFileAlign) r.push_back(0);

  // Headers: DOS header, "PE\0\0", COFF header, optional header, one section header.
  Bytes f(kFileAlign, 0);
  f[0] = 'M';
  f[1] = 'Z';
  l.e_lfanew = 0x3C;
  const std::size_t pe = 0x80;
  put32(f, 0x3C, static_cast<std::uint32_t>(pe));
  f[pe] = 'P';
  f[pe + 1] = 'E';
  const std::size_t coff = pe + 4;
  const std::uint16_t optional_size = o.pe32plus ? 240 : 224;
  put16(f, coff, o.pe32plus ? 0x8664 : 0x014C);
  put16(f, coff + 2, 1);
  put16(f, coff + 16, optional_size);
  put16(f, coff + 18, o.pe32plus ? 0x2022 : 0x2102);
  const std::size_t opt = coff + 20;
  l.optional_header = opt;
  put16(f, opt, o.pe32plus ? 0x20B : 0x10B);
  put32(f, opt + 32, 0x1000);                                        // SectionAlignment
  put32(f, opt + 36, kFileAlign);                                    // FileAlignment
  put32(f, opt + 56, kSectionVa + ((rsrc_size + 0xFFF) & ~0xFFFu));  // SizeOfImage
  put32(f, opt + 60, kFileAlign);                                    // SizeOfHeaders
  put16(f, opt + 68, 2);                                             // Windows GUI
  const std::size_t dirs = opt + (o.pe32plus ? 112 : 96);
  put32(f, opt + (o.pe32plus ? 108 : 92), 16);
  l.resource_dir = dirs + 16;
  if (!o.no_resources) {
    put32(f, dirs + 16, kSectionVa);
    put32(f, dirs + 20, rsrc_size);
  }
  const std::size_t sh = opt + optional_size;
  l.section_header = sh;
  const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
  for (int i = 0; i < 8; ++i) f[sh + i] = static_cast<std::uint8_t>(name[i]);
  put32(f, sh + 8, rsrc_size);
  put32(f, sh + 12, kSectionVa);
  put32(f, sh + 16, static_cast<std::uint32_t>(r.size()));
  put32(f, sh + 20, kFileAlign);
  put32(f, sh + 36, 0x40000040);  // initialised data, readable

  l.rsrc = f.size();
  l.rsrc_rva = kSectionVa;
  l.type_entry = l.rsrc + type_entry;
  l.name_dir = l.rsrc + name_dir;
  l.lang_dir = l.rsrc + lang_dir;
  l.data_entry = l.rsrc + data_entry;
  l.data = l.rsrc + data;
  f.insert(f.end(), r.begin(), r.end());
  if (layout) *layout = l;
  return f;
}

bool write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace ferrolib::testing

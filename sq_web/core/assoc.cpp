#include "sq_web/core/assoc.h"

#include "sq_web/core/files.h"
#include "sq_web/core/text.h"

namespace ravelin {

namespace {

// A stored name matches when it begins with the sought one; the empty name matches anything.
bool name_matches(std::string_view stored, std::string_view sought) {
  return stored.starts_with(sought);
}

bool value_matches(const Value& stored, const Value& sought) {
  if (stored.index() != sought.index()) return false;
  if (const auto* s = std::get_if<std::string>(&stored)) {
    return name_matches(*s, std::get<std::string>(sought));
  }
  return stored == sought;
}

}  // namespace

ASSOC::ASSOC(const ASSOC& other) {
  std::lock_guard lock(other.mu_);
  aNamen = other.aNamen;
  aWerte = other.aWerte;
}

ASSOC& ASSOC::operator=(const ASSOC& other) {
  if (this == &other) return *this;
  std::scoped_lock lock(mu_, other.mu_);
  aNamen = other.aNamen;
  aWerte = other.aWerte;
  return *this;
}

void ASSOC::init() {
  std::lock_guard lock(mu_);
  aNamen = {};
  aWerte = {};
}

int ASSOC::find_name(std::string_view name) const {
  for (size_t k = 0; k < aNamen.size(); ++k) {
    if (name_matches(aNamen[k], name)) return static_cast<int>(k);
  }
  return -1;
}

ASSOC& ASSOC::s(std::string_view name, Value wert) {
  std::lock_guard lock(mu_);
  int k = find_name(name);
  if (k >= 0) {
    aWerte[k] = std::move(wert);
  } else {
    aNamen.emplace_back(name);
    aWerte.push_back(std::move(wert));
  }
  return *this;
}

Value ASSOC::r(std::string_view name, Value wert) const {
  std::lock_guard lock(mu_);
  int k = find_name(name);
  return k >= 0 ? aWerte[k] : wert;
}

std::string ASSOC::r(std::string_view name, const std::string& wert) const {
  std::lock_guard lock(mu_);
  int k = find_name(name);
  return k >= 0 ? value_text(aWerte[k]) : wert;
}

std::string ASSOC::r(std::string_view name, const char* wert) const {
  return r(name, std::string(wert ? wert : ""));
}

std::string ASSOC::n(const Value& wert_sought, std::string_view dflt) const {
  std::lock_guard lock(mu_);
  for (size_t k = 0; k < aWerte.size(); ++k) {
    if (value_matches(aWerte[k], wert_sought)) return aNamen[k];
  }
  return std::string(dflt);
}

std::string ASSOC::dump() const {
  std::lock_guard lock(mu_);
  if (aNamen.empty()) return "";
  size_t w = 0;
  for (const auto& name : aNamen) w = std::max(w, name.size());
  const std::string continuation = "\r\n" + std::string(w + 5, ' ') + "|";
  std::string out;
  for (size_t k = 0; k < aNamen.size(); ++k) {
    std::string shown = STRING_REPL("\r\n", value_text(aWerte[k]), continuation);
    out += aNamen[k];
    out.append(w - aNamen[k].size(), ' ');
    out += " (";
    out += kind_code(aWerte[k]);
    out += ") [";
    out += shown;
    out += "]\r\n";
  }
  return out;
}

ASSOC& ASSOC::zap() {
  init();
  return *this;
}

int ASSOC::len() const {
  std::lock_guard lock(mu_);
  return static_cast<int>(aNamen.size());
}

std::vector<std::pair<std::string, Value>> ASSOC::arr() const {
  std::lock_guard lock(mu_);
  std::vector<std::pair<std::string, Value>> out;
  out.reserve(aNamen.size());
  for (size_t k = 0; k < aNamen.size(); ++k) out.emplace_back(aNamen[k], aWerte[k]);
  return out;
}

ASSOC& ASSOC::ad(std::string_view name, Value wert) {
  std::lock_guard lock(mu_);
  int k = find_name(name);
  if (k >= 0) {
    aWerte[k] = value_text(aWerte[k]) + " | " + value_text(wert);
  } else {
    aNamen.emplace_back(name);
    aWerte.push_back(std::move(wert));
  }
  return *this;
}

ASSOC INI_TO_ASSOC(const std::string& filename) {
  ASSOC oIni;
  INI_TO_ASSOC(filename, oIni);
  return oIni;
}

ASSOC& INI_TO_ASSOC(const std::string& filename, ASSOC& oIni) {
  // Read raw: the settings format keeps blanks at the ends of values.
  for (const std::string& line : SPLIT(read_whole_file(filename), "\r\n")) {
    std::vector<std::string> parts = SPLIT(line, "|");
    if (parts.size() == 2) oIni.s(parts[0], parts[1]);
  }
  return oIni;
}

void ASSOC_TO_INI(const std::string& filename, const ASSOC& oIni) {
  auto entries = oIni.arr();
  if (entries.empty()) return;
  std::string text;
  for (const auto& [name, value] : entries) {
    text += name;
    text += '|';
    text += value_text(value);
    text += "\r\n";
  }
  MYWRITEFILE(filename, text);
}

}  // namespace ravelin

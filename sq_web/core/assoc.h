#pragma once
// ASSOC: the ordered name/value list behind the settings, the status values and a request's
// parameters.
//
// Lookups take the first entry whose name *begins with* the sought name (case-sensitive, byte by
// byte); the empty name finds the first entry. The search is linear on purpose: first match wins,
// so the order of entries is part of the behaviour.
//
// Every operation is one indivisible step: the list carries its own mutex, so a list shared
// between threads (the status list) needs no outside locking.

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sq_web/core/value.h"

namespace ravelin {

class ASSOC {
 public:
  ASSOC() = default;  // new: runs init, an empty list
  ASSOC(const ASSOC& other);
  ASSOC& operator=(const ASSOC& other);

  // Empties both member lists.
  void init();

  // Set: the first entry matching `name` takes `wert`; with no match a new entry is appended.
  ASSOC& s(std::string_view name, Value wert);

  // Read: the value of the first entry matching `name`, or the caller's default `wert`.
  Value r(std::string_view name, Value wert) const;
  // The same, as text (the found value's text form); for the lists of this program, which hold
  // texts only.
  std::string r(std::string_view name, const std::string& wert) const;
  std::string r(std::string_view name, const char* wert) const;

  // Reverse read: the name of the first entry whose value matches `wert_sought` (a text value
  // matches when it begins with the sought text; other kinds must be of the same kind and
  // equal), or `dflt`.
  std::string n(const Value& wert_sought, std::string_view dflt) const;

  // The list as a text table, one CR LF line per entry; "" when empty.
  std::string dump() const;

  // Removes all entries.
  ASSOC& zap();

  int len() const;

  // Copies of all entries in order.
  std::vector<std::pair<std::string, Value>> arr() const;

  // Add: appends " | " + `wert` to the value of the first entry matching `name`, or appends a
  // new entry. Meant for texts; a non-text old value is replaced by its text form first.
  ASSOC& ad(std::string_view name, Value wert);

 private:
  // Position of the first entry whose name begins with `name`; -1 when none. Caller holds mu_.
  int find_name(std::string_view name) const;

  mutable std::mutex mu_;
  std::vector<std::string> aNamen;
  std::vector<Value> aWerte;
};

// Reads a settings file into `oIni` (or a new list) with `s`, in file order. Lines are CR LF
// separated; a valid line holds exactly one "|"; nothing is trimmed; everything else is
// skipped. An unreadable file leaves the list as it was.
ASSOC INI_TO_ASSOC(const std::string& filename);
ASSOC& INI_TO_ASSOC(const std::string& filename, ASSOC& oIni);

// Writes every entry as "name|value" CR LF, replacing the file. An empty list leaves the file
// untouched.
void ASSOC_TO_INI(const std::string& filename, const ASSOC& oIni);

}  // namespace ravelin

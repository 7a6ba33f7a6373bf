#include "sq_web/app/module.h"

#include "sq_web/app/codepage.h"
#include "sq_web/app/toolkit.h"
#include "sq_web/core/text.h"

namespace ravelin {

Toolkit::~Toolkit() = default;
Listener::~Listener() = default;

namespace {

constexpr size_t kLogKeep = 401;  // characters of COMTEXT kept by OUT_M
constexpr size_t kLogLines = 6;   // pieces shown

Module g_process_module;
std::atomic<Module*> g_current{&g_process_module};

}  // namespace

Module& module() { return *g_current.load(); }

ScopedModule::ScopedModule() : current_(new Module), previous_(g_current.exchange(current_)) {}

ScopedModule::~ScopedModule() {
  g_current.store(previous_);
  delete current_;
}

void MessageLog::set(std::string_view text) {
  std::lock_guard lk(mu_);
  COMTEXT.assign(text);
}

void MessageLog::append(std::string_view text) {
  std::lock_guard lk(mu_);
  COMTEXT.append(text);
}

std::string MessageLog::text() const {
  std::lock_guard lk(mu_);
  return COMTEXT;
}

void MessageLog::OUT_M() {
  std::lock_guard lk(mu_);
  if (COMTEXT.size() > kLogKeep) COMTEXT.erase(0, COMTEXT.size() - kLogKeep);
  std::vector<std::string> pieces = SPLIT(COMTEXT, "\r\n");
  size_t first = pieces.size() > kLogLines ? pieces.size() - kLogLines : 0;
  std::string shown;
  for (size_t i = first; i < pieces.size(); ++i) {
    shown += pieces[i];
    shown += "\r\n";
  }
  // Handed over under the lock so that the control always ends up with the newest text.
  if (Toolkit* tk = module().toolkit) tk->set_log(ansi_to_oem(shown));
}

}  // namespace ravelin

#include "sq_web/serial/serial_link.h"

#include <mutex>

#include "sq_web/app/module.h"
#include "sq_web/app/toolkit.h"
#include "sq_web/serial/serial_service.h"

namespace ravelin {

SerialService::~SerialService() = default;

namespace {

constexpr long kSendWaitMs = 1000;

// COM_LESEN with the exchange lock held by the caller.
std::string lesen(Module& m) {
  std::string text;
  if (m.serial) text = m.serial->COM_READ(m.H_PORT, kReadMax).value_or("");
  if (!text.empty()) {
    m.log.append("COM: " + text);
    m.log.OUT_M();
  }
  return text;
}

}  // namespace

std::string COM_LESEN() {
  Module& m = module();
  std::lock_guard lk(m.exchange_mu);
  return lesen(m);
}

std::string COM_SENDEN(std::string_view txt) {
  Module& m = module();
  std::lock_guard lk(m.exchange_mu);
  lesen(m);
  m.log.set("");
  m.log.OUT_M();
  std::string command;
  if (txt.empty()) {
    if (m.toolkit) command = m.toolkit->send_line();
    m.log.append("LOC: " + command + "\r\n");
  } else {
    command.assign(txt);
    m.log.append("WEB: " + command + "\r\n");
  }
  if (m.toolkit) m.toolkit->set_button_enabled(false);
  if (m.serial) m.serial->COM_SEND(m.H_PORT, command, kSendWaitMs);
  if (m.toolkit) m.toolkit->set_button_enabled(true);
  return lesen(m);
}

}  // namespace ravelin

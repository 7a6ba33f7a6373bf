#include "sq_web/app/app.h"

#include <unistd.h>

#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

#include "sq_web/app/module.h"
#include "sq_web/app/toolkit.h"
#include "sq_web/core/assoc.h"
#include "sq_web/core/text.h"
#include "sq_web/serial/serial_link.h"
#include "sq_web/serial/serial_service.h"

namespace ravelin {

namespace {

constexpr const char* kOpenFailed = "Fehler bei Copmort";
constexpr const char* kReadModeFailed = "Fehler bei Com_ReadMode ";

std::string current_directory() {
  std::string dir(4096, '\0');
  if (!getcwd(dir.data(), dir.size())) return "./";
  dir.resize(dir.find('\0'));
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

void box(Module& m, const std::string& text, const std::string& title = "") {
  if (m.toolkit) m.toolkit->message_box(text, title);
}

}  // namespace

long settings_number(const std::string& text) {
  double v = std::trunc(text_to_number(text));
  if (!(v > static_cast<double>(LONG_MIN))) return v < 0 ? LONG_MIN : 0;
  if (v >= static_cast<double>(LONG_MAX)) return LONG_MAX;
  return static_cast<long>(v);
}

std::string window_title(long webport, long port) {
  return "PORTS WEB:" + std::to_string(webport) + " COM:" + std::to_string(port);
}

std::string close_failure_text(long port) {
  std::string digits = std::to_string(port);
  return "COM " + (digits.size() == 1 ? digits : std::string("*")) +
         " konnte nicht geschlossen werden";
}

void APPSYS() {}

void BILDSCHIRM(long x, long y) {
  Module& m = module();
  if (!m.toolkit) return;
  WindowCallbacks callbacks;
  callbacks.on_set = [] { COM_SENDEN(""); };
  callbacks.on_close = [] { APPQUIT(); };
  m.toolkit->build_window(WindowSetup{x, y, window_title(m.WEBPORT, m.H_PORT)}, callbacks);
}

void APPQUIT() {
  Module& m = module();
  m.quitting = true;
  bool closed = m.serial && m.serial->COM_CLOSE(m.H_PORT);
  if (!closed) box(m, close_failure_text(m.H_PORT), "Fehler:");
  if (m.end_process) m.end_process(0);
}

int MAIN(const MainServices& services) {
  Module& m = module();
  m.toolkit = services.toolkit;
  m.serial = services.serial;
  m.end_process = services.end_process;

  // Texts are compared byte by byte with the list's prefix rule and no date is ever formatted,
  // so there is no process-wide text setting to make.
  m.FILEPATH = current_directory();
  m.oINI = INI_TO_ASSOC(m.FILEPATH + "config.ini");
  m.oSTATUS = ASSOC();
  m.oSTATUS.s("mod", std::string("1"));

  m.H_PORT = settings_number(m.oINI.r("COM", "1"));
  m.BAUD = settings_number(m.oINI.r("BAUD", "9600"));
  m.WEBPORT = settings_number(m.oINI.r("WEBPORT", "80"));
  m.WEBPASS = m.oINI.r("WEBPASS", "Hr8wQz2nVt5yMc4p");
  std::string device = m.oINI.r("DEVICE", "");
  if (!device.empty() && m.serial) m.serial->name_device(m.H_PORT, device);

  // A position without two pieces has no meaning; such a window goes to the default corner.
  std::vector<std::string> pos = SPLIT(m.oINI.r("POS", "1,1"), ",");
  long x = 1, y = 1;
  if (pos.size() >= 2) {
    x = settings_number(pos[0]);
    y = settings_number(pos[1]);
  }
  BILDSCHIRM(x, y);

  SerialService* s = m.serial;
  const long port = m.H_PORT;
  if (s) s->COM_HARD(port, false, false);
  if (!(s && s->COM_OPEN(port))) box(m, kOpenFailed);
  if (s) s->COM_HARD(port, false, false);
  if (s && s->COM_INIT(port, m.BAUD, 'E', 7, 2)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  } else {
    box(m, kOpenFailed);
  }
  if (s) {
    s->COM_HARD(port, false, false);
    s->COM_SOFT(port, false);
  }
  if (!(s && s->COM_READMODE(port, 1, settings_number(m.oINI.r("TIMEOUT", "50"))))) {
    box(m, kReadModeFailed);
    APPQUIT();
    return 0;  // only when the process did not end (tests)
  }

  m.CLIENTS = 0;
  if (services.listener) m.oThread = services.listener(m.WEBPORT);
  if (m.oThread) m.oThread->start();

  m.log.set("Webserver running on Port:" + std::to_string(m.WEBPORT) + "\r\n");
  m.log.append("Access via " + m.WEBPASS + ".php \r\n");

  std::string q = m.oINI.r("Q", "4000");
  COM_SENDEN("Q=" + q);
  m.oSTATUS.s("sq", q);
  COM_SENDEN("H=" + m.oINI.r("H", "4000"));
  m.log.OUT_M();

  if (!m.toolkit) return 0;
  LoopExit exit = m.toolkit->run_loop();
  // A close request that came back from APPQUIT (tests) ends here too: the statements after the
  // loop belong to the Escape way out only.
  if (exit == LoopExit::closed && m.quitting) return 0;
  if (m.oThread) m.oThread->stop();
  return 0;
}

}  // namespace ravelin

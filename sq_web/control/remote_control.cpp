#include "sq_web/control/remote_control.h"

#include "sq_web/app/module.h"
#include "sq_web/control/pages.h"
#include "sq_web/core/files.h"
#include "sq_web/serial/serial_link.h"

namespace ravelin {

void STEUERBEFEHL(const ASSOC& oREQUEST) {
  ControlCommand cmd = control_command(oREQUEST);
  Module& m = module();
  switch (cmd.kind) {
    case CommandKind::mod:
      m.oSTATUS.s("mod", cmd.value);
      break;
    case CommandKind::sq:
      // Recorded before it goes out, as received; the device gets the four-digit form.
      m.oSTATUS.s("sq", cmd.value);
      COM_SENDEN(cmd.device_command);
      break;
    case CommandKind::none:
      break;
  }
}

std::string DAT_FRAME() {
  Module& m = module();
  std::string antwort = COM_SENDEN("S=????");
  // One snapshot of the shared list, so the page shows one consistent state even while other
  // requests change it.
  ASSOC status = m.oSTATUS;
  StatusFrame frame = status_frame(antwort, status, m.oINI.r("REPEAT", "1000"));
  m.log.append(frame.log_lines);
  m.log.OUT_M();
  return frame.page;
}

std::string MODKEYS() { return mode_keys_page(module().oSTATUS.r("mod", "1")); }

std::string FERNSTEUERUNG(ASSOC& oREQUEST, const std::string& url) {
  Module& m = module();
  STEUERBEFEHL(oREQUEST);
  std::string htm;
  switch (page_kind(oREQUEST)) {
    case PageKind::mode_keys:
      htm = MODKEYS();
      break;
    case PageKind::status_frame:
      htm = DAT_FRAME();
      break;
    case PageKind::regulator:
      htm = regulator_page(MYREADFILE("web/regler.htm"), oREQUEST, m.oSTATUS);
      break;
    case PageKind::file:
      htm = web_file(url);
      break;
  }
  if (htm.empty()) m.log.append(kHideServerLine);
  m.log.OUT_M();
  return htm;
}

}  // namespace ravelin

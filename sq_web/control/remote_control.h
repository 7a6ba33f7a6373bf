#pragma once
// The remote control as the web server calls it: applies a request's control command and returns
// the page it asks for. These read and change the module-wide state (status list, settings,
// message log) and talk to the device through the serial link; the pages themselves are built
// by the plain functions of pages.h.

#include <string>

#include "sq_web/core/assoc.h"

namespace ravelin {

// Applies the control command, then returns the body chosen by "cl": the mode keys page, the
// status frame, the regulator page or a file of web/ (paths that leave web/ are refused). ""
// means no answer; that case adds "wrong request -> hide server " to the log. The log is shown
// on every call. Runs on connection threads, several at a time.
std::string FERNSTEUERUNG(ASSOC& oREQUEST, const std::string& url);

// "set=mod" records "va" as the mode; "set=sq" records "va" as the set value and sends it to the
// device as "Q=" and four digits. Anything else does nothing.
void STEUERBEFEHL(const ASSOC& oREQUEST);

// Queries the device once ("S=????"), logs reading and set value in percent and returns the
// status frame.
std::string DAT_FRAME();

// The mode keys page with the key of the current mode lit.
std::string MODKEYS();

}  // namespace ravelin

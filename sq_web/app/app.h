#pragma once
// Start-up, the main loop and the orderly end.

#include <functional>
#include <string>

#include "sq_web/app/listener.h"

namespace ravelin {

class Toolkit;
class SerialService;

// What MAIN runs on; main() passes the real ones, tests fakes.
struct MainServices {
  Toolkit* toolkit = nullptr;
  SerialService* serial = nullptr;
  ListenerFactory listener;
  // Ends the process at once with the given exit code. The program's never returns; a test's may,
  // and then APPQUIT and MAIN return as well.
  std::function<void(int)> end_process;
};

// Runs before MAIN; there is nothing to prepare.
void APPSYS();

// Start-up and event loop on the main thread; the exit code when the loop is left by Escape.
int MAIN(const MainServices& services);

// Closes the port (a message box on failure) and ends the process.
void APPQUIT();

// Builds and shows the main window at x, y (from the lower-left corner of the screen).
void BILDSCHIRM(long x, long y);

// "PORTS WEB:<webport> COM:<port>".
std::string window_title(long webport, long port);

// The close-failure message: the port number in a field one character wide ("*" when it needs
// more).
std::string close_failure_text(long port);

// A settings number as the program keeps it: the text-to-number rule, cut to an integer and
// kept within the range of long.
long settings_number(const std::string& text);

}  // namespace ravelin

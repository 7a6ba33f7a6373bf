// ravelin: the window, the serial port and the web server between one device and its operators.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sq_web/app/app.h"
#include "sq_web/app/qt_toolkit.h"
#include "sq_web/serial/serial_service.h"

namespace {

// Stands in for the HTTP listener until the server is linked in.
struct IdleListener : ravelin::Listener {
  void start() override {}
  void stop() override {}
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);

  auto toolkit = ravelin::make_qt_toolkit();
  auto serial = ravelin::make_system_serial_service();

  ravelin::MainServices services;
  services.toolkit = toolkit.get();
  services.serial = serial.get();
  services.listener = [](long /*port*/) -> std::unique_ptr<ravelin::Listener> {
    return std::make_unique<IdleListener>();
  };
  services.end_process = [](int code) {
    std::fflush(nullptr);
    std::_Exit(code);  // at once: the window, the listener and its connections end with it
  };

  ravelin::APPSYS();
  return ravelin::MAIN(services);
}

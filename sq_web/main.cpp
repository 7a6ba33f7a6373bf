// ravelin: the window, the serial port and the web server between one device and its operators.

#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "sq_web/app/app.h"
#include "sq_web/app/module.h"
#include "sq_web/app/qt_toolkit.h"
#include "sq_web/control/remote_control.h"
#include "sq_web/http/server.h"
#include "sq_web/serial/serial_service.h"

namespace {

// The web server behind start-up's listener seam, answering with the remote control.
class WebListener : public ravelin::Listener {
 public:
  explicit WebListener(long port)
      : thread_(port, ravelin::ServerContext{ravelin::module().WEBPASS, &ravelin::module().CLIENTS,
                                             ravelin::FERNSTEUERUNG}) {}
  void start() override { thread_.start(); }
  void stop() override { thread_.stop(); }

 private:
  ravelin::ServerThread thread_;
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
  services.listener = [](long port) -> std::unique_ptr<ravelin::Listener> {
    return std::make_unique<WebListener>(port);
  };
  services.end_process = [](int code) {
    std::fflush(nullptr);
    std::_Exit(code);  // at once: the window, the listener and its connections end with it
  };

  ravelin::APPSYS();
  return ravelin::MAIN(services);
}

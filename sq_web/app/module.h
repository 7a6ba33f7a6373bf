#pragma once
// The program's module-wide state: one object per process, reached through module(). Tests make
// a fresh one per test (ScopedModule) with fake services.

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "sq_web/app/listener.h"
#include "sq_web/core/assoc.h"

namespace ravelin {

class Toolkit;        // sq_web/app/toolkit.h: the window, its three controls, message boxes
class SerialService;  // sq_web/serial/serial_service.h: COM_OPEN ... COM_CLOSE

// COMTEXT and the log control, changed under one mutex. Safe from any thread; updates of the
// control are posted to the GUI thread, never waited for.
class MessageLog {
 public:
  void set(std::string_view text);     // COMTEXT := text
  void append(std::string_view text);  // COMTEXT := COMTEXT + text
  std::string text() const;            // a copy of COMTEXT
  // OUT_M(oMLE1): keeps the last 401 characters of COMTEXT and shows the last six lines.
  void OUT_M();

 private:
  mutable std::mutex mu_;
  std::string COMTEXT;
};

struct Module {
  ASSOC oINI;     // settings from config.ini; only read after start-up
  ASSOC oSTATUS;  // status values the web pages show and change ("mod", "sq", ...)
  long H_PORT = 0;
  long BAUD = 0;
  long WEBPORT = 0;
  std::string WEBPASS;
  std::string FILEPATH;  // working directory at start, with a trailing "/"
  std::atomic<int> CLIENTS{0};
  MessageLog log;
  Toolkit* toolkit = nullptr;       // oMLE1, oSLE1, oBT1 live behind it
  SerialService* serial = nullptr;  // the open port's service
  std::mutex exchange_mu;           // one serial exchange on the port at a time

  // Start-up and quit (sq_web/app/app.h).
  std::unique_ptr<Listener> oThread;     // the HTTP listener, once started
  std::function<void(int)> end_process;  // ends the process; returns only in tests
  std::atomic<bool> quitting{false};     // APPQUIT has run
};

Module& module();

// Gives the process a fresh Module for the lifetime of this object (tests).
class ScopedModule {
 public:
  ScopedModule();
  ~ScopedModule();
  ScopedModule(const ScopedModule&) = delete;
  ScopedModule& operator=(const ScopedModule&) = delete;
  Module& operator*() { return *current_; }
  Module* operator->() { return current_; }

 private:
  Module* current_;
  Module* previous_;
};

}  // namespace ravelin

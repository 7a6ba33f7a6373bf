#pragma once
// The built-in web server: the listener thread and one connection thread per request.
//
// The listener polls its non-blocking socket every 0.15 s, accepts at most one connection per
// run and hands it to a new connection thread while fewer than four of those run; a connection
// accepted beyond that is closed at once. A connection thread reads one request, routes it
// (secret prefix to the dispatcher, then the test path) and closes the connection; everything
// else is closed without a byte, so the server stays hidden.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "sq_web/core/assoc.h"
#include "sq_web/http/socket.h"
#include "sq_web/http/thread.h"

namespace ravelin {

// Answers a request under the secret prefix: gets the request's parameters and the path below
// the prefix, returns the body; "" means no answer at all. Called on connection threads, up to
// four at a time.
using Dispatcher = std::function<std::string(ASSOC& oREQUEST, const std::string& url)>;

// What the server reads from the program's module-wide state.
struct ServerContext {
  std::string webpass;                  // WEBPASS; the secret prefix is "/" + webpass
  std::atomic<int>* clients = nullptr;  // CLIENTS; must outlive every connection thread
  Dispatcher dispatch;                  // FERNSTEUERUNG
};

// One connection: reads the request, answers it or not, closes it and lowers CLIENTS. Started
// detached by the listener; the object deletes itself when the thread ends.
class ClientThread : public Thread {
 public:
  // How long a request may take to arrive in full, counted from the start of the thread.
  static constexpr int kReadWindowMs = 1000;

  ClientThread(SocketHandle nSocket, ServerContext ctx);
  ClientThread& init(SocketHandle nSocket);

  // Sends `body` as one complete response (status 200 for ok, else 501).
  ClientThread& antworten(std::string_view body, bool ok);

 protected:
  void execute() override;
  void atEnd() override;

 private:
  // The request's bytes, read until head and body are in, the window has passed or the peer is
  // done. False when the request is too large to be answered.
  bool read_request(std::string& anfrage);

  SocketHandle nSocket = 0;
  ServerContext ctx_;
};

class ServerThread : public Thread {
 public:
  static constexpr long kPollHundredths = 15;
  static constexpr int kListenQueue = 8;
  static constexpr int kMaxClients = 4;

  // Port 0 picks a free port (tests); port() tells which.
  ServerThread(long nPort, ServerContext ctx);
  ~ServerThread() override;  // stops the listener if it still runs

  ServerThread& init(long nPort);

  // Ends the listener: no further run starts, the run in progress finishes, atEnd() runs, then
  // the listening socket is closed. Does nothing when there is no socket (never bound, or
  // already ended). Connection threads still running are left alone.
  ServerThread& stop();

  // Waits up to `timeout_ms` until atStart() has run; true then. Tests use it as the readiness
  // signal.
  bool wait_started(int timeout_ms);
  // The port the listener is bound to; 0 before atStart or when it could not bind.
  long port() const { return bound_port_.load(); }
  // The listening socket's handle; 0 when there is none.
  SocketHandle socket() const { return nSocket.load(); }

 protected:
  void atStart() override;
  void execute() override;
  void atEnd() override;

 private:
  long nPort = 0;
  std::atomic<SocketHandle> nSocket{0};
  std::atomic<long> bound_port_{0};
  ServerContext ctx_;

  std::mutex start_mu_;
  std::condition_variable start_cv_;
  bool at_start_done_ = false;
};

}  // namespace ravelin

#include "sq_web/http/server.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>

#include "sq_web/http/request.h"

namespace ravelin {
namespace {

// One write per line, so that the summaries of parallel requests do not interleave.
void write_summary(const std::string& text) {
  std::string line = text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Connection thread

ClientThread::ClientThread(SocketHandle socket, ServerContext ctx) : ctx_(std::move(ctx)) {
  init(socket);
}

ClientThread& ClientThread::init(SocketHandle socket) {
  Thread::init();
  nSocket = socket;
  return *this;
}

bool ClientThread::read_request(std::string& anfrage) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kReadWindowMs);
  char buffer[500];
  for (;;) {
    int nError = 0;
    const long nBytes = SOCKETRECV(nSocket, buffer, sizeof buffer, 0, nError);
    if (nBytes > 0) {
      anfrage.append(buffer, static_cast<std::size_t>(nBytes));
      switch (request_progress(anfrage)) {
        case RequestProgress::kComplete:
          return true;
        case RequestProgress::kTooLarge:
          return false;
        case RequestProgress::kNeedMore:
          continue;
      }
    }
    if (nBytes == 0 || nError != kSocketWouldBlock) return true;  // peer done, or gone
    // Nothing waiting yet: a moment's patience, bounded, for the rest of the request.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return true;
    const int w = SOCKETWAIT(nSocket, static_cast<int>(left));
    if (w != kSocketOk && w != kSocketWouldBlock) return true;
  }
}

void ClientThread::execute() {
  std::string anfrage;
  if (!read_request(anfrage)) return;  // too large: no answer

  Request req = parse_request(anfrage);
  write_summary(request_summary(req));

  const Route route = route_request(req.url, ctx_.webpass);
  if (route.to_dispatcher && ctx_.dispatch) {
    std::string body;
    try {
      body = ctx_.dispatch(req.oREQUEST, route.dispatch_path);
    } catch (const std::exception& e) {
      // The dispatcher's failure must not take the process down; the request goes unanswered.
      std::fprintf(stderr, "ravelin: request failed: %s\n", e.what());
    } catch (...) {
      std::fprintf(stderr, "ravelin: request failed\n");
    }
    if (!body.empty()) antworten(body, true);
  }
  if (route.test_page) antworten(kTestPage, true);
}

ClientThread& ClientThread::antworten(std::string_view body, bool ok) {
  SOCKETSEND(nSocket, build_response(body, ok));
  return *this;
}

void ClientThread::atEnd() {
  SOCKETSHUTDOWN(nSocket, 1);
  SOCKETCLOSE(nSocket);
  nSocket = 0;
  ctx_.clients->fetch_sub(1);
}

// ---------------------------------------------------------------------------------------------
// Listener thread

ServerThread::ServerThread(long port, ServerContext ctx) : ctx_(std::move(ctx)) { init(port); }

ServerThread::~ServerThread() {
  stop();
  if (started()) synchronize(0);  // a listener that could not bind ends by itself
}

ServerThread& ServerThread::init(long port) {
  Thread::init();
  nSocket = 0;
  nPort = port;
  return *this;
}

void ServerThread::atStart() {
  std::string why;
  nSocket = SOCKETCREATE(1, nPort, &why);
  SOCKETSETBLOCKINGMODE(nSocket, false);
  if (nSocket != 0) {
    SOCKETLISTEN(nSocket, kListenQueue);
    bound_port_ = SOCKETLOCALPORT(nSocket);
    setInterval(kPollHundredths);
  } else {
    std::fprintf(stderr, "ravelin: web server cannot listen on port %ld (%s)\n", nPort,
                 why.c_str());
  }
  {
    std::lock_guard lk(start_mu_);
    at_start_done_ = true;
  }
  start_cv_.notify_all();
}

void ServerThread::execute() {
  const SocketHandle listening = nSocket;
  if (listening == 0) return;
  const SocketHandle nClientSocket = SOCKETACCEPT(listening);
  if (nClientSocket == 0) return;
  if (ctx_.clients->load() > kMaxClients - 1) {
    SOCKETCLOSE(nClientSocket);  // over the limit: not served, and not left open either
    return;
  }
  ctx_.clients->fetch_add(1);
  std::unique_ptr<Thread> client = std::make_unique<ClientThread>(nClientSocket, ctx_);
  if (!Thread::start_detached(client)) {
    // No thread to be had: give the unit back and drop the connection.
    client.reset();
    SOCKETCLOSE(nClientSocket);
    ctx_.clients->fetch_sub(1);
  }
}

void ServerThread::atEnd() { nSocket = 0; }

bool ServerThread::wait_started(int timeout_ms) {
  std::unique_lock lk(start_mu_);
  return start_cv_.wait_for(lk, std::chrono::milliseconds(timeout_ms),
                            [this] { return at_start_done_; });
}

ServerThread& ServerThread::stop() {
  // Let a listener that is just starting finish binding, so that stop() sees its socket.
  if (started()) {
    std::unique_lock lk(start_mu_);
    start_cv_.wait(lk, [this] { return at_start_done_; });
  }
  const SocketHandle listening = nSocket;
  if (listening == 0) return *this;
  setInterval(std::nullopt);
  // The socket is closed only once the listener thread no longer uses it: closing it under a
  // running accept could hand the same descriptor number to someone else in between.
  synchronize(0);
  SOCKETCLOSE(listening);
  return *this;
}

}  // namespace ravelin

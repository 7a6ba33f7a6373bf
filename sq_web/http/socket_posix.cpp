// Socket operations over POSIX sockets.
//
// A handle is the file descriptor plus one, so that descriptor 0 (possible when the process was
// started with stdin closed) still gets a valid, non-zero handle.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "sq_web/http/socket.h"

namespace ravelin {
namespace {

int fd_of(SocketHandle h) { return static_cast<int>(h - 1); }
SocketHandle handle_of(int fd) { return static_cast<SocketHandle>(fd) + 1; }

// The one place where the system's error numbers become ours.
int translate_error(int err) {
  switch (err) {
    case 0:
      return kSocketOk;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINTR:
      return kSocketWouldBlock;
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
    case ESHUTDOWN:
    case ETIMEDOUT:
      return kSocketClosed;
    default:
      return kSocketFailed;
  }
}

// Sends never raise SIGPIPE: per call where the system offers it, else per socket.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
void no_sigpipe(int) {}
#else
constexpr int kSendFlags = 0;
void no_sigpipe(int fd) {
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
}
#endif

bool set_nonblocking(int fd, bool nonblocking) {
  int flags = fcntl(fd, F_GETFL, 0);
  if (flags < 0) return false;
  flags = nonblocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(fd, F_SETFL, flags) == 0;
}

}  // namespace

SocketHandle SOCKETCREATE(int type, long port, std::string* why) {
  auto fail = [why](const char* what, int err) -> SocketHandle {
    if (why) *why = std::string(what) + ": " + std::strerror(err);
    return 0;
  };
  if (type != 1) return fail("socket", EINVAL);
  if (port < 0 || port > 65535) return fail("port", EINVAL);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return fail("socket", errno);
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  no_sigpipe(fd);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    close(fd);
    return fail("bind", err);
  }
  return handle_of(fd);
}

bool SOCKETSETBLOCKINGMODE(SocketHandle h, bool blocking) {
  return h != 0 && set_nonblocking(fd_of(h), !blocking);
}

bool SOCKETLISTEN(SocketHandle h, int backlog) { return h != 0 && listen(fd_of(h), backlog) == 0; }

SocketHandle SOCKETACCEPT(SocketHandle listening) {
  if (listening == 0) return 0;
  // Linux does not pass O_NONBLOCK on to accepted sockets; accept4 sets it in the same step.
  int fd = accept4(fd_of(listening), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return 0;
  no_sigpipe(fd);
  return handle_of(fd);
}

long SOCKETRECV(SocketHandle h, char* buffer, std::size_t size, int flags, int& error) {
  if (h == 0) {
    error = kSocketFailed;
    return -1;
  }
  ssize_t n;
  do {
    n = recv(fd_of(h), buffer, size, flags | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n >= 0) {
    error = kSocketOk;
    return static_cast<long>(n);
  }
  error = translate_error(errno);
  return -1;
}

long SOCKETSEND(SocketHandle h, std::string_view text, int deadline_ms) {
  if (h == 0) return 0;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(deadline_ms);
  std::size_t sent = 0;
  while (sent < text.size()) {
    ssize_t n = send(fd_of(h), text.data() + sent, text.size() - sent, kSendFlags | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && translate_error(errno) != kSocketWouldBlock) break;  // peer gone or failure
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_of(h), POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) break;
  }
  return static_cast<long>(sent);
}

bool SOCKETSHUTDOWN(SocketHandle h, int how) {
  if (h == 0) return false;
  int mode = how == 0 ? SHUT_RD : how == 1 ? SHUT_WR : SHUT_RDWR;
  return shutdown(fd_of(h), mode) == 0;
}

bool SOCKETCLOSE(SocketHandle h) { return h != 0 && close(fd_of(h)) == 0; }

int SOCKETWAIT(SocketHandle h, int timeout_ms) {
  if (h == 0) return kSocketFailed;
  pollfd p{fd_of(h), POLLIN, 0};
  int r = poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms);
  if (r < 0) return translate_error(errno);
  if (r == 0) return kSocketWouldBlock;
  if (p.revents & POLLNVAL) return kSocketFailed;
  return kSocketOk;  // readable, or hung up / in error: the next receive tells which
}

long SOCKETLOCALPORT(SocketHandle h) {
  if (h == 0) return 0;
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (getsockname(fd_of(h), reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return ntohs(addr.sin_port);
}

}  // namespace ravelin

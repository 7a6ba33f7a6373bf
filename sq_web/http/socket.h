#pragma once
// The server's socket operations. A socket is named by a plain number; 0 is never a valid handle
// and means "no socket". Every socket of the server is non-blocking. No operation raises a
// signal: a peer that has gone away shows up as a failed send, never as SIGPIPE.
//
// All functions may be called from any thread; each socket is used by one thread at a time
// (the listening socket may be closed by the thread that stops the listener).
// The backend (socket_posix.cpp) translates the operating system's error codes in one place.

#include <cstdint>
#include <string>
#include <string_view>

namespace ravelin {

using SocketHandle = std::intptr_t;

// Portable error codes of SOCKETRECV and SOCKETWAIT; 0 means success.
enum SocketError : int {
  kSocketOk = 0,
  kSocketWouldBlock = 1,  // nothing waiting on a non-blocking socket
  kSocketClosed = 2,      // the peer closed or reset the connection
  kSocketFailed = 3,      // any other failure
};

// A stream socket bound to `port` on all interfaces, ready to listen (SO_REUSEADDR, so a restart
// binds at once). `type` must be 1 (stream). Returns 0 when it cannot be created or bound; then
// `why`, if given, receives a short reason.
SocketHandle SOCKETCREATE(int type, long port, std::string* why = nullptr);

// Switches the socket's blocking mode. False for handle 0 or on failure.
bool SOCKETSETBLOCKINGMODE(SocketHandle h, bool blocking);

// Puts a bound socket into the listening state with a queue of `backlog`.
bool SOCKETLISTEN(SocketHandle h, int backlog);

// The next pending connection, already non-blocking; 0 at once when none is waiting (or on any
// failure, or for handle 0).
SocketHandle SOCKETACCEPT(SocketHandle listening);

// Receives at most `size` bytes into `buffer` without ever waiting. Returns the count placed at
// the start of the buffer (> 0), or 0 when the peer closed the stream, or -1 when nothing came;
// `error` is kSocketOk after a receive that brought bytes or saw the orderly end, otherwise the
// reason (kSocketWouldBlock when nothing is waiting yet).
long SOCKETRECV(SocketHandle h, char* buffer, std::size_t size, int flags, int& error);

// Sends all of `text`, completing partial sends on the non-blocking socket until everything is
// out, the peer is gone or `deadline_ms` has passed. Returns the number of bytes sent.
long SOCKETSEND(SocketHandle h, std::string_view text, int deadline_ms = 5000);

// Shuts down one direction: 0 receiving, 1 sending, 2 both. The peer sees the end of the stream
// after a shutdown of the sending side.
bool SOCKETSHUTDOWN(SocketHandle h, int how);

// Releases the socket. False for handle 0 or on failure.
bool SOCKETCLOSE(SocketHandle h);

// Waits up to `timeout_ms` until the socket has bytes to read (or the peer closed it).
// Returns kSocketOk when it is readable, kSocketWouldBlock on time-out, else the reason.
int SOCKETWAIT(SocketHandle h, int timeout_ms);

// The local port a socket is bound to (tests bind to port 0); 0 when unknown.
long SOCKETLOCALPORT(SocketHandle h);

}  // namespace ravelin

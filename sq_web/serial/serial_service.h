#pragma once
// The serial-port service: the operations start-up and the serial link use on the device's port.
//
// Every operation takes the port number first (the port named COMn) and reports success as
// true/false; operations on a port that is not open fail. Implementations are safe to call from
// any thread; they serialise calls internally, so a call may wait for another thread's call on
// the same service to finish. Nothing throws.

#include <optional>
#include <string>
#include <string_view>

namespace ravelin {

class SerialService {
 public:
  virtual ~SerialService();

  // Names the device file that COM_OPEN opens for `port` instead of the platform's default
  // (the settings key DEVICE). Takes effect at the next COM_OPEN.
  virtual void name_device(long port, std::string device) = 0;

  // Opens the port for reading and writing. Fails when it is already open, when `port` < 1, or
  // when the device cannot be opened.
  virtual bool COM_OPEN(long port) = 0;

  // Line parameters: speed in bit/s (any rate the system takes; <= 0 fails), parity letter
  // 'E', 'O' or 'N', 5 to 8 data bits, 1 or 2 stop bits. Also puts the line into raw mode.
  virtual bool COM_INIT(long port, long speed, char parity, int data_bits, int stop_bits) = 0;

  // Hardware (RTS/CTS) handshake on or off; `dtr` is accepted and ignored.
  virtual bool COM_HARD(long port, bool rts_cts, bool dtr) = 0;

  // Software (XON/XOFF) handshake on or off.
  virtual bool COM_SOFT(long port, bool xon_xoff) = 0;

  // How COM_READ waits. Mode 0: never waits. Mode 1: the time-out `timeout_ms` counts from the
  // moment the last COM_SEND had left the port; a read first takes what has arrived, waits for a
  // first byte only until the time-out has passed, and once bytes flow reads on until the line
  // has been quiet for a few character times (at least 20 ms). Other modes fail.
  virtual bool COM_READMODE(long port, int mode, long timeout_ms) = 0;

  // Puts the bytes of `txt` on the line, unchanged, and waits until they have left the port;
  // gives up after `wait_ms`. True when every byte went out. An empty text sends nothing but
  // still starts the read time-out.
  virtual bool COM_SEND(long port, std::string_view txt, long wait_ms) = 0;

  // Up to `max_bytes` received bytes, waiting as the read mode says; bytes beyond stay for the
  // next read. No value when the port is not open or the device has gone (hang-up, I/O error).
  virtual std::optional<std::string> COM_READ(long port, size_t max_bytes) = 0;

  // Closes the port.
  virtual bool COM_CLOSE(long port) = 0;
};

}  // namespace ravelin

#include <memory>

namespace ravelin {

// The platform's serial service (termios on POSIX): COMn is /dev/ttyS<n-1> unless name_device
// says otherwise.
std::unique_ptr<SerialService> make_system_serial_service();

}  // namespace ravelin

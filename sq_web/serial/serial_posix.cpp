// The serial service on POSIX termios. Serves real ports and pseudo-terminals alike.

#include "sq_web/serial/serial_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>

#include "sq_web/serial/serial_service.h"

namespace ravelin {

namespace {

using Clock = std::chrono::steady_clock;

struct SpeedCode {
  long rate;
  speed_t code;
};
constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},        {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},        {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},      {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},  {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

#ifdef __linux__
// Linux takes any rate through the termios2 calls; glibc does not declare them, and the kernel's
// own header clashes with <termios.h>, so the structure is spelled out here (x86 and ARM layout).
struct Termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};
constexpr unsigned long kTcGets2 = _IOR('T', 0x2A, Termios2);
constexpr unsigned long kTcSets2 = _IOW('T', 0x2B, Termios2);
constexpr tcflag_t kBother = 0010000;

bool set_custom_speed(int fd, long speed) {
  Termios2 t2;
  if (ioctl(fd, kTcGets2, &t2) != 0) return false;
  t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD);
  t2.c_cflag |= kBother;
  t2.c_ispeed = t2.c_ospeed = static_cast<speed_t>(speed);
  return ioctl(fd, kTcSets2, &t2) == 0;
}
#else
bool set_custom_speed(int, long) {
  errno = EINVAL;
  return false;
}
#endif

class PosixSerialService : public SerialService {
 public:
  ~PosixSerialService() override {
    for (auto& [n, p] : ports_) ::close(p.fd);
  }

  void name_device(long port, std::string device) override {
    std::lock_guard lk(mu_);
    devices_[port] = std::move(device);
  }

  bool COM_OPEN(long port) override {
    std::lock_guard lk(mu_);
    if (port < 1 || ports_.count(port)) return refuse();
    auto named = devices_.find(port);
    std::string device =
        named != devices_.end() ? named->second : "/dev/ttyS" + std::to_string(port - 1);
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return failed();
    if (!isatty(fd)) {
      ::close(fd);
      errno = ENOTTY;
      return failed();
    }
    Port p;
    p.fd = fd;
    p.sent_at = Clock::now();
    ports_[port] = p;
    return true;
  }

  bool COM_INIT(long port, long speed, char parity, int data_bits, int stop_bits) override {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p) return refuse();
    termios t;
    if (tcgetattr(p->fd, &t) != 0) return failed();
    bool custom = false;
    if (!make_line_settings(t, speed, parity, data_bits, stop_bits, custom)) return refuse();
    if (tcsetattr(p->fd, TCSANOW, &t) != 0) return failed();
    if (custom && !set_custom_speed(p->fd, speed)) return failed();
    p->speed = speed;
    return true;
  }

  bool COM_HARD(long port, bool rts_cts, bool /*dtr*/) override {
    return change_flags(port, [&](termios& t) {
      if (rts_cts)
        t.c_cflag |= CRTSCTS;
      else
        t.c_cflag &= ~CRTSCTS;
    });
  }

  bool COM_SOFT(long port, bool xon_xoff) override {
    return change_flags(port, [&](termios& t) {
      if (xon_xoff)
        t.c_iflag |= IXON | IXOFF;
      else
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
    });
  }

  bool COM_READMODE(long port, int mode, long timeout_ms) override {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p || (mode != 0 && mode != 1)) return refuse();
    p->mode = mode;
    p->timeout_ms = std::max(0L, timeout_ms);
    return true;
  }

  bool COM_SEND(long port, std::string_view txt, long wait_ms) override {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p) return refuse();
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0L, wait_ms));
    size_t done = 0;
    bool ok = true;
    while (done < txt.size()) {
      ssize_t n = ::write(p->fd, txt.data() + done, txt.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN) {
        ok = failed();
        break;
      }
      int left = remaining_ms(deadline);
      pollfd pfd{p->fd, POLLOUT, 0};
      if (left <= 0 || ::poll(&pfd, 1, left) <= 0 || (pfd.revents & (POLLHUP | POLLERR))) {
        errno = ETIMEDOUT;
        ok = failed();
        break;
      }
    }
    if (ok && done > 0 && tcdrain(p->fd) != 0) ok = failed();
    // The answer's time-out counts from here, whether or not everything went out.
    p->sent_at = Clock::now();
    return ok;
  }

  std::optional<std::string> COM_READ(long port, size_t max_bytes) override {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p) return std::nullopt;
    std::string got;
    if (max_bytes == 0) return got;
    // Take what has arrived; then, if nothing has, wait for the first byte until the time-out
    // after the last send; then read on until the line is quiet for a gap.
    Take r = take(*p, got, max_bytes);
    if (r == Take::gone) return got.empty() ? std::nullopt : std::optional(got);
    if (got.empty()) {
      auto deadline = p->sent_at + std::chrono::milliseconds(p->mode == 1 ? p->timeout_ms : 0);
      r = wait_and_take(*p, got, max_bytes, remaining_ms(deadline));
      if (r == Take::gone) return got.empty() ? std::nullopt : std::optional(got);
      if (got.empty()) return got;
    }
    const int gap = inter_character_gap_ms(p->speed);
    while (got.size() < max_bytes) {
      r = wait_and_take(*p, got, max_bytes, gap);
      if (r != Take::some) break;
    }
    return got;
  }

  bool COM_CLOSE(long port) override {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p) return refuse();
    int fd = p->fd;
    ports_.erase(port);
    if (::close(fd) != 0) return failed();
    return true;
  }

 private:
  struct Port {
    int fd = -1;
    long speed = 0;
    int mode = 0;
    long timeout_ms = 0;
    Clock::time_point sent_at;
  };
  enum class Take { none, some, gone };

  Port* find(long port) {
    auto it = ports_.find(port);
    return it == ports_.end() ? nullptr : &it->second;
  }

  // The one place where an OS error becomes the service's answer.
  bool failed() {
    last_error_ = strerror(errno);
    return false;
  }
  bool refuse() {
    errno = EINVAL;
    return failed();
  }

  static int remaining_ms(Clock::time_point deadline) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
  }

  // Reads what the port holds, up to the limit, without waiting.
  Take take(Port& p, std::string& got, size_t max_bytes) {
    char buf[4096];
    bool some = false;
    while (got.size() < max_bytes) {
      size_t want = std::min(sizeof buf, max_bytes - got.size());
      ssize_t n = ::read(p.fd, buf, want);
      if (n > 0) {
        got.append(buf, static_cast<size_t>(n));
        some = true;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      // A terminal in raw mode reads 0 bytes when none are there; a hang-up shows as EIO or
      // POLLHUP, which poll() reports.
      if (n == 0 || errno == EAGAIN) break;
      failed();
      return some ? Take::some : Take::gone;
    }
    return some ? Take::some : Take::none;
  }

  Take wait_and_take(Port& p, std::string& got, size_t max_bytes, int wait_ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
      pollfd pfd{p.fd, POLLIN, 0};
      int n = ::poll(&pfd, 1, remaining_ms(deadline));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(), Take::gone;
      if (n == 0) return Take::none;
      if (pfd.revents & POLLIN) {
        Take r = take(p, got, max_bytes);
        if (r != Take::none) return r;
      }
      if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) return Take::gone;
      return Take::none;
    }
  }

  bool change_flags(long port, const auto& change) {
    std::lock_guard lk(mu_);
    Port* p = find(port);
    if (!p) return refuse();
    termios t;
    if (tcgetattr(p->fd, &t) != 0) return failed();
    change(t);
    if (tcsetattr(p->fd, TCSANOW, &t) != 0) return failed();
    return true;
  }

  std::mutex mu_;
  std::map<long, Port> ports_;
  std::map<long, std::string> devices_;
  std::string last_error_;
};

}  // namespace

bool make_line_settings(termios& t, long speed, char parity, int data_bits, int stop_bits,
                        bool& custom_speed) {
  if (speed <= 0 || data_bits < 5 || data_bits > 8 || (stop_bits != 1 && stop_bits != 2))
    return false;
  if (parity != 'E' && parity != 'O' && parity != 'N') return false;
  cfmakeraw(&t);
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[data_bits - 5] | CREAD | CLOCAL;
  if (parity != 'N') t.c_cflag |= PARENB;
  if (parity == 'O') t.c_cflag |= PARODD;
  if (stop_bits == 2) t.c_cflag |= CSTOPB;
  t.c_cc[VMIN] = 1;  // the descriptor is non-blocking; reads never wait in the driver
  t.c_cc[VTIME] = 0;
  custom_speed = true;
  speed_t code = B38400;  // placeholder until the arbitrary-rate call sets the real one
  for (const SpeedCode& s : kSpeeds) {
    if (s.rate == speed) {
      code = s.code;
      custom_speed = false;
    }
  }
  cfsetispeed(&t, code);
  cfsetospeed(&t, code);
  return true;
}

int inter_character_gap_ms(long speed) {
  if (speed <= 0) return 20;
  long ms = (3 * 11 * 1000 + speed - 1) / speed;
  return static_cast<int>(std::clamp(ms, 20L, 10000L));
}

std::unique_ptr<SerialService> make_system_serial_service() {
  return std::make_unique<PosixSerialService>();
}

}  // namespace ravelin

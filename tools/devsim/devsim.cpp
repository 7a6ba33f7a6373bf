// devsim: plays the device on a pseudo-terminal so that ravelin, its tests and the demo have
// something to talk to. See --help.

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const char kHelp[] =
    "usage: devsim [options]\n"
    "Creates a pseudo-terminal, prints its device path as the first line on stdout and plays\n"
    "the device on it. Commands arrive without terminators and end with a pause on the line.\n"
    "  S=????       answered S=<four digits>, the reading (0..4095)\n"
    "  Q=<digits>   sets the set value; answered with the command itself\n"
    "  H=<digits>   sets the H value; answered with the command itself\n"
    "  anything else is answered \"?\"\n"
    "The reading moves towards the set value at --rate units per second.\n"
    "\n"
    "options:\n"
    "  --path-file F      also write the device path to F\n"
    "  --baud N           line speed the port must be set to; output is paced at N bit/s,\n"
    "                     11 bits per character (default 9600; 0: no pacing, any speed)\n"
    "  --delay MS         wait MS before each answer (default 0)\n"
    "  --start N          reading at start (default 0)\n"
    "  --set N            set value at start (default: the start reading)\n"
    "  --rate N           units per second the reading moves (default 1500)\n"
    "  --fault KIND       silent | garbage | partial | split | long\n"
    "                     (no answer; random bytes; first half only; answer in two halves with\n"
    "                     a gap; answer followed by 2500 more characters)\n"
    "  --split-gap MS     gap of a split answer (default 15)\n"
    "  --unsolicited TEXT send TEXT on its own every --every MS while the port is open\n"
    "  --every MS         (default 1000)\n"
    "  --hangup-after N   hang up (close the line and exit) after answering N commands\n"
    "  --hangup-at MS     hang up MS milliseconds after start\n"
    "  --record F         append every received byte to F\n"
    "  --log F            write events to F, one a line: open, close, settings ..., cmd ...,\n"
    "                     answered ... (the answer is out), said ... (unsolicited text),\n"
    "                     hangup\n"
    "  --exit-with-parent 1  end when the process that started it has gone (for tests)\n"
    "The line must run at --baud with two stop bits and no RTS/CTS or XON/XOFF handshake;\n"
    "otherwise the device answers garbage, as a real one would on a misconfigured line. (A\n"
    "pseudo-terminal always reports 8 data bits without parity, so those are not checked.)\n";

struct Options {
  std::string path_file, record, log, fault, unsolicited;
  long baud = 9600, delay_ms = 0, start = 0, set = -1, rate = 1500, split_gap_ms = 15;
  long every_ms = 1000, hangup_after = -1, hangup_at_ms = -1, exit_with_parent = 0;
};

volatile sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

FILE* g_log = nullptr;
int g_record = -1;

void event(const std::string& line) {
  if (!g_log) return;
  fprintf(g_log, "%s\n", line.c_str());
  fflush(g_log);
}

bool parse_long(const char* s, long& out) {
  char* end = nullptr;
  errno = 0;
  long v = strtol(s, &end, 10);
  if (errno || end == s || *end) return false;
  out = v;
  return true;
}

// Line speed of the port as the pseudo-terminal keeps it.
struct Termios2 {
  tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed, c_ospeed;
};

struct LineState {
  long speed = 0;
  bool two_stop = false, rtscts = false, xonxoff = false;
  std::string text() const {
    return "speed=" + std::to_string(speed) + " stopbits=" + (two_stop ? "2" : "1") +
           " rtscts=" + (rtscts ? "1" : "0") + " xonxoff=" + (xonxoff ? "1" : "0");
  }
};

long rate_of(speed_t code) {
  static const std::pair<speed_t, long> table[] = {
      {B0, 0},           {B50, 50},         {B75, 75},         {B110, 110},
      {B134, 134},       {B150, 150},       {B200, 200},       {B300, 300},
      {B600, 600},       {B1200, 1200},     {B1800, 1800},     {B2400, 2400},
      {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
      {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
      {B500000, 500000}, {B576000, 576000}, {B921600, 921600}, {B1000000, 1000000}};
  for (auto& [c, r] : table)
    if (c == code) return r;
  return -1;
}

LineState read_line_state(int master) {
  LineState s;
  Termios2 t2;
  if (ioctl(master, _IOR('T', 0x2A, Termios2), &t2) != 0) return s;
  constexpr tcflag_t kBother = 0010000;
  s.speed = (t2.c_cflag & CBAUD) == kBother ? long(t2.c_ospeed) : rate_of(t2.c_cflag & CBAUD);
  s.two_stop = t2.c_cflag & CSTOPB;
  s.rtscts = t2.c_cflag & CRTSCTS;
  s.xonxoff = t2.c_iflag & (IXON | IXOFF);
  return s;
}

class Device {
 public:
  Device(const Options& o, int master) : o_(o), master_(master) {
    reading_ = std::clamp(o.start, 0L, 4095L);
    set_ = o.set >= 0 ? std::clamp(o.set, 0L, 4095L) : reading_;
    moved_at_ = Clock::now();
  }

  // Writes `text`, one character per character time when pacing.
  void send(const std::string& text) {
    const auto t0 = Clock::now();
    const double char_s = o_.baud > 0 ? 11.0 / o_.baud : 0;
    for (size_t i = 0; i < text.size() && !g_stop; ++i) {
      if (char_s > 0)
        std::this_thread::sleep_until(t0 + std::chrono::duration_cast<Clock::duration>(
                                               std::chrono::duration<double>(char_s * i)));
      while (write(master_, &text[i], 1) < 0 && errno == EINTR) {
      }
    }
  }

  void answer(const std::string& cmd) {
    ++commands_;
    event("cmd " + cmd);
    LineState line = read_line_state(master_);
    bool line_ok =
        line.two_stop && !line.rtscts && !line.xonxoff && (o_.baud <= 0 || line.speed == o_.baud);
    std::string now = line.text() + (line_ok ? " ok" : " wrong");
    if (now != last_line_) event("settings " + now);
    last_line_ = now;

    std::string reply = respond(cmd);
    if (o_.delay_ms > 0) std::this_thread::sleep_for(milliseconds(o_.delay_ms));
    if (!line_ok) {
      send(garbage(reply.size() + 2));
    } else if (o_.fault == "silent") {
    } else if (o_.fault == "garbage") {
      send(garbage(reply.size()));
    } else if (o_.fault == "partial") {
      send(reply.substr(0, reply.size() / 2));
    } else if (o_.fault == "split") {
      send(reply.substr(0, reply.size() / 2));
      std::this_thread::sleep_for(milliseconds(o_.split_gap_ms));
      send(reply.substr(reply.size() / 2));
    } else if (o_.fault == "long") {
      std::string more;
      while (more.size() < 2500) more += "0123456789";
      send(reply + more.substr(0, 2500));
    } else {
      send(reply);
    }
    event("answered " + cmd);
  }

  long commands() const { return commands_; }

 private:
  std::string respond(const std::string& cmd) {
    move_reading();
    if (cmd == "S=????") {
      char buf[8];
      snprintf(buf, sizeof buf, "S=%04ld", std::lround(reading_));
      return buf;
    }
    if (cmd.size() > 2 && (cmd[0] == 'Q' || cmd[0] == 'H') && cmd[1] == '=' &&
        std::all_of(cmd.begin() + 2, cmd.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      long v = std::clamp(strtol(cmd.c_str() + 2, nullptr, 10), 0L, 4095L);
      if (cmd[0] == 'Q') set_ = v;
      return cmd;
    }
    return "?";
  }

  void move_reading() {
    auto now = Clock::now();
    double dt = std::chrono::duration<double>(now - moved_at_).count();
    moved_at_ = now;
    double step = o_.rate * dt;
    if (reading_ < set_)
      reading_ = std::min<double>(set_, reading_ + step);
    else
      reading_ = std::max<double>(set_, reading_ - step);
  }

  std::string garbage(size_t n) {
    std::uniform_int_distribution<int> byte(0x80, 0xff);
    std::string g;
    for (size_t i = 0; i < std::max<size_t>(n, 1); ++i) g += char(byte(rng_));
    return g;
  }

  const Options& o_;
  int master_;
  double reading_;
  long set_;
  Clock::time_point moved_at_;
  long commands_ = 0;
  std::string last_line_;
  std::mt19937 rng_{12345};
};

int usage_error(const std::string& what) {
  fprintf(stderr, "devsim: %s (see --help)\n", what.c_str());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      fputs(kHelp, stdout);
      return 0;
    }
    if (i + 1 >= argc) return usage_error("unknown option or missing value: " + a);
    const char* v = argv[++i];
    long* num = nullptr;
    if (a == "--path-file")
      o.path_file = v;
    else if (a == "--record")
      o.record = v;
    else if (a == "--log")
      o.log = v;
    else if (a == "--fault")
      o.fault = v;
    else if (a == "--unsolicited")
      o.unsolicited = v;
    else if (a == "--baud")
      num = &o.baud;
    else if (a == "--delay")
      num = &o.delay_ms;
    else if (a == "--start")
      num = &o.start;
    else if (a == "--set")
      num = &o.set;
    else if (a == "--rate")
      num = &o.rate;
    else if (a == "--split-gap")
      num = &o.split_gap_ms;
    else if (a == "--every")
      num = &o.every_ms;
    else if (a == "--hangup-after")
      num = &o.hangup_after;
    else if (a == "--hangup-at")
      num = &o.hangup_at_ms;
    else if (a == "--exit-with-parent")
      num = &o.exit_with_parent;
    else
      return usage_error("unknown option " + a);
    if (num && !parse_long(v, *num)) return usage_error("not a number: " + a + " " + v);
  }
  static const char* kFaults[] = {"", "silent", "garbage", "partial", "split", "long"};
  if (std::find_if(std::begin(kFaults), std::end(kFaults),
                   [&](const char* f) { return o.fault == f; }) == std::end(kFaults))
    return usage_error("unknown fault " + o.fault);

  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    perror("devsim: pseudo-terminal");
    return 1;
  }
  std::string path = ptsname(master);
  // Put the line into raw mode once, so that nothing is echoed back before the program sets
  // the port up itself.
  int slave = open(path.c_str(), O_RDWR | O_NOCTTY);
  if (slave >= 0) {
    termios t;
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
    close(slave);
  }
  if (!o.record.empty()) {
    g_record = open(o.record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (g_record < 0) return usage_error("cannot write " + o.record);
  }
  if (!o.log.empty()) {
    g_log = fopen(o.log.c_str(), "we");
    if (!g_log) return usage_error("cannot write " + o.log);
  }
  if (!o.path_file.empty()) {
    std::string tmp = o.path_file + ".tmp";
    FILE* f = fopen(tmp.c_str(), "w");
    if (!f) return usage_error("cannot write " + o.path_file);
    fprintf(f, "%s\n", path.c_str());
    fclose(f);
    rename(tmp.c_str(), o.path_file.c_str());
  }
  printf("%s\n", path.c_str());
  fflush(stdout);

  const pid_t parent = getppid();
  Device device(o, master);
  const auto started = Clock::now();
  auto next_unsolicited = started + milliseconds(o.every_ms);
  const double char_ms = o.baud > 0 ? 11000.0 / o.baud : 0;
  const int frame_gap_ms = std::max(2, int(std::ceil(2 * char_ms)));
  bool open_now = false;
  std::string frame;
  auto hangup_due = [&] {
    return (o.hangup_after >= 0 && device.commands() >= o.hangup_after) ||
           (o.hangup_at_ms >= 0 && Clock::now() - started >= milliseconds(o.hangup_at_ms));
  };

  while (!g_stop && !hangup_due()) {
    if (o.exit_with_parent && getppid() != parent) break;
    pollfd pfd{master, POLLIN, 0};
    int wait = frame.empty() ? 10 : frame_gap_ms;
    int n = poll(&pfd, 1, wait);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && (pfd.revents & POLLIN)) {
      char buf[4096];
      ssize_t got = read(master, buf, sizeof buf);
      if (got > 0) {
        if (!open_now) {
          open_now = true;
          event("open");
        }
        if (g_record >= 0) (void)!write(g_record, buf, size_t(got));
        frame.append(buf, size_t(got));
        continue;
      }
    }
    bool hup = n > 0 && (pfd.revents & POLLHUP);
    if (!frame.empty()) {  // the line went quiet: one command is complete
      std::string cmd;
      cmd.swap(frame);
      if (!hup)
        device.answer(cmd);
      else
        event("cmd " + cmd);
    }
    if (hup) {
      if (open_now) event("close");
      open_now = false;
      std::this_thread::sleep_for(milliseconds(10));
      continue;
    }
    if (!open_now) {
      open_now = true;
      event("open");
    }
    if (!o.unsolicited.empty() && Clock::now() >= next_unsolicited) {
      device.send(o.unsolicited);
      event("said " + o.unsolicited);
      next_unsolicited = Clock::now() + milliseconds(o.every_ms);
    }
  }
  if (hangup_due()) {
    // Let the last answer reach the other side before the line goes dead.
    std::this_thread::sleep_for(milliseconds(100));
    event("hangup");
  }
  close(master);
  if (g_record >= 0) close(g_record);
  if (g_log) fclose(g_log);
  return 0;
}

#pragma once
// Running the real parts in tests: the device simulator on a pseudo-terminal, the ravelin
// program in a working directory of its own, and what the simulator saw.
//
//   ravelin::test::DevSim sim({"--start", "2048"});   // started; sim.device() is its tty
//   ravelin::test::RavelinRun app(sim, "BAUD|9600\r\n"); // config.ini + web/ + ravelin, offscreen
//   ravelin::test::wait_until([&] { return sim.recorded() == "Q=4000H=4000"; });
//
// Both stop (SIGTERM, then SIGKILL) when the objects go out of scope. Readiness is learnt from
// the simulator's printed path, never from a sleep. Paths come from the build (CMake).

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace ravelin::test {

using namespace std::chrono_literals;

std::string devsim_path();
std::string program_path();  // build/<preset>/sq_web/ravelin
std::string source_dir();
// Where tests leave files for people to look at (screenshots); created on demand.
std::string output_dir();

// Polls `done` every 5 ms until it holds or `timeout` has passed; its last answer.
bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms);

// A free TCP port on 127.0.0.1 (bound and released; fine for tests).
long free_tcp_port();

// A fresh directory under /tmp, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The device simulator as a child process, recording into its own temporary directory.
class DevSim {
 public:
  // `args` are devsim options (see devsim --help); --record, --log and --path-file are added.
  explicit DevSim(std::vector<std::string> args = {});
  ~DevSim();
  DevSim(const DevSim&) = delete;
  DevSim& operator=(const DevSim&) = delete;

  const std::string& device() const { return device_; }  // e.g. /dev/pts/3
  std::string recorded() const;                          // every byte received so far
  std::string events() const;  // its --log: open, close, settings ..., cmd ..., hangup
  bool running();
  // Waits for the simulator to end by itself (after a hang-up).
  bool wait_exit(std::chrono::milliseconds timeout = 5000ms);

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::string device_;
};

// ravelin started in a fresh working directory with QT_QPA_PLATFORM=offscreen. config.ini gets
// DEVICE (the simulator) and WEBPORT (a free port, unless `extra_ini` names one), then
// `extra_ini` (lines ended by CR LF); web/ of the source tree is copied when present.
class RavelinRun {
 public:
  RavelinRun(const DevSim& sim, const std::string& extra_ini = "");
  ~RavelinRun();
  RavelinRun(const RavelinRun&) = delete;
  RavelinRun& operator=(const RavelinRun&) = delete;

  long webport() const { return webport_; }
  const std::string& dir() const { return dir_.path(); }
  bool running();
  std::string output() const;  // its stdout and stderr
  // Ends it (SIGTERM, SIGKILL after two seconds); its exit status as waitpid gives it.
  int stop();

 private:
  TempDir dir_;
  long webport_ = 0;
  pid_t pid_ = -1;
  int status_ = 0;
};

}  // namespace ravelin::test

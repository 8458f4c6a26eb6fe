// One relay under measurement, with fresh far ends: a new pseudo-terminal pair whose raw slave
// is the relay's serial port and whose master is the far end of the cable, and a TCP listener on
// 127.0.0.1 that the relay connects to. The relay is started as `sh -c "exec COMMAND"` with %p
// the slave's path, %P the port and %R a report file, so the measured process is the relay itself.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <map>
#include <string>

namespace relaybench {

class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { Reset(); }
  Fd(Fd&& other) noexcept : fd_(other.Release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// A fresh pair with the slave raw; the harness keeps its own handle on the slave for the whole
// run, so the terminal keeps its settings and never hangs up between the relay's opens.
class PseudoTerminalPair {
 public:
  PseudoTerminalPair();  // throws std::runtime_error when no pair can be had
  int Master() const { return master_.Get(); }
  int Slave() const { return slave_.Get(); }
  const std::string& SlavePath() const { return path_; }
  void Close() {
    slave_.Reset();
    master_.Reset();
  }

 private:
  Fd master_, slave_;
  std::string path_;
};

class RelayProcess {
 public:
  // Throws std::runtime_error when the far ends cannot be made or the relay never connects.
  RelayProcess(const std::string& command, std::chrono::milliseconds settle);
  ~RelayProcess();
  RelayProcess(const RelayProcess&) = delete;
  RelayProcess& operator=(const RelayProcess&) = delete;

  pid_t Pid() const { return pid_; }
  int Master() const { return pty_.Master(); }  // the device end of the cable
  int Tcp() const { return tcp_.Get(); }        // the server end of the connection
  // Closes the connection and waits for the relay to end (3 s, then TERM, then KILL). Answers
  // the CPU seconds of its whole life, and the key/value lines it left in its report file.
  double Stop();
  const std::map<std::string, double>& Report() const { return report_; }
  // After Stop: whether the relay ended on its own when the connection closed (not killed).
  bool EndedByItself() const { return endedByItself_; }

 private:
  PseudoTerminalPair pty_;
  Fd tcp_;
  pid_t pid_ = -1;
  std::string reportPath_;
  std::map<std::string, double> report_;
  bool stopped_ = false;
  bool endedByItself_ = false;
};

}  // namespace relaybench

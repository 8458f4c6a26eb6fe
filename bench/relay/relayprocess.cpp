#include "bench/relay/relayprocess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace relaybench {

void Fd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {
std::string Expand(const std::string& command, const std::string& device, int port,
                   const std::string& report) {
  std::string out;
  for (std::size_t i = 0; i < command.size(); ++i) {
    if (command[i] == '%' && i + 1 < command.size()) {
      const char c = command[i + 1];
      if (c == 'p' || c == 'P' || c == 'R') {
        out += c == 'p' ? device : c == 'P' ? std::to_string(port) : report;
        ++i;
        continue;
      }
    }
    out += command[i];
  }
  return out;
}

Fd Listener(int& port) {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd.Get() < 0 || ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) ||
      ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) || ::listen(fd.Get(), 1))
    throw std::runtime_error("cannot listen on 127.0.0.1");
  port = ntohs(address.sin_port);
  return fd;
}

std::map<std::string, double> ReadReport(const std::string& path) {
  std::map<std::string, double> values;
  std::ifstream in(path);
  std::string key;
  double value;
  while (in >> key >> value) values[key] = value;
  return values;
}
}  // namespace

PseudoTerminalPair::PseudoTerminalPair() {
  master_ = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (master_.Get() < 0 || ::grantpt(master_.Get()) || ::unlockpt(master_.Get()))
    throw std::runtime_error("no pseudo-terminal");
  path_ = ::ptsname(master_.Get());
  slave_ = Fd(::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios raw{};
  if (slave_.Get() < 0 || ::tcgetattr(slave_.Get(), &raw)) throw std::runtime_error("cannot open " + path_);
  ::cfmakeraw(&raw);
  ::tcsetattr(slave_.Get(), TCSANOW, &raw);
}

RelayProcess::RelayProcess(const std::string& command, std::chrono::milliseconds settle) {
  const std::string& device = pty_.SlavePath();

  char report[] = "/tmp/relaybench-report-XXXXXX";
  Fd reportFd(::mkstemp(report));
  if (reportFd.Get() < 0) throw std::runtime_error("cannot make a report file");
  reportPath_ = report;

  int port = 0;
  Fd listener = Listener(port);
  const std::string shell = "exec " + Expand(command, device, port, reportPath_);
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error("cannot fork");
  if (pid_ == 0) {
    ::setpgid(0, 0);
    ::execl("/bin/sh", "sh", "-c", shell.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // A relay that ends (a wrong path, a bad option) is reported at once, not after the wait.
  for (int waited = 0; waited < 15000 && tcp_.Get() < 0; waited += 100) {
    pollfd waiting{listener.Get(), POLLIN, 0};
    if (::poll(&waiting, 1, 100) == 1) tcp_ = Fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    int status = 0;
    if (tcp_.Get() < 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      Stop();
      throw std::runtime_error("the relay ended before it connected: " + shell);
    }
  }
  if (tcp_.Get() < 0) {
    Stop();
    throw std::runtime_error("the relay never connected: " + shell);
  }
  const int one = 1;
  ::setsockopt(tcp_.Get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  std::this_thread::sleep_for(settle);
}

RelayProcess::~RelayProcess() { Stop(); }

double RelayProcess::Stop() {
  if (stopped_) return 0;
  stopped_ = true;
  tcp_.Reset();
  rusage usage{};
  if (pid_ > 0) {
    int status = 0;
    pid_t done = 0;
    const auto wait = [&](int tries) {
      for (int i = 0; i < tries && done == 0; ++i) {
        done = ::wait4(pid_, &status, WNOHANG, &usage);
        if (done == 0) std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    };
    wait(60);
    endedByItself_ = done == pid_;
    if (done == 0) {
      ::kill(-pid_, SIGTERM);
      wait(40);
    }
    if (done == 0) {
      ::kill(-pid_, SIGKILL);
      ::wait4(pid_, &status, 0, &usage);
    }
  }
  if (!reportPath_.empty()) {
    report_ = ReadReport(reportPath_);
    ::unlink(reportPath_.c_str());
  }
  pty_.Close();
  const auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace relaybench

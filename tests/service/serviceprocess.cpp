#include "tests/service/serviceprocess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/pump.h"

extern char** environ;

namespace {
void ReadInto(int fd, std::string& into) {
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return;
    into.append(buf, std::size_t(n));
  }
}
}  // namespace

TServiceProcess::TServiceProcess(const std::vector<std::string>& args, const std::string& program) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  out_ = out[0];
  err_ = err[0];
  ::fcntl(out_, F_SETFL, O_NONBLOCK);
  ::fcntl(err_, F_SETFL, O_NONBLOCK);
  if (rc != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + program);
  }
}

TServiceProcess::~TServiceProcess() {
  if (status_ == -2 && pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
  ::close(err_);
}

void TServiceProcess::CloseOutput() {
  if (out_ >= 0) ::close(out_);
  out_ = -1;
}

void TServiceProcess::Collect() {
  if (out_ >= 0) ReadInto(out_, outText_);
  ReadInto(err_, errText_);
}

const std::string& TServiceProcess::Out() {
  Collect();
  return outText_;
}

const std::string& TServiceProcess::Err() {
  Collect();
  return errText_;
}

bool TServiceProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds limit,
                                    std::size_t from) {
  return PumpUntil(
      [&] {
        Collect();
        return outText_.find(text, std::min(from, outText_.size())) != std::string::npos;
      },
      limit);
}

void TServiceProcess::Signal(int signal) {
  if (status_ == -2) ::kill(pid_, signal);
}

int TServiceProcess::Wait(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (status_ == -2) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      break;
    }
    Collect();  // a child blocked on a full pipe would never end
    if (std::chrono::steady_clock::now() > end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Collect();
  return status_;
}

std::vector<std::string> TServiceProcess::Lines(const std::string& text) {
  Collect();
  std::vector<std::string> found;
  std::istringstream in(outText_);
  for (std::string line; std::getline(in, line);)
    if (line.find(text) != std::string::npos) found.push_back(line);
  return found;
}

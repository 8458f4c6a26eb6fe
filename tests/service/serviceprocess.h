// The service as a child process: its standard output and error collected as it runs, signals
// sent to it, its exit awaited with a deadline. Started with posix_spawn, which the thread
// sanitizer can follow.
#pragma once
#include <chrono>
#include <string>
#include <vector>

class TServiceProcess {
 public:
  explicit TServiceProcess(const std::vector<std::string>& args,
                           const std::string& program = COMRELAY_HEADLESS);
  ~TServiceProcess();  // kills it when still running
  TServiceProcess(const TServiceProcess&) = delete;
  TServiceProcess& operator=(const TServiceProcess&) = delete;

  int Pid() const { return pid_; }
  // Everything written so far.
  const std::string& Out();
  const std::string& Err();
  // Collects output until a line of standard output contains `text` (after `from` bytes).
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds limit, std::size_t from = 0);
  void Signal(int signal);
  // Stops reading its standard output: the reader goes away, as `| head` does.
  void CloseOutput();
  // The exit status, or -1 when it has not ended within `limit` (or ended by a signal).
  int Wait(std::chrono::milliseconds limit);
  // The lines of standard output that contain `text`.
  std::vector<std::string> Lines(const std::string& text);

 private:
  void Collect();

  int pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::string outText_;
  std::string errText_;
  int status_ = -2;  // -2: still running
};

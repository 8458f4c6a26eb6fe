// Signals as readable events: blocked for every thread and delivered through a descriptor that
// the event loop watches, so a handler never runs in the middle of anything.
#pragma once
#include <initializer_list>

class TSignalChannel {
 public:
  // Blocks the signals in the calling thread (and so in every thread started after) and opens
  // the descriptor. Call before any thread is started.
  explicit TSignalChannel(std::initializer_list<int> which);
  ~TSignalChannel();
  TSignalChannel(const TSignalChannel&) = delete;
  TSignalChannel& operator=(const TSignalChannel&) = delete;

  bool Valid() const { return fd_ >= 0; }
  int Descriptor() const { return fd_; }
  // The next pending signal, or 0 when none is waiting.
  int Next();

 private:
  int fd_ = -1;
};

// Blocks the signals in the calling thread: they wait, across an exec too, for a channel to take
// them, instead of ending the process in the moment before one exists.
void HoldSignals(std::initializer_list<int> which);
// A write to a pipe whose reader has gone then fails with EPIPE instead of ending the process.
void IgnoreBrokenPipe();

inline constexpr int SignalHangup = 1;
inline constexpr int SignalTerminate = 15;
inline constexpr int SignalInterrupt = 2;
inline constexpr int SignalUser1 = 10;
// What the service stops on or reports on: held by the console too when it hands over to it.
inline constexpr std::initializer_list<int> ServiceSignals = {SignalTerminate, SignalInterrupt, SignalUser1,
                                                              SignalHangup};

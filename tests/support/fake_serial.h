// A fake serial device for tests: its data path is a real pseudo-terminal, and everything this
// machine cannot provide is scripted: modem-line changes, line errors, short writes, failing
// calls. While it lives, CreateFileA of its name opens it; other names open as usual.
#pragma once
#include <asm/termbits.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/serial/backend.h"
#include "tests/support/pty.h"

enum class TFakeCall {
  Setup,
  Read,
  Write,
  GetAttributes,
  SetAttributes,
  ModemLines,
  Flush,
  SampleLines,
  Open
};

struct TFakeLineRecord {
  int setAttributesCalls = 0;
  int modemLineCalls = 0;
  termios2 attributes{};
  bool dtr = false;
  bool rts = false;
  bool rs485 = false;
  int reads = 0;       // read calls on the device
  int emptyReads = 0;  // of which found nothing
};

// When the ring counter moves: a 16550 counts when RI falls, some USB adapters on both edges.
enum class TFakeRingCount { Rising, Falling, BothEdges };

class TFakeSerialPort {
 public:
  // `name` is the port name to answer to (e.g. "fake0").
  explicit TFakeSerialPort(std::string name);
  ~TFakeSerialPort();
  TFakeSerialPort(const TFakeSerialPort&) = delete;
  TFakeSerialPort& operator=(const TFakeSerialPort&) = delete;

  const std::string& Name() const { return name_; }
  // The other end of the line.
  TPseudoTerminal& Line() { return pty_; }

  // Bytes arrive at the port as the kernel hands them up: the ones at the positions in `errored`
  // came with a parity error, marked or made NUL as the port's settings say. Positions count
  // from the first byte given here; a test that marks errors sends all its bytes this way.
  void Receive(const std::string& bytes, const std::vector<std::size_t>& errored = {});
  // Writes go to a driver queue of `capacity` bytes that drains onto the line at the port's
  // baud rate (10 bits a character), as a UART's does.
  void ModelOutputQueue(std::size_t capacity);
  // Nothing leaves the queue while held (CTS low on a port with CTS flow).
  void HoldOutput(bool held);
  std::size_t OutputQueued() const;
  // Line changes are seen only by looking, as on a real UART (no notice from the device).
  void LooksOnly();
  void CountRings(TFakeRingCount how);
  // TIOCSRS485 is answered (and recorded) instead of refused.
  void SupportRs485();
  // Changes modem lines (TLineSample bits) and counts errors as one change, seen by one event.
  void ChangeLines(unsigned lines, unsigned long frameErrors = 0, unsigned long overruns = 0,
                   unsigned long parityErrors = 0, unsigned long breaks = 0);
  // The next line-event wait completes with exactly `mask`, whatever is watched.
  void ForceEvent(unsigned long mask);
  // A device slower than the port's write time-out: each write takes at most `bytes`, and then
  // nothing for 20 ms (0: no limit).
  void LimitWrites(std::size_t bytes);
  // The call fails with EIO from now on (or works again).
  void Fail(TFakeCall call, bool failing = true);
  // Opening fails with this errno (0: opens again), as a device node without the right to use it.
  void FailOpen(int error);
  // The driver honours only what `driver` leaves of each record it is given, without complaint.
  void AlterSettings(std::function<void(termios2&)> driver);
  TFakeLineRecord Record() const;
  int OpenCount() const;

  struct TState;  // shared with the backend it opens

 private:
  std::string name_;
  TPseudoTerminal pty_;
  std::shared_ptr<TState> state_;
};

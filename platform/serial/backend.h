// The seam below the serial device: one backend per open device. The Linux terminal backend is
// the real one; tests install a fake through ExchangeSerialOpener.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "runtime/errorvalue.h"
#include "runtime/wintypes.h"

struct termios2;  // the kernel's record, from <asm/termbits.h> (never with <termios.h>)

// Modem lines and error counters, as far as the device has them.
struct TLineSample {
  enum : unsigned { Carrier = 1, Ring = 2, Cts = 4, Dsr = 8 };
  int error = 0;  // -errno when the device no longer answers
  bool hasLines = false;
  unsigned lines = 0;
  bool hasCounters = false;
  unsigned long frame = 0, overrun = 0, parity = 0, brk = 0, ring = 0, carrier = 0;
};

// Every call answers 0 or a count on success and -errno on failure.
class ISerialBackend {
 public:
  virtual ~ISerialBackend() = default;
  // Polled for readiness; stays valid until the backend is destroyed.
  virtual int Fd() const = 0;
  // Polled for room to write; negative when room is only found by trying again later.
  virtual int WriteFd() const { return Fd(); }
  virtual long Read(void* buffer, std::size_t bytes) = 0;
  virtual long Write(const void* buffer, std::size_t bytes) = 0;
  virtual int GetAttributes(termios2& attributes) = 0;
  virtual int SetAttributes(const termios2& attributes) = 0;
  // dtr/rts: true raises the line, false drops it.
  virtual int SetModemLines(bool dtr, bool rts) = 0;
  // RTS driven around each transmission by the driver; -ENOTTY when the device cannot.
  virtual int SetRs485(bool enable) = 0;
  virtual int Flush(bool input, bool output) = 0;
  // Bytes the driver has taken and not yet sent (TIOCOUTQ).
  virtual long OutputQueued() = 0;
  virtual int SetupQueues(DWORD input, DWORD output) = 0;
  virtual TLineSample SampleLines() = 0;
  // True when line changes are only seen by sampling; false when the backend calls the
  // notifier itself.
  virtual bool NeedsSampling() const = 0;
  // False where no line exists to frame (a pseudo-terminal, which the kernel forces to 8 data bits
  // without parity whatever it is given): the settings it reads back say nothing of a driver.
  virtual bool HasLine() const { return true; }
  // A line-event result forced by the backend (tests), bypassing the mask; 0 when none.
  virtual bool TakeForcedEvent(DWORD& mask) {
    (void)mask;
    return false;
  }
  // Called by the device; the backend calls it when something changed outside the data path.
  void SetNotifier(std::function<void()> notify) { notify_ = std::move(notify); }

 protected:
  void Notify() const {
    if (notify_) notify_();
  }

 private:
  std::function<void()> notify_;
};

// Opens `path` (already mapped from the Win32 name) or answers nullptr with the failure.
using TSerialOpener =
    std::function<std::unique_ptr<ISerialBackend>(const std::string& path, TPlatformError& error)>;
// Swaps the opener that CreateFileA uses; answers the one before. An empty opener restores the
// terminal backend.
TSerialOpener ExchangeSerialOpener(TSerialOpener opener);
// The real one: an exclusive, non-blocking terminal, opened only when it is a terminal that no
// other program holds (lock file, lock, or open without either).
std::unique_ptr<ISerialBackend> OpenTerminal(const std::string& path, TPlatformError& error);
// "\\.\ttyUSB0" -> "/dev/ttyUSB0"; "\\.\/dev/pts/3" -> "/dev/pts/3".
std::string DevicePathFromName(const std::string& name);

// What the relay core tells whoever shows it: the window draws it with its log view, labels and
// indicators; the service writes it to standard output.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace relay {

enum class TLineKind {
  System,       // state changes and failures of either end (red in the window)
  FromNetwork,  // a block that came from the server (blue)
  FromSerial,   // a block that came from the serial port (green)
};

class TRelayView {
 public:
  virtual ~TRelayView() = default;
  // One line of the traffic log (GB18030 bytes, no time stamp). From `hexFrom` on, `text` holds
  // a block's bytes to be shown in hex (see AppendHex); npos when it holds none. The block's
  // last `omitted` bytes are left out of `text` (see DataLineBytes).
  virtual void LogLine(TLineKind kind, const std::string& text, std::size_t hexFrom, std::size_t omitted) = 0;
  // How many bytes of a block its data line can show at most; a view that cuts long lines says
  // where, so a block of a megabyte is not written out whole for a line that shows a few
  // kilobytes of it. The rest is only counted.
  virtual std::size_t DataLineBytes(bool hex) const {
    (void)hex;
    return std::string::npos;
  }
  virtual void SerialStateChanged(bool open) = 0;
  virtual void NetworkStateChanged(bool connected) = 0;
  virtual void BytesToSerialChanged(std::int64_t total) = 0;
  virtual void BytesToSocketChanged(std::int64_t total) = 0;
  // Asked afresh for every block: whether data lines are written, and whether in hex.
  virtual bool ShowData() const = 0;
  virtual bool ShowHex() const = 0;
};

}  // namespace relay

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
  // One line of the traffic log (GB18030 bytes, no time stamp). From `hexFrom` on, `text` is a
  // block in hex; npos when it holds none.
  virtual void LogLine(TLineKind kind, const std::string& text, std::size_t hexFrom) = 0;
  virtual void SerialStateChanged(bool open) = 0;
  virtual void NetworkStateChanged(bool connected) = 0;
  virtual void BytesToSerialChanged(std::int64_t total) = 0;
  virtual void BytesToSocketChanged(std::int64_t total) = 0;
  // Asked afresh for every block: whether data lines are written, and whether in hex.
  virtual bool ShowData() const = 0;
  virtual bool ShowHex() const = 0;
};

}  // namespace relay

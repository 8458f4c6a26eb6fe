// DCB <-> termios2: the pure mapping between Win32 line settings and the Linux terminal. The
// kernel's record comes from <asm/termbits.h>, which only the .cpp files that fill it include
// (it must never meet glibc's <termios.h>).
#pragma once
#include "platform/serial/comm.h"

struct termios2;

// What a DCB asks of the device beyond its terminal record.
struct TLineApply {
  bool dtr = false;        // raise DTR (false drops it)
  bool rts = false;        // raise RTS (false drops it)
  bool rs485 = false;      // RTS toggled around transmission, where the device can
  bool nullStrip = false;  // NUL bytes discarded on read
  bool marks = false;      // errored bytes arrive marked (PARMRK) and the marks are taken out
  bool errorChar = false;  // bytes with a parity or framing error replaced by `replacement`
  char replacement = 0;
};

// The terminal record (`attributes`) for `dcb`, raw otherwise, starting from `current` for the fields a DCB
// does not cover. False for values no device takes (baud 0, ByteSize outside 5..8, Parity above
// 4, StopBits above 2).
bool MapDcbToTerminal(const DCB& dcb, const termios2& current, termios2& attributes, TLineApply& out);
// The device's own speed and framing into `dcb` (1.5 stop bits stay 1.5 when `dcb` says so).
void ReadTerminalFraming(const termios2& attributes, DCB& dcb);
// A DCB describing a device that was never set through SetCommState.
DCB DcbFromTerminal(const termios2& attributes);

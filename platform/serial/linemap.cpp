#include "platform/serial/linemap.h"

#include <asm/termbits.h>

bool MapDcbToTerminal(const DCB& dcb, const termios2& current, termios2& attributes, TLineApply& out) {
  if (dcb.BaudRate == 0 || dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
      dcb.StopBits > TWOSTOPBITS)
    return false;
  termios2 t = current;
  // Raw: no echo, no canonical input, no CR/LF translation, no signals.
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  t.c_cflag = CLOCAL | CREAD | BOTHER;  // input speed bits (CIBAUD) zero: same as output
  t.c_ispeed = t.c_ospeed = dcb.BaudRate;

  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[dcb.ByteSize - 5];
  switch (dcb.Parity) {
    case ODDPARITY:
      t.c_cflag |= PARENB | PARODD;
      break;
    case EVENPARITY:
      t.c_cflag |= PARENB;
      break;
    case MARKPARITY:
      t.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case SPACEPARITY:
      t.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  // Linux has no 1.5 stop bits; with 5 data bits a UART sends 1.5 for CSTOPB.
  if (dcb.StopBits != ONESTOPBIT) t.c_cflag |= CSTOPB;

  const DWORD f = dcb.Flags;
  // Checked parity always comes marked: without PARMRK the terminal turns an errored byte into
  // NUL, and the byte is lost. The marks are taken out on read; the byte passes as it came, or
  // as ErrorChar when replacement is asked for.
  const bool checked = (f & dcbflag::fParity) != 0;
  if (checked) t.c_iflag |= INPCK | PARMRK;
  if (f & dcbflag::fOutX) t.c_iflag |= IXON;
  if (f & dcbflag::fInX) t.c_iflag |= IXOFF;
  // CRTSCTS gates output on CTS as well, so only output CTS flow sets it. RTS handshake alone
  // (input flow only) has no terminal setting; RTS then stays raised, as we always read.
  if (f & dcbflag::fOutxCtsFlow) t.c_cflag |= CRTSCTS;
  t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  attributes = t;
  out.dtr = dcb.DtrControl() != DTR_CONTROL_DISABLE;
  out.rts = dcb.RtsControl() != RTS_CONTROL_DISABLE;
  out.rs485 = dcb.RtsControl() == RTS_CONTROL_TOGGLE;
  out.nullStrip = (f & dcbflag::fNull) != 0;
  out.marks = checked;
  out.errorChar = checked && (f & dcbflag::fErrorChar);
  out.replacement = dcb.ErrorChar;
  return true;
}

void ReadTerminalFraming(const termios2& t, DCB& dcb) {
  dcb.BaudRate = t.c_ospeed;
  switch (t.c_cflag & CSIZE) {
    case CS5:
      dcb.ByteSize = 5;
      break;
    case CS6:
      dcb.ByteSize = 6;
      break;
    case CS7:
      dcb.ByteSize = 7;
      break;
    default:
      dcb.ByteSize = 8;
      break;
  }
  if (!(t.c_cflag & PARENB))
    dcb.Parity = NOPARITY;
  else if (t.c_cflag & CMSPAR)
    dcb.Parity = (t.c_cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  else
    dcb.Parity = (t.c_cflag & PARODD) ? ODDPARITY : EVENPARITY;
  if (!(t.c_cflag & CSTOPB))
    dcb.StopBits = ONESTOPBIT;
  else if (dcb.StopBits != ONE5STOPBITS)
    dcb.StopBits = TWOSTOPBITS;
}

DCB DcbFromTerminal(const termios2& t) {
  DCB dcb;
  dcb.Flags = dcbflag::fBinary | (DTR_CONTROL_ENABLE << dcbflag::fDtrControlShift) |
              (RTS_CONTROL_ENABLE << dcbflag::fRtsControlShift);
  if (t.c_iflag & INPCK) dcb.Flags |= dcbflag::fParity;
  if (t.c_iflag & IXON) dcb.Flags |= dcbflag::fOutX;
  if (t.c_iflag & IXOFF) dcb.Flags |= dcbflag::fInX;
  if (t.c_cflag & CRTSCTS) dcb.Flags |= dcbflag::fOutxCtsFlow;
  dcb.XonChar = static_cast<char>(t.c_cc[VSTART]);
  dcb.XoffChar = static_cast<char>(t.c_cc[VSTOP]);
  dcb.XonLim = 2048;
  dcb.XoffLim = 512;
  ReadTerminalFraming(t, dcb);
  return dcb;
}

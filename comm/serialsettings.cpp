// How the properties become the device's line settings and time-outs.
#include "comm/serialport.h"

namespace {
DWORD DtrValue(TDtrControl v) {
  switch (v) {
    case TDtrControl::DtrEnable:
      return DTR_CONTROL_ENABLE;
    case TDtrControl::DtrDisable:
      return DTR_CONTROL_DISABLE;
    default:
      return static_cast<DWORD>(v);
  }
}

DWORD RtsValue(TRtsControl v) {
  switch (v) {
    case TRtsControl::RtsEnable:
      return RTS_CONTROL_ENABLE;
    case TRtsControl::RtsDisable:
      return RTS_CONTROL_DISABLE;
    default:
      return static_cast<DWORD>(v);
  }
}

DWORD Bit(bool on, DWORD flag) { return on ? flag : 0; }
}  // namespace

DCB BuildLineRecord(const TSerialPort& p, const DCB& base) {
  DCB dcb = base;
  dcb.BaudRate = p.BaudRate();
  // Rebuilt from zero: no flag another program left on the device (abort-on-error, say) survives.
  dcb.Flags = dcbflag::fBinary | Bit(p.ParityCheck(), dcbflag::fParity) |
              Bit(p.Outx_CtsFlow(), dcbflag::fOutxCtsFlow) | Bit(p.Outx_DsrFlow(), dcbflag::fOutxDsrFlow) |
              (DtrValue(p.DtrControl()) << dcbflag::fDtrControlShift) |
              Bit(p.DsrSensitivity(), dcbflag::fDsrSensitivity) |
              Bit(p.TxContinueOnXoff(), dcbflag::fTXContinueOnXoff) |
              Bit(p.Outx_XonXoffFlow(), dcbflag::fOutX) | Bit(p.Inx_XonXoffFlow(), dcbflag::fInX) |
              Bit(p.ReplaceWhenParityError(), dcbflag::fErrorChar) | Bit(p.IgnoreNullChar(), dcbflag::fNull) |
              (RtsValue(p.RtsControl()) << dcbflag::fRtsControlShift);
  dcb.XonLim = p.XonLimit();
  dcb.XoffLim = p.XoffLimit();
  dcb.ByteSize = static_cast<BYTE>(static_cast<int>(p.ByteSize()) + 5);
  dcb.Parity = static_cast<BYTE>(p.Parity());
  dcb.StopBits = static_cast<BYTE>(p.StopBits());
  dcb.XonChar = p.XonChar();
  dcb.XoffChar = p.XoffChar();
  dcb.ErrorChar = p.ReplacedChar();
  return dcb;
}

COMMTIMEOUTS BuildTimeoutRecord(const TSerialPort& p) {
  COMMTIMEOUTS t;
  t.ReadIntervalTimeout = p.ReadIntervalTimeout();
  t.ReadTotalTimeoutMultiplier = p.ReadTotalTimeoutMultiplier();
  t.ReadTotalTimeoutConstant = p.ReadTotalTimeoutConstant();
  t.WriteTotalTimeoutMultiplier = p.WriteTotalTimeoutMultiplier();
  t.WriteTotalTimeoutConstant = p.WriteTotalTimeoutConstant();
  return t;
}

bool TSerialPort::ApplyLineSettings() {
  DCB dcb;
  GetCommState(FPortHandle, &dcb);
  dcb = BuildLineRecord(*this, dcb);
  // A record the device refuses leaves its previous state; Open reports it, a setter cannot.
  return SetCommState(FPortHandle, &dcb) != FALSE;
}

void TSerialPort::ApplyTimeoutSettings() {
  const COMMTIMEOUTS t = BuildTimeoutRecord(*this);
  SetCommTimeouts(FPortHandle, &t);
}

// The Win32 communications interface on Linux serial devices: exclusive open, queues, purge,
// line settings (DCB), time-outs (COMMTIMEOUTS), overlapped reads, writes and line-event waits,
// error flags. Overlapped operations progress inside the waits of the thread that started them.
#pragma once
#include <cstdint>

#include "platform/sync/events.h"

inline constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
inline constexpr DWORD ERROR_ACCESS_DENIED = 5;
inline constexpr DWORD ERROR_GEN_FAILURE = 31;
inline constexpr DWORD ERROR_SHARING_VIOLATION = 32;
inline constexpr DWORD ERROR_OPERATION_ABORTED = 995;
inline constexpr DWORD ERROR_IO_INCOMPLETE = 996;
inline constexpr DWORD ERROR_IO_PENDING = 997;
// A transmit made no progress for longer than the line allows (Win32's serial time-out code).
inline constexpr DWORD ERROR_COUNTER_TIMEOUT = 1121;

inline constexpr DWORD GENERIC_READ = 0x80000000u;
inline constexpr DWORD GENERIC_WRITE = 0x40000000u;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr DWORD FILE_FLAG_OVERLAPPED = 0x40000000u;

inline constexpr DWORD PURGE_TXABORT = 0x01;
inline constexpr DWORD PURGE_RXABORT = 0x02;
inline constexpr DWORD PURGE_TXCLEAR = 0x04;
inline constexpr DWORD PURGE_RXCLEAR = 0x08;

inline constexpr DWORD EV_RXCHAR = 0x0001;
inline constexpr DWORD EV_CTS = 0x0008;
inline constexpr DWORD EV_DSR = 0x0010;
inline constexpr DWORD EV_RLSD = 0x0020;
inline constexpr DWORD EV_BREAK = 0x0040;
inline constexpr DWORD EV_ERR = 0x0080;
inline constexpr DWORD EV_RING = 0x0100;

inline constexpr DWORD CE_RXOVER = 0x0001;
inline constexpr DWORD CE_OVERRUN = 0x0002;
inline constexpr DWORD CE_RXPARITY = 0x0004;
inline constexpr DWORD CE_FRAME = 0x0008;
inline constexpr DWORD CE_BREAK = 0x0010;

inline constexpr BYTE NOPARITY = 0, ODDPARITY = 1, EVENPARITY = 2, MARKPARITY = 3, SPACEPARITY = 4;
inline constexpr BYTE ONESTOPBIT = 0, ONE5STOPBITS = 1, TWOSTOPBITS = 2;
inline constexpr DWORD DTR_CONTROL_DISABLE = 0, DTR_CONTROL_ENABLE = 1, DTR_CONTROL_HANDSHAKE = 2;
inline constexpr DWORD RTS_CONTROL_DISABLE = 0, RTS_CONTROL_ENABLE = 1, RTS_CONTROL_HANDSHAKE = 2,
                       RTS_CONTROL_TOGGLE = 3;

// The DCB flags word, bit by bit as Win32 lays out its bit fields.
namespace dcbflag {
inline constexpr DWORD fBinary = 1u << 0;
inline constexpr DWORD fParity = 1u << 1;
inline constexpr DWORD fOutxCtsFlow = 1u << 2;
inline constexpr DWORD fOutxDsrFlow = 1u << 3;
inline constexpr int fDtrControlShift = 4;  // two bits
inline constexpr DWORD fDsrSensitivity = 1u << 6;
inline constexpr DWORD fTXContinueOnXoff = 1u << 7;
inline constexpr DWORD fOutX = 1u << 8;
inline constexpr DWORD fInX = 1u << 9;
inline constexpr DWORD fErrorChar = 1u << 10;
inline constexpr DWORD fNull = 1u << 11;
inline constexpr int fRtsControlShift = 12;  // two bits
inline constexpr DWORD fAbortOnError = 1u << 14;
}  // namespace dcbflag

struct DCB {
  DWORD DCBlength = sizeof(DCB);
  DWORD BaudRate = 0;
  DWORD Flags = 0;
  WORD wReserved = 0;
  WORD XonLim = 0;
  WORD XoffLim = 0;
  BYTE ByteSize = 0;
  BYTE Parity = 0;
  BYTE StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;
  WORD wReserved1 = 0;

  DWORD DtrControl() const { return (Flags >> dcbflag::fDtrControlShift) & 3u; }
  DWORD RtsControl() const { return (Flags >> dcbflag::fRtsControlShift) & 3u; }
};
static_assert(sizeof(DCB) == 28, "DCB keeps the Win32 layout");

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout = 0;
  DWORD ReadTotalTimeoutMultiplier = 0;
  DWORD ReadTotalTimeoutConstant = 0;
  DWORD WriteTotalTimeoutMultiplier = 0;
  DWORD WriteTotalTimeoutConstant = 0;
};

struct COMSTAT {
  DWORD Flags = 0;
  DWORD cbInQue = 0;
  DWORD cbOutQue = 0;  // bytes the driver holds and has not sent yet
};

struct OVERLAPPED {
  std::uintptr_t Internal = 0;      // status: STATUS_PENDING while pending, else a Win32 error code
  std::uintptr_t InternalHigh = 0;  // bytes transferred
  DWORD Offset = 0;
  DWORD OffsetHigh = 0;
  HANDLE hEvent = 0;
};
inline constexpr std::uintptr_t STATUS_PENDING = 0x103;

// "\\.\" followed by a name below /dev, or by an absolute path. Fails with INVALID_HANDLE_VALUE
// when the path is missing, not a terminal, or held (flock, TIOCEXCL, a live UUCP lock file).
HANDLE CreateFileA(const char* fileName, DWORD access, DWORD shareMode, const void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL GetCommState(HANDLE file, DCB* dcb);
BOOL SetCommState(HANDLE file, const DCB* dcb);
BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts);
BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts);
BOOL SetCommMask(HANDLE file, DWORD mask);
BOOL GetCommMask(HANDLE file, DWORD* mask);
BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped);
BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status);
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped);
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait);

// A failure as the call that met it saw it: which table its code belongs to, the code, and the
// system's text for it; made once, at the failing call, and carried up unchanged inside the
// components' exceptions, so the console can tell the operator the cause.
#pragma once
#include <string>

#include "runtime/exception.h"

enum class TErrorDomain : unsigned char {
  None,     // no failure
  Errno,    // a Linux errno (EACCES, ENOENT, EBUSY ...)
  WinSock,  // a WinSock code (WSAECONNREFUSED, WSAHOST_NOT_FOUND ...), made by platform/winsock
  Own,      // a cause no system call names; codes in `owncause`
};

// Causes the program finds itself.
namespace owncause {
inline constexpr int NotATerminal = 1;     // the path exists but is no serial device
inline constexpr int LockFileHeld = 2;     // a live process holds the device's LCK.. file
inline constexpr int ByteSizeRefused = 3;  // the driver refused or changed the data bits
inline constexpr int ParityRefused = 4;    // ... the parity
inline constexpr int StopBitsRefused = 5;  // ... the stop bits
inline constexpr int FlowRefused = 6;      // ... the flow control
inline constexpr int BaudRateRefused = 7;  // ... the baud rate, beyond rounding
inline constexpr int HeldOpen = 8;         // another process has the device open
}  // namespace owncause

struct TPlatformError {
  TErrorDomain domain = TErrorDomain::None;
  int code = 0;
  std::string text;     // the system's (English) text for the code; empty when it has none
  std::string subject;  // what the failing call was about: a device path, a lock file
  long holder = 0;      // the process that holds what was asked for; 0 when not known

  explicit operator bool() const { return domain != TErrorDomain::None; }
  bool Is(TErrorDomain d, int c) const { return domain == d && code == c; }

  static TPlatformError FromErrno(int error, std::string subject = {}, long holder = 0);
  static TPlatformError FromOwn(int code, std::string subject = {}, long holder = 0);
};

// The texts of the errno and own tables ("Permission denied", "The device is no serial port");
// empty for a code the table does not know.
std::string ErrnoText(int error);
std::string OwnCauseText(int code);
// "Permission denied (errno 13): /dev/ttyUSB0" - for logs and messages in English.
std::string DescribeError(const TPlatformError& error);

// An exception that carries the failure behind it.
class ECausedError : public Exception {
 public:
  explicit ECausedError(std::string message, TPlatformError cause = {})
      : Exception(std::move(message)), cause_(std::move(cause)) {}
  const TPlatformError& Cause() const { return cause_; }

 private:
  TPlatformError cause_;
};

// The cause an exception carries; an empty value for any other exception.
TPlatformError CauseOf(std::exception_ptr error);

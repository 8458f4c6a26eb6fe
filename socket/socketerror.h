// Socket failures: the exception, its messages (resource strings, loaded when raised so that
// the translation layer sees them), the checked call and WinSock's start-up and clean-up.
#pragma once
#include <string>

#include "platform/errorvalue.h"
#include "platform/wintypes.h"

// Carries the WinSock code it was raised for, when there is one.
class ESocketError : public ECausedError {
 public:
  using ECausedError::ECausedError;
};

// A resource string of the socket component (SWindowsSocketError ... SCantChangeWhileActive).
std::string SocketResourceString(UINT id);
// The system's text for a code as messages use it: at most 256 bytes, without trailing blanks,
// control characters or full stops; empty when the system has none.
std::string SocketSystemText(int code);
// "Windows socket error: %s (%d), on API '%s'" for `code` and `label`.
std::string WindowsSocketErrorMessage(int code, const std::string& label);
// "Asynchronous socket error %d".
std::string AsyncSocketErrorMessage(int code);

// 0 when `result` is 0; otherwise WSAEWOULDBLOCK when that is the last error; otherwise raises
// ESocketError for the last error and `label`. Pass 1 for a request call that answered no handle.
int VerifySocketCall(int result, const std::string& label);

// One WinSock start-up (version 1.1) and one clean-up; each raises ESocketError on failure.
void AcquireWinSock();
void ReleaseWinSock();

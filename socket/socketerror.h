// Socket failures: the exception, its messages (resource strings, loaded when raised so that
// the translation layer sees them), the checked call and WinSock's start-up and clean-up.
#pragma once
#include <string>

#include "runtime/errorvalue.h"
#include "runtime/resources.h"
#include "runtime/wintypes.h"

// The component's messages: entries of the program's string table, so that the translation
// layer finds them where it finds every resource string.
inline constexpr UINT SWindowsSocketError = 65393;
inline constexpr UINT SASyncSocketError = 65394;
inline constexpr UINT SNoAddress = 65395;
inline constexpr UINT SCannotCreateSocket = 65396;
inline constexpr UINT SSocketAlreadyOpen = 65397;
inline constexpr UINT SCantChangeWhileActive = 65398;

inline constexpr TStringTableEntry kSocketStrings[] = {
    {SWindowsSocketError, u"Windows socket error: %s (%d), on API '%s'"},
    {SASyncSocketError, u"Asynchronous socket error %d"},
    {SNoAddress, u"No address specified"},
    {SCannotCreateSocket, u"Can't create new socket"},
    {SSocketAlreadyOpen, u"Socket already open"},
    {SCantChangeWhileActive, u"Can't change value while socket is active"},
};
// In the table before main, in every program that names one of them.
inline const bool kSocketStringsAdded = AddStringTableEntries(HInstance, kSocketStrings);

// The component's own code when an open names neither a host nor an address; it has no system
// text, so the component keeps its own.
inline constexpr int kNoAddressCode = 1110;

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

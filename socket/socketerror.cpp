#include "socket/socketerror.h"

#include "platform/winsock/errortext.h"
#include "platform/winsock/winsock.h"
#include "runtime/resources.h"
#include "socket/format.h"

std::string SocketResourceString(UINT id) {
  const ResourceStringRecord record{&HInstance, std::intptr_t(id)};
  return LoadResourceString(&record);
}

std::string SocketSystemText(int code) {
  if (code == kNoAddressCode) return "No host name or address was given";
  return StripSystemText(SysErrorMessage(code));
}

std::string WindowsSocketErrorMessage(int code, const std::string& label) {
  return FormatMessageArgs(SocketResourceString(SWindowsSocketError),
                           {SocketSystemText(code), std::to_string(code), label});
}

std::string AsyncSocketErrorMessage(int code) {
  return FormatMessageArgs(SocketResourceString(SASyncSocketError), {std::to_string(code)});
}

int VerifySocketCall(int result, const std::string& label) {
  if (result == 0) return 0;
  const int error = winsock::WSAGetLastError();
  if (error == winsock::WSAEWOULDBLOCK) return winsock::WSAEWOULDBLOCK;
  throw ESocketError(WindowsSocketErrorMessage(error, label), WinSockError(error));
}

void AcquireWinSock() {
  winsock::WSADATA data;
  const int r = winsock::WSAStartup(winsock::WINSOCK_VERSION_1_1, &data);
  if (r != 0) throw ESocketError(WindowsSocketErrorMessage(r, "WSAStartup"), WinSockError(r));
}

void ReleaseWinSock() {
  // WSACleanup answers SOCKET_ERROR, not a code: the code is the last error.
  if (winsock::WSACleanup() != 0) {
    const int error = winsock::WSAGetLastError();
    throw ESocketError(WindowsSocketErrorMessage(error, "WSACleanup"), WinSockError(error));
  }
}

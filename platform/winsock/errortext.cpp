#include "platform/winsock/errortext.h"

#include <unordered_map>

#include "platform/winsock/errorcodes.h"
#include "runtime/wintypes.h"

std::string SysErrorMessage(int code) {
  static const std::unordered_map<int, const char*> texts{
      {ERROR_SUCCESS, "The operation completed successfully"},
      {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory is available"},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect"},
      {winsock::WSAEINTR, "A blocking call was interrupted"},
      {winsock::WSAEBADF, "The file handle is not valid"},
      {winsock::WSAEACCES, "Access to the socket was denied"},
      {winsock::WSAEFAULT, "An address given to the call is not valid"},
      {winsock::WSAEINVAL, "An argument is not valid"},
      {winsock::WSAEMFILE, "Too many sockets are open"},
      {winsock::WSAEWOULDBLOCK, "The operation would block"},
      {winsock::WSAEINPROGRESS, "A blocking operation is in progress"},
      {winsock::WSAEALREADY, "The operation is already in progress"},
      {winsock::WSAENOTSOCK, "The handle is not a socket"},
      {winsock::WSAEDESTADDRREQ, "A destination address is required"},
      {winsock::WSAEMSGSIZE, "The message is too long"},
      {winsock::WSAEPROTOTYPE, "The protocol does not suit the socket type"},
      {winsock::WSAENOPROTOOPT, "The protocol option is not known"},
      {winsock::WSAEPROTONOSUPPORT, "The protocol is not supported"},
      {winsock::WSAESOCKTNOSUPPORT, "The socket type is not supported"},
      {winsock::WSAEOPNOTSUPP, "The operation is not supported"},
      {winsock::WSAEPFNOSUPPORT, "The protocol family is not supported"},
      {winsock::WSAEAFNOSUPPORT, "The address family is not supported"},
      {winsock::WSAEADDRINUSE, "The address is already in use"},
      {winsock::WSAEADDRNOTAVAIL, "The requested address is not available"},
      {winsock::WSAENETDOWN, "The network is down"},
      {winsock::WSAENETUNREACH, "The network is unreachable"},
      {winsock::WSAENETRESET, "The connection was lost: the remote host stopped answering"},
      {winsock::WSAECONNABORTED, "The connection was aborted on this computer"},
      {winsock::WSAECONNRESET, "The connection was reset by the remote host"},
      {winsock::WSAENOBUFS, "No buffer space is available"},
      {winsock::WSAEISCONN, "The socket is already connected"},
      {winsock::WSAENOTCONN, "The socket is not connected"},
      {winsock::WSAESHUTDOWN, "The socket has been shut down"},
      {winsock::WSAETOOMANYREFS, "Too many references"},
      {winsock::WSAETIMEDOUT, "The connection attempt timed out"},
      {winsock::WSAECONNREFUSED, "The connection was refused by the remote host"},
      {winsock::WSAELOOP, "The name cannot be translated"},
      {winsock::WSAENAMETOOLONG, "The name is too long"},
      {winsock::WSAEHOSTDOWN, "The remote host is down"},
      {winsock::WSAEHOSTUNREACH, "The remote host is unreachable"},
      {winsock::WSAENOTEMPTY, "The directory is not empty"},
      {winsock::WSAEPROCLIM, "Too many processes use the network"},
      {winsock::WSAEUSERS, "Too many users"},
      {winsock::WSAEDQUOT, "The disk quota is exceeded"},
      {winsock::WSAESTALE, "The file handle is stale"},
      {winsock::WSAEREMOTE, "The item is remote"},
      {winsock::WSASYSNOTREADY, "The network subsystem is not ready"},
      {winsock::WSAVERNOTSUPPORTED, "This WinSock version is not supported"},
      {winsock::WSANOTINITIALISED, "WinSock has not been started"},
      {winsock::WSAEDISCON, "The remote host is closing the connection"},
      {winsock::WSASYSCALLFAILURE, "A system call failed"},
      {winsock::WSAHOST_NOT_FOUND, "The host was not found"},
      {winsock::WSATRY_AGAIN, "The name server did not answer; try again later"},
      {winsock::WSANO_RECOVERY, "The name server failed"},
      {winsock::WSANO_DATA, "The name has no address of the requested kind"},
  };
  auto it = texts.find(code);
  return it == texts.end() ? std::string() : std::string(it->second);
}

std::string StripSystemText(std::string text) {
  if (text.size() > 256) text.resize(256);
  while (!text.empty() && (static_cast<unsigned char>(text.back()) <= 32 || text.back() == '.'))
    text.pop_back();
  return text;
}

TPlatformError WinSockError(int code) {
  return {TErrorDomain::WinSock, code, StripSystemText(SysErrorMessage(code)), {}, 0};
}

#include "platform/winsock/errortext.h"

#include <unordered_map>

std::string SysErrorMessage(int code) {
  static const std::unordered_map<int, const char*> texts{
      {0, "The operation completed successfully"},
      {8, "Not enough memory is available"},
      {87, "The parameter is incorrect"},
      // What the socket component reports when neither a host nor an address was given.
      {1110, "No host name or address was given"},
      {10004, "A blocking call was interrupted"},
      {10009, "The file handle is not valid"},
      {10013, "Access to the socket was denied"},
      {10014, "An address given to the call is not valid"},
      {10022, "An argument is not valid"},
      {10024, "Too many sockets are open"},
      {10035, "The operation would block"},
      {10036, "A blocking operation is in progress"},
      {10037, "The operation is already in progress"},
      {10038, "The handle is not a socket"},
      {10039, "A destination address is required"},
      {10040, "The message is too long"},
      {10041, "The protocol does not suit the socket type"},
      {10042, "The protocol option is not known"},
      {10043, "The protocol is not supported"},
      {10044, "The socket type is not supported"},
      {10045, "The operation is not supported"},
      {10046, "The protocol family is not supported"},
      {10047, "The address family is not supported"},
      {10048, "The address is already in use"},
      {10049, "The requested address is not available"},
      {10050, "The network is down"},
      {10051, "The network is unreachable"},
      {10052, "The connection was lost: the remote host stopped answering"},
      {10053, "The connection was aborted on this computer"},
      {10054, "The connection was reset by the remote host"},
      {10055, "No buffer space is available"},
      {10056, "The socket is already connected"},
      {10057, "The socket is not connected"},
      {10058, "The socket has been shut down"},
      {10059, "Too many references"},
      {10060, "The connection attempt timed out"},
      {10061, "The connection was refused by the remote host"},
      {10062, "The name cannot be translated"},
      {10063, "The name is too long"},
      {10064, "The remote host is down"},
      {10065, "The remote host is unreachable"},
      {10066, "The directory is not empty"},
      {10067, "Too many processes use the network"},
      {10068, "Too many users"},
      {10069, "The disk quota is exceeded"},
      {10070, "The file handle is stale"},
      {10071, "The item is remote"},
      {10091, "The network subsystem is not ready"},
      {10092, "This WinSock version is not supported"},
      {10093, "WinSock has not been started"},
      {10101, "The remote host is closing the connection"},
      {10107, "A system call failed"},
      {11001, "The host was not found"},
      {11002, "The name server did not answer; try again later"},
      {11003, "The name server failed"},
      {11004, "The name has no address of the requested kind"},
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

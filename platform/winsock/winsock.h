// WinSock 1.1, the subset the socket component calls, made of non-blocking Linux sockets.
// Names live in namespace winsock so that they never meet the C library's socket names.
//
// Handles are numbers that are never reused, so a notification that was posted for a socket
// closed since can never be mistaken for one of its successor.
//
// Asynchronous notifications (WSAAsyncSelect) follow WinSock's rules and are posted with
// PostMessageA to a TMessageWindow: FD_CONNECT once with the connect's error; FD_WRITE after
// the connect and then only after a send that would block; FD_READ once, re-armed by the next
// recv; FD_CLOSE once (error 0 for an orderly close, 10054 for a reset, 10052 for a peer that
// stopped answering), after which the socket is no longer watched. A non-blocking connect
// reports every failure through FD_CONNECT, and one that has not ended within the connect
// time-out fails there with 10060. Register and close sockets on the UI thread.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/winsock/errorcodes.h"
#include "runtime/wintypes.h"

namespace winsock {

using SOCKET = std::uintptr_t;
using HANDLE = std::uintptr_t;  // an asynchronous request
using u_short = std::uint16_t;
using u_long = std::uint32_t;

inline constexpr SOCKET INVALID_SOCKET = ~SOCKET(0);
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int IPPROTO_TCP = 6;
inline constexpr u_long INADDR_ANY = 0;
inline constexpr u_long INADDR_NONE = 0xFFFFFFFFu;

inline constexpr long FIONREAD = 0x4004667F;
inline constexpr long FIONBIO = static_cast<long>(0x8004667EL);

inline constexpr WORD WINSOCK_VERSION_1_1 = 0x0101;
inline constexpr int MAXGETHOSTSTRUCT = 1024;

// Notification flags of WSAAsyncSelect.
inline constexpr long FD_READ = 0x01;
inline constexpr long FD_WRITE = 0x02;
inline constexpr long FD_OOB = 0x04;
inline constexpr long FD_ACCEPT = 0x08;
inline constexpr long FD_CONNECT = 0x10;
inline constexpr long FD_CLOSE = 0x20;

struct in_addr {
  u_long s_addr;  // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  std::int16_t sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16);

// Host and service entries as the asynchronous lookups lay them out in the caller's buffer:
// every pointer points into that same buffer.
struct hostent {
  char* h_name;
  char** h_aliases;
  std::int16_t h_addrtype;
  std::int16_t h_length;
  char** h_addr_list;
};

struct servent {
  char* s_name;
  char** s_aliases;
  std::int16_t s_port;  // network byte order
  char* s_proto;
};

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
};

// The second parameter of a notification or lookup message.
constexpr LPARAM WSAMAKESELECTREPLY(long event, int error) {
  return LPARAM((std::uint32_t(error & 0xFFFF) << 16) | std::uint32_t(event & 0xFFFF));
}
constexpr LPARAM WSAMAKEASYNCREPLY(int length, int error) { return WSAMAKESELECTREPLY(length, error); }
constexpr WORD WSAGETSELECTEVENT(LPARAM lParam) { return WORD(std::uint32_t(lParam) & 0xFFFF); }
constexpr WORD WSAGETSELECTERROR(LPARAM lParam) { return WORD((std::uint32_t(lParam) >> 16) & 0xFFFF); }
constexpr WORD WSAGETASYNCERROR(LPARAM lParam) { return WSAGETSELECTERROR(lParam); }
constexpr WORD WSAGETASYNCBUFLEN(LPARAM lParam) { return WSAGETSELECTEVENT(lParam); }

// Start-up is counted; every other call fails with WSANOTINITIALISED while the count is 0.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int connect(SOCKET s, const sockaddr* name, int nameLength);
// Never raises SIGPIPE.
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int ioctlsocket(SOCKET s, long command, u_long* argument);

// Registers (window, message, events) for notifications and makes the socket non-blocking;
// events 0 cancels every notification (the socket stays non-blocking).
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);

// Lookups on a worker, completed only by posting `message` to `window`: the first parameter
// is the request, the second WSAMAKEASYNCREPLY(bytes needed, error). Answer 0 (and an error)
// when the request cannot be made. The buffer must stay valid until the completion message
// has been posted or the request cancelled.
HANDLE WSAAsyncGetHostByName(HWND window, UINT message, const char* name, char* buffer, int bufferLength);
HANDLE WSAAsyncGetServByName(HWND window, UINT message, const char* name, const char* protocol, char* buffer,
                             int bufferLength);
// 0 while the completion has not been posted: the request will then neither post nor write
// into its buffer. WSAEALREADY once it has been posted, WSAEINVAL for a handle never issued.
// Lookups complete on the thread that requested them, through its event loop.
int WSACancelAsyncRequest(HANDLE request);

// Blocking lookups; the entry is the calling thread's own and valid until its next call.
hostent* gethostbyname(const char* name);
servent* getservbyname(const char* name, const char* protocol);

// How long a non-blocking connect may take (10 s unless changed); answers the one before.
// Applies to connects started from now on.
std::chrono::milliseconds ExchangeConnectTimeout(std::chrono::milliseconds limit);

u_long inet_addr(const char* text);
u_short htons(u_short value);
u_short ntohs(u_short value);
u_long htonl(u_long value);
u_long ntohl(u_long value);

}  // namespace winsock

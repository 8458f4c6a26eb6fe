// The Linux calls behind the WinSock layer, kept in one file so that the C library's socket
// headers (and their macros: AF_INET, FIONREAD, htons ...) never meet winsock.h.
// Every call answers a WinSock error code through `error` when it fails.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/winsock/resolver.h"

namespace winsock::posix {

// The WinSock code for an errno value (the one translation table).
int ErrorFromErrno(int errnoValue);

int OpenStream(int& error);  // a close-on-exec IPv4 stream socket, or -1
void Close(int fd);
bool SetNonBlocking(int fd, bool on, int& error);

// 0 connected, 1 in progress, -1 failed.
int Connect(int fd, std::uint32_t addressNet, std::uint16_t portNet, int& error);
// The WinSock code for a failed connect's errno.
int ConnectErrorFromErrno(int errnoValue);
// Ends a connect in progress; the socket stays open, unconnected.
void AbortConnect(int fd);
// The outcome of a connect in progress: 0 done, 1 still in progress, -1 failed with `error`.
int ConnectOutcome(int fd, int& error);

long Send(int fd, const char* buffer, long length, int& error);
long Recv(int fd, char* buffer, long length, int& error);

bool BytesWaiting(int fd, std::uint32_t& count, int& error);

// A wake-up counter (platform/sync/wakeup.h) with the WinSock code when none can be had.
int OpenWakeup(int& error);

// inet_aton's forms ("a.b.c.d", "a.b", hex and octal parts); false for anything else.
bool ParseAddress(const char* text, std::uint32_t& addressNet);

// The system's resolver: getaddrinfo restricted to IPv4, getservbyname_r.
THostAnswer ResolveHost(const std::string& name);
TServiceAnswer ResolveService(const std::string& name, const std::string& protocol);

}  // namespace winsock::posix

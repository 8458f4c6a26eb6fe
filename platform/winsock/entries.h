// Host and service entries laid out in a caller's buffer, every pointer pointing into that
// buffer, as WinSock's asynchronous lookups return them.
#pragma once
#include "platform/winsock/resolver.h"

namespace winsock {

// The bytes the entry needs. The buffer is written only when the entry fits (all of it or
// nothing), and never beyond `length`.
int LayOutHostEntry(const THostAnswer& answer, char* buffer, int length);
int LayOutServiceEntry(const TServiceAnswer& answer, const std::string& protocol, char* buffer, int length);

}  // namespace winsock

// Host and service resolution behind the WinSock lookups, with a seam so that tests can answer
// (or fail, or hold) a lookup without DNS.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winsock {

struct THostAnswer {
  int error = 0;  // a WinSock code: 0, WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA
  std::string name;
  std::vector<std::uint32_t> addresses;  // IPv4, network byte order
};

struct TServiceAnswer {
  int error = 0;
  std::string name;
  std::uint16_t portNet = 0;  // network byte order
};

using THostResolver = std::function<THostAnswer(const std::string& name)>;
using TServiceResolver = std::function<TServiceAnswer(const std::string& name, const std::string& protocol)>;

// Puts a resolver in place for lookups started from now on and returns the one before; an
// empty resolver means the system's. Resolvers run on lookup workers.
THostResolver ExchangeHostResolver(THostResolver resolver);
TServiceResolver ExchangeServiceResolver(TServiceResolver resolver);

// The resolver in place now (the system's when none was put there).
THostAnswer ResolveHostNow(const std::string& name);
TServiceAnswer ResolveServiceNow(const std::string& name, const std::string& protocol);

}  // namespace winsock

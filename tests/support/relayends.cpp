#include "tests/support/relayends.h"

#include <chrono>
#include <functional>

#include "tests/support/pump.h"

namespace {
std::string Collect(const std::function<bool(std::string&)>& readAvailable, std::size_t count) {
  std::string got;
  PumpUntil(
      [&] {
        readAvailable(got);
        return got.size() >= count;
      },
      std::chrono::seconds(60));
  return got;
}
}  // namespace

std::string SerialToServer(TPseudoTerminal& pty, loopback::TServer& server, const std::string& bytes) {
  pty.Write(bytes);
  return Collect([&](std::string& into) { return server.ReadAvailable(into); }, bytes.size());
}

std::string ServerToSerial(loopback::TServer& server, TPseudoTerminal& pty, const std::string& bytes) {
  server.Send(bytes);
  return Collect([&](std::string& into) { return pty.ReadAvailable(into); }, bytes.size());
}

// Moves bytes through the relay in both directions at once without ever blocking the UI
// thread, and checks what arrives against what was sent.
#pragma once
#include <QCoreApplication>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "tests/support/loopback.h"
#include "tests/support/process.h"
#include "tests/support/pty.h"
#include "tests/support/pump.h"

namespace soak {

// Sanitizers hold freed memory back (quarantine, shadow), so resident size says nothing about
// our bounds there; their own leak checks stand in for it.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kResidentIsMeaningful = false;
#else
inline constexpr bool kResidentIsMeaningful = true;
#endif

inline std::size_t SoakBytes() {
  const char* v = std::getenv("SOAK_BYTES");
  return v ? std::size_t(std::strtoull(v, nullptr, 10)) : std::size_t(8) << 20;
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::string s(n, '\0');
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    const auto v = gen();
    for (int b = 0; b < 8; ++b) s[i + std::size_t(b)] = char(v >> (8 * b));
  }
  return s;
}

// The largest receive buffer TCP may grow to here: one read of the socket can take that much.
inline std::size_t TcpReceiveBufferMax() {
  std::ifstream f("/proc/sys/net/ipv4/tcp_rmem");
  std::size_t low = 0, normal = 0, max = 6u << 20;
  f >> low >> normal >> max;
  return max;
}

// One direction's progress. What arrives is checked against the source as it comes and not
// kept, so the test's own memory does not grow with the volume.
struct Stream {
  explicit Stream(const std::string* src) : source(src) {}
  const std::string* source;
  std::size_t sent = 0;
  std::size_t received = 0;
  bool intact = true;  // everything so far matched the source, in order

  void Take(const std::string& bytes) {
    if (bytes.empty()) return;
    if (received + bytes.size() > source->size() || source->compare(received, bytes.size(), bytes) != 0)
      intact = false;
    received += bytes.size();
  }
  bool Done() const { return received >= source->size(); }
  bool Complete() const { return intact && received == source->size(); }
};

struct Pump {
  TPseudoTerminal& pty;
  loopback::TServer& server;
  Stream up;    // serial far end -> server
  Stream down;  // server -> serial far end
  std::size_t chunk = 64 << 10;
  std::size_t maxResident = 0;

  // Runs until both streams are complete, or `limit` passes; returns whether both completed.
  template <class EachRound>
  bool Run(std::chrono::seconds limit, EachRound eachRound) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int round = 0;
    while (!(up.Done() && down.Done())) {
      if (std::chrono::steady_clock::now() > end) return false;
      if (up.sent < up.source->size())
        up.sent += pty.WriteSome(up.source->data() + up.sent, std::min(chunk, up.source->size() - up.sent));
      if (down.sent < down.source->size())
        down.sent += server.SendSome(down.source->data() + down.sent,
                                     std::min(chunk, down.source->size() - down.sent));
      std::string fromServer, fromDevice;
      server.ReadAvailable(fromServer);
      pty.ReadAvailable(fromDevice);
      up.Take(fromServer);
      down.Take(fromDevice);
      QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
      if (++round % 64 == 0) maxResident = std::max(maxResident, ResidentBytes());
      eachRound();
    }
    return true;
  }
  bool Run(std::chrono::seconds limit) {
    return Run(limit, [] {});
  }
};

}  // namespace soak

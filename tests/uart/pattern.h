// Test data shared by the guest's tests and the far end: reproducible byte streams, and a
// digest to compare what arrived without shipping it back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace uart {

inline constexpr char kXon = 0x11;
inline constexpr char kXoff = 0x13;

// Byte `i` of stream `seed`: every value occurs, with no short period.
inline char PatternByte(unsigned seed, std::size_t i) {
  const std::uint32_t x = static_cast<std::uint32_t>(i) * 2654435761u + seed * 40503u;
  return static_cast<char>((x >> 13) ^ (x >> 24) ^ static_cast<std::uint32_t>(i));
}

// The same stream without the two flow-control bytes, for a line that carries XON/XOFF.
inline char FlowlessByte(unsigned seed, std::size_t i) {
  const char c = PatternByte(seed, i);
  return c == kXon || c == kXoff ? static_cast<char>(c | 0x20) : c;
}

inline std::string Pattern(unsigned seed, std::size_t count, bool flowless = false) {
  std::string s(count, '\0');
  for (std::size_t i = 0; i < count; ++i) s[i] = flowless ? FlowlessByte(seed, i) : PatternByte(seed, i);
  return s;
}

// FNV-1a over the bytes.
inline std::uint64_t Digest(const std::string& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

}  // namespace uart

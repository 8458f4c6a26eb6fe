// Byte order: one swap for every reader of words written on another machine.
#pragma once
#include <cstdint>

inline constexpr std::uint16_t ByteSwap16(std::uint16_t v) { return std::uint16_t((v >> 8) | (v << 8)); }
inline constexpr std::uint32_t ByteSwap32(std::uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

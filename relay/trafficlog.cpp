#include "relay/trafficlog.h"

std::string FormatLogStamp(const SYSTEMTIME& utc) {
  // Once a line, thousands a second in a flood: digits by hand, not through printf.
  std::string out = "[00:00:00:000]";
  const auto put = [&out](std::size_t at, unsigned value, int digits) {
    for (int i = digits - 1; i >= 0; --i, value /= 10) out[at + std::size_t(i)] = char('0' + value % 10);
  };
  put(1, (utc.wHour + 8u) % 24u, 2);
  put(4, utc.wMinute, 2);
  put(7, utc.wSecond, 2);
  put(10, utc.wMilliseconds, 3);
  return out;
}

std::string ByteToHex(std::uint8_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  return {kDigits[value >> 4], kDigits[value & 0x0F]};
}

std::string StrToHexStr(std::string_view data) {
  std::string out;
  AppendHex(out, data);
  return out;
}

void AppendHex(std::string& out, std::string_view data) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  const std::size_t at = out.size();
  out.resize(at + data.size() * 3);
  char* p = out.data() + at;
  for (unsigned char b : data) {
    *p++ = kDigits[b >> 4];
    *p++ = kDigits[b & 0x0F];
    *p++ = ' ';
  }
}

std::string WithHexDigits(std::string_view text, std::size_t hexFrom) {
  if (hexFrom >= text.size()) return std::string(text);
  std::string out(text.substr(0, hexFrom));
  AppendHex(out, text.substr(hexFrom));
  return out;
}

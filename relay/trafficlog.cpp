#include "relay/trafficlog.h"

#include <cstdio>

std::string FormatLogStamp(const SYSTEMTIME& utc) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "[%02d:%02d:%02d:%03d]", (utc.wHour + 8) % 24, utc.wMinute, utc.wSecond,
                utc.wMilliseconds);
  return buf;
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

// The pure pieces of the traffic log: the time stamp and the hexadecimal rendering of blocks.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"

// "[hh:mm:ss:mmm]" at UTC+8, whatever zone the machine is in.
std::string FormatLogStamp(const SYSTEMTIME& utc);
std::string ByteToHex(std::uint8_t value);
// Two upper-case digits and one blank per byte.
std::string StrToHexStr(std::string_view data);
// The same, appended to `out`.
void AppendHex(std::string& out, std::string_view data);
// A log line as text: from `hexFrom` on (npos: nowhere) its bytes become their digits.
std::string WithHexDigits(std::string_view text, std::size_t hexFrom);

// The service's log lines: "<ISO 8601 local time> <colour word> <text>", UTF-8, one per line.
#pragma once
#include <chrono>
#include <string>

#include "relay/view.h"

namespace service {

// "2026-12-08T15:09:44.123+08:00": the local time at `utcOffsetSeconds` east of UTC.
std::string IsoStamp(std::chrono::system_clock::time_point when, int utcOffsetSeconds);
// The local zone's offset at `when`.
int LocalUtcOffset(std::chrono::system_clock::time_point when);
// The window's colour of each kind of line, as a word: red, blue, green.
const char* ColourWord(relay::TLineKind kind);
// GB18030 bytes as UTF-8 on a single line: control characters and bytes that form no character
// become \n, \r, \t or \xNN (a character that would break or reorder the line: the \xNN of its
// bytes), and a backslash is doubled, so every byte can be told back.
std::string OneLineUtf8(const std::string& ansi);
// A whole line without its line break.
std::string ServiceLine(const std::string& stamp, relay::TLineKind kind, const std::string& ansi);

}  // namespace service

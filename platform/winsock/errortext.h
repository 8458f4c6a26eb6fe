// The system's text for an error code, as FormatMessage gives it from the system message table:
// our own short English texts for every code this program can meet, without a closing full
// stop; the empty text for any other code.
#pragma once
#include <string>

#include "runtime/errorvalue.h"

std::string SysErrorMessage(int code);

// A system text as messages and the log show it: what a 256-character buffer holds, with
// trailing blanks, control characters and full stops cut.
std::string StripSystemText(std::string text);

// The failure value of a WinSock code, with the system's text as messages show it.
TPlatformError WinSockError(int code);

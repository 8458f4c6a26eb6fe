// The user's locale as the translation layer asks for it, answered from the POSIX locale
// environment (LC_ALL, then LC_MESSAGES, then LANG: the first one set and not empty wins,
// as setlocale resolves the message category).
#pragma once
#include <string>

#include "runtime/wintypes.h"

using LCID = DWORD;
using LCTYPE = DWORD;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x400;
inline constexpr LCID LOCALE_INVARIANT = 0x7F;
inline constexpr LCTYPE LOCALE_SISO639LANGNAME = 0x59;
inline constexpr LCTYPE LOCALE_SISO3166CTRYNAME = 0x5A;

// Copies the item and a terminating zero into `buffer` and returns the count including the
// zero; 0 when the item is unknown, the locale names no such part, or the buffer is too small.
int GetLocaleInfoA(LCID locale, LCTYPE item, char* buffer, int bufferLength);

// The locale identifier of the user's language (its primary country); LOCALE_INVARIANT when
// the locale is C, POSIX, unset or a language without an identifier here.
LCID GetThreadLocale();

// The locale name that the message category resolves to ("C" when nothing is set).
std::string MessagesLocaleName();

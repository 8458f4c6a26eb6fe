// Events and waits with the Win32 meaning: manual- and auto-reset events, waits on one or several
// objects where the lowest signalled index wins. Pending overlapped operations started by the
// waiting thread progress inside these waits (see waitsource.h).
#pragma once
#include "platform/sync/handles.h"

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED_0 = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// `security` and `name` are accepted for the Win32 shape only; named events are not supported.
HANDLE CreateEventA(const void* security, BOOL manualReset, BOOL initialState, const char* name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);
// Only waitAll = FALSE is supported (ERROR_INVALID_PARAMETER otherwise).
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);

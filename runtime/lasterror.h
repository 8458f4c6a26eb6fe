// The calling thread's last error, as GetLastError/SetLastError keep it, and the failure behind it.
#pragma once
#include "runtime/errorvalue.h"
#include "runtime/wintypes.h"

DWORD GetLastError();
// Forgets the cause of the error before.
void SetLastError(DWORD code);
// The Win32 code together with the failure it stands for.
void SetLastError(DWORD code, TPlatformError cause);
// The failure behind the last error; empty when the last error was set without one.
const TPlatformError& LastErrorCause();

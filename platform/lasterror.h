// The calling thread's last error, as GetLastError/SetLastError keep it.
#pragma once
#include "platform/wintypes.h"

DWORD GetLastError();
void SetLastError(DWORD code);

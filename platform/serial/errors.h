// The one table from errno (and the program's own causes) to the Win32 error codes the serial
// facilities report.
#pragma once
#include "runtime/errorvalue.h"
#include "runtime/wintypes.h"

DWORD Win32ErrorFromErrno(int error);
DWORD Win32ErrorFromCause(const TPlatformError& cause);
// Sets the last error from a failure met by a serial facility; answers FALSE for the caller.
BOOL FailWith(TPlatformError cause);

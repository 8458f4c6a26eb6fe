// The one table from errno to the Win32 error codes the serial facilities report.
#pragma once
#include "platform/wintypes.h"

DWORD Win32ErrorFromErrno(int error);

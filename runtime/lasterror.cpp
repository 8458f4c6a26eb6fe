#include "runtime/lasterror.h"

namespace {
thread_local DWORD t_lastError = 0;
thread_local TPlatformError t_cause;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) {
  t_lastError = code;
  if (t_cause) t_cause = {};
}

void SetLastError(DWORD code, TPlatformError cause) {
  t_lastError = code;
  t_cause = std::move(cause);
}

const TPlatformError& LastErrorCause() { return t_cause; }

#include "platform/serial/errors.h"

#include <cerrno>

#include "platform/serial/comm.h"
#include "runtime/lasterror.h"

DWORD Win32ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
    case ENOTTY:
      return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_ACCESS_DENIED;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
    case EMFILE:
    case ENFILE:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      // EIO and friends: the device stopped working (unplugged, hung up).
      return ERROR_GEN_FAILURE;
  }
}

DWORD Win32ErrorFromCause(const TPlatformError& cause) {
  switch (cause.domain) {
    case TErrorDomain::None:
      return ERROR_SUCCESS;
    case TErrorDomain::Errno:
      return Win32ErrorFromErrno(cause.code);
    case TErrorDomain::Own:
      switch (cause.code) {
        case owncause::NotATerminal:
          return ERROR_FILE_NOT_FOUND;
        case owncause::LockFileHeld:
        case owncause::HeldOpen:
          return ERROR_ACCESS_DENIED;
        default:
          return ERROR_INVALID_PARAMETER;  // a refused setting
      }
    default:
      return ERROR_GEN_FAILURE;
  }
}

BOOL FailWith(TPlatformError cause) {
  const DWORD code = Win32ErrorFromCause(cause);
  SetLastError(code, std::move(cause));
  return FALSE;
}

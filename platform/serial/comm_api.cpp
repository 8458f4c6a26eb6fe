#include <cerrno>
#include <mutex>

#include "platform/serial/backend.h"
#include "platform/serial/comm.h"
#include "platform/serial/device.h"
#include "platform/serial/errors.h"
#include "runtime/lasterror.h"

namespace {
std::mutex g_openerLock;
TSerialOpener& Opener() {
  static TSerialOpener opener;
  return opener;
}

std::shared_ptr<TSerialDevice> Device(HANDLE file) { return LookupHandleAs<TSerialDevice>(file); }
}  // namespace

TSerialOpener ExchangeSerialOpener(TSerialOpener opener) {
  std::lock_guard lock(g_openerLock);
  std::swap(Opener(), opener);
  return opener;
}

std::string DevicePathFromName(const std::string& name) {
  std::string rest = name;
  if (rest.rfind("\\\\.\\", 0) == 0) rest.erase(0, 4);
  if (!rest.empty() && rest.front() == '/') return rest;
  return "/dev/" + rest;
}

HANDLE CreateFileA(const char* fileName, DWORD, DWORD, const void*, DWORD creationDisposition, DWORD,
                   HANDLE) {
  if (!fileName || !*fileName || creationDisposition != OPEN_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::string path = DevicePathFromName(fileName);
  TSerialOpener opener;
  {
    std::lock_guard lock(g_openerLock);
    opener = Opener();
  }
  TPlatformError cause = TPlatformError::FromErrno(ENOENT, path);
  auto backend = opener ? opener(path, cause) : OpenTerminal(path, cause);
  if (!backend) {
    FailWith(std::move(cause));
    return INVALID_HANDLE_VALUE;
  }
  auto device = TSerialDevice::Create(std::move(backend), cause);
  if (!device) {
    FailWith(std::move(cause));
    return INVALID_HANDLE_VALUE;
  }
  return InsertHandle(std::move(device));
}

BOOL SetupComm(HANDLE file, DWORD inQueue, DWORD outQueue) {
  auto d = Device(file);
  return d ? d->Setup(inQueue, outQueue) : FALSE;
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  auto d = Device(file);
  return d ? d->Purge(flags) : FALSE;
}

BOOL GetCommState(HANDLE file, DCB* dcb) {
  auto d = Device(file);
  if (d && !dcb) SetLastError(ERROR_INVALID_PARAMETER);
  return d && dcb ? d->GetState(*dcb) : FALSE;
}

BOOL SetCommState(HANDLE file, const DCB* dcb) {
  auto d = Device(file);
  if (d && !dcb) SetLastError(ERROR_INVALID_PARAMETER);
  return d && dcb ? d->SetState(*dcb) : FALSE;
}

BOOL GetCommTimeouts(HANDLE file, COMMTIMEOUTS* timeouts) {
  auto d = Device(file);
  if (d && !timeouts) SetLastError(ERROR_INVALID_PARAMETER);
  return d && timeouts ? d->GetTimeouts(*timeouts) : FALSE;
}

BOOL SetCommTimeouts(HANDLE file, const COMMTIMEOUTS* timeouts) {
  auto d = Device(file);
  if (d && !timeouts) SetLastError(ERROR_INVALID_PARAMETER);
  return d && timeouts ? d->SetTimeouts(*timeouts) : FALSE;
}

BOOL SetCommMask(HANDLE file, DWORD mask) {
  auto d = Device(file);
  return d ? d->SetMask(mask) : FALSE;
}

BOOL GetCommMask(HANDLE file, DWORD* mask) {
  auto d = Device(file);
  if (d && !mask) SetLastError(ERROR_INVALID_PARAMETER);
  return d && mask ? d->GetMask(*mask) : FALSE;
}

BOOL WaitCommEvent(HANDLE file, DWORD* eventMask, OVERLAPPED* overlapped) {
  auto d = Device(file);
  return d ? d->WaitEvent(eventMask, overlapped) : FALSE;
}

BOOL ClearCommError(HANDLE file, DWORD* errors, COMSTAT* status) {
  auto d = Device(file);
  return d ? d->ClearError(errors, status) : FALSE;
}

BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* read, OVERLAPPED* overlapped) {
  auto d = Device(file);
  return d ? d->Read(buffer, toRead, read, overlapped) : FALSE;
}

BOOL WriteFile(HANDLE file, const void* buffer, DWORD toWrite, DWORD* written, OVERLAPPED* overlapped) {
  auto d = Device(file);
  return d ? d->Write(buffer, toWrite, written, overlapped) : FALSE;
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* transferred, BOOL wait) {
  auto d = Device(file);
  if (!d) return FALSE;
  if (!overlapped) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Waiting is a wait on the operation's event, inside which the operation progresses.
  if (wait && d->Result(overlapped, transferred) == FALSE && GetLastError() == ERROR_IO_INCOMPLETE) {
    if (WaitForSingleObject(overlapped->hEvent, INFINITE) == WAIT_FAILED) return FALSE;
  }
  return d->Result(overlapped, transferred);
}

#include "platform/sync/events.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "platform/files/descriptor.h"
#include "platform/sync/event_object.h"
#include "platform/sync/threadqueue_object.h"
#include "platform/sync/waitsource.h"
#include "platform/sync/wakeup.h"

TEvent::TEvent(bool manualReset, bool initialState, int fd) : fd_(fd), manual_(manualReset) {
  if (initialState) Set();
}

TEvent::~TEvent() {
  int fd = fd_;
  CloseDescriptor(fd);
}

std::shared_ptr<TEvent> TEvent::Create(bool manualReset, bool initialState) {
  const int fd = OpenWakeup();
  if (fd < 0) return nullptr;
  return std::make_shared<TEvent>(manualReset, initialState, fd);
}

void TEvent::Set() {
  std::lock_guard lock(lock_);
  if (signalled_) return;
  signalled_ = true;
  if (watchers_ > 0) Arm();
}

void TEvent::Reset() {
  std::lock_guard lock(lock_);
  signalled_ = false;
  Disarm();
}

bool TEvent::TryAcquire() {
  std::lock_guard lock(lock_);
  if (!signalled_) return false;
  if (!manual_) {
    signalled_ = false;
    Disarm();
  }
  return true;
}

void TEvent::Watch() {
  std::lock_guard lock(lock_);
  ++watchers_;
  // Set between the caller's look and now: poll must not sleep through it.
  if (signalled_) Arm();
}

void TEvent::Unwatch() {
  std::lock_guard lock(lock_);
  --watchers_;
}

void TEvent::Arm() {
  if (armed_) return;
  armed_ = true;
  SignalWakeup(fd_);
}

void TEvent::Disarm() {
  if (!armed_) return;
  armed_ = false;
  DrainWakeup(fd_);
}

bool TEvent::IsSet() {
  std::lock_guard lock(lock_);
  return signalled_;
}

HANDLE CreateEventA(const void*, BOOL manualReset, BOOL initialState, const char* name) {
  if (name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto event = TEvent::Create(manualReset != FALSE, initialState != FALSE);
  if (!event) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  return InsertHandle(std::move(event));
}

BOOL SetEvent(HANDLE handle) {
  auto event = LookupHandleAs<TEvent>(handle);
  if (!event) return FALSE;
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = LookupHandleAs<TEvent>(handle);
  if (!event) return FALSE;
  event->Reset();
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  return WaitForMultipleObjects(1, &object, FALSE, milliseconds);
}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  return WaitForObjectsOrInput(count, handles, waitAll, milliseconds, nullptr);
}

#include <algorithm>
#include <cstring>

#include "comm/serialthreads.h"
#include "runtime/lasterror.h"
#include "runtime/localmem.h"

namespace {
constexpr DWORD kWatchedLineEvents = EV_RLSD | EV_ERR | EV_RING;
constexpr DWORD kModemCarrier = 8;
constexpr DWORD kModemRing = 4;
// A read that completes at once with nothing (interval MAXDWORD and no totals) is retried after
// this pause, so such settings cannot spin the thread.
constexpr DWORD kEmptyReadPauseMs = 20;
// Blocks that come off the device one after another in a flood go to the window together, so
// it is woken once for them; this many at most, which delays the first by a few block reads.
constexpr std::size_t kMostHeldBlocks = 8;
}  // namespace

TReadThread::TReadThread(HANDLE port, HANDLE stopSignal, HWND notifyWindow, DWORD opening)
    : TThread(true), FPortHandle(port), FStopSignal(stopSignal), FOpening(opening), FHeld(notifyWindow) {}

void TReadThread::SignalHangup() { Post(CommMsgRequestHangup, FOpening, 0); }

bool TReadThread::PostHeld() {
  if (FHeld.Post()) return true;
  SignalHangup();
  return false;
}

// Whatever is held goes first, so notices never overtake the blocks read before them.
bool TReadThread::Post(UINT msg, WPARAM wParam, LPARAM lParam) {
  FHeld.Hold(msg, wParam, lParam);
  return FHeld.Post();
}

bool TReadThread::Stopping() { return WaitForSingleObject(FStopSignal, 0) != WAIT_TIMEOUT; }

void TReadThread::Execute() {
  FReadRecord = OVERLAPPED{};
  FLineRecord = OVERLAPPED{};
  FReadRecord.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  FLineRecord.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (!FReadRecord.hEvent || !FLineRecord.hEvent) {
    SignalHangup();
  } else if (!SetCommMask(FPortHandle, kWatchedLineEvents)) {
    SignalHangup();
  } else if (StartLineEventWait() && StartRead()) {
    const HANDLE waitList[3] = {FStopSignal, FLineRecord.hEvent, FReadRecord.hEvent};
    for (;;) {
      if (!PostHeld()) break;
      const DWORD r = WaitForMultipleObjects(3, waitList, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0) {
        DeliverCutShort();
        break;
      }
      if (r == WAIT_OBJECT_0 + 1) {
        if (!HandleLineEvent(true) || !StartLineEventWait()) break;
      } else if (r == WAIT_OBJECT_0 + 2) {
        if (!FinishRead() || !StartRead()) break;
      } else {
        SignalHangup();
        break;
      }
    }
  }
  // Blocks read before a stop are delivered like those read before it.
  FHeld.Post();
  PurgeComm(FPortHandle, PURGE_RXABORT | PURGE_RXCLEAR);
  // The purge ends the pending read but not the line-event wait; an empty mask ends that one,
  // before the records it writes to go away.
  SetCommMask(FPortHandle, 0);
  if (FReadRecord.hEvent) CloseHandle(FReadRecord.hEvent);
  if (FLineRecord.hEvent) CloseHandle(FLineRecord.hEvent);
}

bool TReadThread::StartRead() {
  for (;;) {
    if (Stopping()) return false;
    DWORD count = 0;
    if (ReadFile(FPortHandle, FBuffer.data(), kReadBufferSize, &count, &FReadRecord)) {
      // Done at once, the read may have left more waiting on the device.
      if (!DeliverBlock(count, true)) return false;
      if (count == 0) {
        if (!PostHeld()) return false;
        WaitForSingleObject(FStopSignal, kEmptyReadPauseMs);
      }
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return true;
    // What came before the device failed is delivered ahead of the hang-up notice.
    DeliverBlock(count);
    if (error != ERROR_INVALID_HANDLE) SignalHangup();
    return false;
  }
}

void TReadThread::DeliverCutShort() {
  // Bytes the read already holds were taken from the device: the close ends their block early
  // rather than losing them. The abort completes the read with what it got.
  PurgeComm(FPortHandle, PURGE_RXABORT);
  DWORD count = 0;
  GetOverlappedResult(FPortHandle, &FReadRecord, &count, FALSE);
  DeliverBlock(count);
}

bool TReadThread::FinishRead() {
  DWORD count = 0;
  if (!GetOverlappedResult(FPortHandle, &FReadRecord, &count, FALSE)) {
    const DWORD error = GetLastError();
    DeliverBlock(count);
    if (error != ERROR_INVALID_HANDLE) SignalHangup();
    return false;
  }
  // The next read starts at once and the block goes before it waits, with any it finds waiting.
  return DeliverBlock(count, true);
}

bool TReadThread::DeliverBlock(DWORD count, bool more) {
  // An empty read delivers nothing and keeps reception going.
  if (count == 0) return true;
  // The count of a failed or aborted read comes from its record: never more than the buffer.
  count = std::min<DWORD>(count, kReadBufferSize);
  // Every byte is written here, so the block is not cleared first.
  TLocalBlock block = LocalAlloc(LMEM_FIXED, count + 1);
  if (!block) {
    SignalHangup();
    return false;
  }
  std::memcpy(block.Data(), FBuffer.data(), count);
  block.Data()[count] = 0;
  const LPARAM data = reinterpret_cast<LPARAM>(block.Data());
  FHeld.Hold(CommMsgDataReceived, count, data, std::move(block));
  // Blocks that cannot be posted are freed with the failed post.
  if (more && FHeld.Held() < kMostHeldBlocks) return true;
  return PostHeld();
}

bool TReadThread::StartLineEventWait() {
  for (;;) {
    if (Stopping()) return false;
    if (WaitCommEvent(FPortHandle, &FEventMask, &FLineRecord)) {
      if (!HandleLineEvent(false)) return false;
      continue;
    }
    const DWORD error = GetLastError();
    if (error == ERROR_IO_PENDING) return true;
    if (error != ERROR_INVALID_HANDLE) SignalHangup();
    return false;
  }
}

bool TReadThread::HandleLineEvent(bool checkCompletion) {
  bool answer = false;
  if (checkCompletion) {
    DWORD unused = 0;
    if (!GetOverlappedResult(FPortHandle, &FLineRecord, &unused, FALSE)) {
      if (GetLastError() != ERROR_INVALID_HANDLE) SignalHangup();
      return false;
    }
  }
  if (FEventMask & EV_ERR) {
    DWORD errors = 0;
    if (!ClearCommError(FPortHandle, &errors, nullptr)) {
      if (GetLastError() != ERROR_INVALID_HANDLE) SignalHangup();
      return false;
    }
    if (!Post(CommMsgReceiveError, 0, static_cast<LPARAM>(errors))) {
      SignalHangup();
      return false;
    }
    answer = true;
  }
  const DWORD modem =
      ((FEventMask & EV_RLSD) ? kModemCarrier : 0) | ((FEventMask & EV_RING) ? kModemRing : 0);
  if (modem) {
    if (!Post(CommMsgModemStateChange, 0, static_cast<LPARAM>(modem))) {
      SignalHangup();
      return false;
    }
    answer = true;
  }
  if (!answer) SignalHangup();
  return answer;
}

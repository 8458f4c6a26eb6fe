#include <algorithm>

#include "comm/serialthreads.h"
#include "platform/sync/threadqueue.h"
#include "runtime/lasterror.h"
#include "runtime/localmem.h"

TWriteThread::TWriteThread(HANDLE port, HANDLE stopSignal, HWND notifyWindow, DWORD opening,
                           std::atomic<std::size_t>* pendingBytes, TDrainNotice* drainNotice,
                           std::atomic<std::size_t>* unsentBytes)
    : TThread(true),
      FPortHandle(port),
      FStopSignal(stopSignal),
      FNotifyWindow(notifyWindow),
      FOpening(opening),
      FPendingBytes(pendingBytes),
      FDrainNotice(drainNotice),
      FUnsentBytes(unsentBytes) {}

void TWriteThread::SignalHangup() { PostMessageA(FNotifyWindow, CommMsgRequestHangup, FOpening, 0); }

// Sequentially consistent with the mark: a caller that sets the mark and then finds the count
// above it is sure to be told by this thread.
void TWriteThread::Written(std::size_t bytes) { FPendingBytes->fetch_sub(bytes); }

void TWriteThread::Dropped(std::size_t bytes) {
  FUnsentBytes->fetch_add(bytes);
  Written(bytes);
}

void TWriteThread::EndedEarly(DWORD took, DWORD remaining) {
  took = std::min(took, remaining);
  Written(took);
  Dropped(remaining - took);
}

void TWriteThread::StoppedDuring(DWORD remaining) {
  // The abort completes the write with the count the driver took.
  PurgeComm(FPortHandle, PURGE_TXABORT);
  DWORD took = 0;
  GetOverlappedResult(FPortHandle, &FWriteRecord, &took, FALSE);
  EndedEarly(took, remaining);
}

bool TWriteThread::NoticeIfDrained() {
  return !FDrainNotice->TakeIfReached(*FPendingBytes) ||
         PostMessageA(FNotifyWindow, CommMsgSendDataEmpty, 0, 0);
}

void TWriteThread::Execute() {
  FWriteRecord = OVERLAPPED{};
  FWriteRecord.hEvent = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  if (!FWriteRecord.hEvent) {
    SignalHangup();
  } else {
    bool emptyNotice = true;
    for (;;) {
      MSG msg;
      if (!PeekMessageA(&msg, 0, 0, 0, PM_REMOVE)) {
        const bool told = FDrainNotice->onRequest.load(std::memory_order_relaxed)
                              ? NoticeIfDrained()
                              : !emptyNotice || PostMessageA(FNotifyWindow, CommMsgSendDataEmpty, 0, 0);
        if (!told) {
          SignalHangup();
          break;
        }
        emptyNotice = false;
        const DWORD r = MsgWaitForMultipleObjects(1, &FStopSignal, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        if (r == WAIT_OBJECT_0 + 1) continue;
        SignalHangup();
        break;
      }
      const bool isWrite = msg.message == CommMsgWriteRequest;
      if (WaitForSingleObject(FStopSignal, 0) != WAIT_TIMEOUT) {
        if (isWrite) Dropped(msg.wParam);
        break;
      }
      // Thread messages here are never addressed to a window; anything but a write request is
      // dropped (its block freed with it).
      if (!isWrite) continue;
      const bool ok = WriteBlock(reinterpret_cast<const char*>(msg.lParam), static_cast<DWORD>(msg.wParam));
      LocalFree(msg.Block);
      if (!ok) break;
      emptyNotice = true;
      if (FDrainNotice->onRequest.load(std::memory_order_relaxed) && !NoticeIfDrained()) {
        SignalHangup();
        break;
      }
    }
  }
  // What the driver already took is left to leave the line; Close waits for it.
  PurgeComm(FPortHandle, PURGE_TXABORT);
  // Requests left in the queue are dropped unsent; their blocks go with them.
  MSG left;
  while (PeekMessageA(&left, 0, 0, 0, PM_REMOVE))
    if (left.message == CommMsgWriteRequest) Dropped(left.wParam);
  if (FWriteRecord.hEvent) CloseHandle(FWriteRecord.hEvent);
}

bool TWriteThread::WriteBlock(const char* data, DWORD count) {
  DWORD offset = 0;
  DWORD remaining = count;
  auto lose = [&] {
    Dropped(remaining);
    return false;
  };
  while (remaining > 0) {
    DWORD written = 0;
    if (!WriteFile(FPortHandle, data + offset, remaining, &written, &FWriteRecord)) {
      const DWORD error = GetLastError();
      if (error == ERROR_INVALID_HANDLE) return lose();
      if (error != ERROR_IO_PENDING) {
        SignalHangup();
        return lose();
      }
      const HANDLE list[2] = {FStopSignal, FWriteRecord.hEvent};
      const DWORD r = WaitForMultipleObjects(2, list, FALSE, INFINITE);
      if (r == WAIT_OBJECT_0) {
        StoppedDuring(remaining);
        return false;
      }
      if (r != WAIT_OBJECT_0 + 1) {
        SignalHangup();
        return lose();
      }
      if (!GetOverlappedResult(FPortHandle, &FWriteRecord, &written, TRUE)) {
        if (GetLastError() != ERROR_INVALID_HANDLE) SignalHangup();
        // What the device took before it failed is not counted as dropped.
        EndedEarly(written, remaining);
        return false;
      }
    }
    remaining -= written;
    offset += written;
    Written(written);
  }
  return true;
}

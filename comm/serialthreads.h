// The receive and transmit threads of TSerialPort. Each gets the port, the stop event, the
// notification window and the number of the opening before it starts and only reads them; they
// hand everything to the UI thread by posting and never wait for it. A hang-up notice carries the
// opening's number, so a notice that arrives after its port was closed is known as stale.
#pragma once
#include <array>
#include <atomic>
#include <cstddef>

#include "comm/serialtypes.h"
#include "platform/serial/comm.h"
#include "platform/sync/messages.h"
#include "platform/sync/thread.h"

class TReadThread final : public TThread {
 public:
  TReadThread(HANDLE port, HANDLE stopSignal, HWND notifyWindow, DWORD opening);
  ~TReadThread() override { Finish(); }

 protected:
  void Execute() override;

 private:
  bool StartRead();
  bool FinishRead();
  // `more` says bytes may be waiting behind this block: it is held to go with the next ones.
  bool DeliverBlock(DWORD count, bool more = false);
  bool PostHeld();
  bool Post(UINT msg, WPARAM wParam, LPARAM lParam);
  void DeliverCutShort();
  bool StartLineEventWait();
  bool HandleLineEvent(bool checkCompletion);
  void SignalHangup();
  bool Stopping();

  const HANDLE FPortHandle;
  const HANDLE FStopSignal;
  const DWORD FOpening;
  std::array<char, kReadBufferSize> FBuffer{};
  DWORD FEventMask = 0;
  OVERLAPPED FReadRecord{};
  OVERLAPPED FLineRecord{};
  TPostBatch FHeld;
};

class TWriteThread final : public TThread {
 public:
  // `pendingBytes` counts bytes queued and not yet sent; the thread takes off what the device has
  // sent or what it drops, and adds what it drops to `unsentBytes`.
  TWriteThread(HANDLE port, HANDLE stopSignal, HWND notifyWindow, DWORD opening,
               std::atomic<std::size_t>* pendingBytes, TDrainNotice* drainNotice,
               std::atomic<std::size_t>* unsentBytes);
  ~TWriteThread() override { Finish(); }

 protected:
  void Execute() override;

 private:
  bool WriteBlock(const char* data, DWORD count);
  void SignalHangup();
  void Written(std::size_t bytes);
  void Dropped(std::size_t bytes);
  // A write that ended before all of it went: what the device took counts as written (the close
  // sends what the driver still holds), the rest as dropped.
  void EndedEarly(DWORD took, DWORD remaining);
  // A write ended by the stop.
  void StoppedDuring(DWORD remaining);
  // The drain notice asked for, once the pending bytes are down to its mark; false when it
  // could not be posted.
  bool NoticeIfDrained();

  const HANDLE FPortHandle;
  const HANDLE FStopSignal;
  const HWND FNotifyWindow;
  const DWORD FOpening;
  std::atomic<std::size_t>* const FPendingBytes;
  TDrainNotice* const FDrainNotice;
  std::atomic<std::size_t>* const FUnsentBytes;
  OVERLAPPED FWriteRecord{};
};

#include "comm/serialport.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "comm/serialthreads.h"
#include "platform/sync/messages.h"
#include "platform/sync/threadqueue.h"
#include "runtime/lasterror.h"
#include "runtime/localmem.h"

namespace {
// The component's messages, GB18030 bytes.
const char kAlreadyOpen[] = "\xb4\xcb\xb4\xae\xbf\xda\xd2\xd1\xbe\xad\xb4\xf2\xbf\xaa";  // 此串口已经打开
const char kOpenFailed[] =
    "\xb4\xf2\xbf\xaa\xb4\xae\xbf\xda\xb3\xf6\xb4\xed"  // 打开串口出错
    "\r\n"
    "\xb4\xcb\xb4\xae\xbf\xda\xb2\xbb\xb4\xe6\xd4\xda\xbb\xf2\xb1\xbb\xd5\xbc\xd3\xc3";  // 此串口不存在或被占用
const char kQueuesFailed[] =
    "\xb3\xf5\xca\xbc\xbb\xaf\xbb\xba\xb3\xe5\xc7\xf8\xb3\xf6\xb4\xed";  // 初始化缓冲区出错
const char kSettingsRefused[] =
    "\xc9\xe8\xd6\xc3\xb4\xae\xbf\xda\xb2\xce\xca\xfd\xb3\xf6\xb4\xed";      // 设置串口参数出错
const char kNoEvent[] = "\xce\xde\xb7\xa8\xb4\xb4\xbd\xa8\xca\xc2\xbc\xfe";  // 无法创建事件
const char kNoReader[] = "\xce\xde\xb7\xa8\xb4\xb4\xbd\xa8\xb6\xc1\xcf\xdf\xb3\xcc";  // 无法创建读线程
const char kNoWriter[] = "\xce\xde\xb7\xa8\xb4\xb4\xbd\xa8\xd0\xb4\xcf\xdf\xb3\xcc";  // 无法创建写线程

constexpr DWORD kQueueSize = 4096;
constexpr DWORD kFirstStopWaitMs = 10'000;
}  // namespace

TSerialPort::TSerialPort(TObject*, bool designing) {
  if (!designing) {
    FNotifyWindowObject = std::make_unique<TMessageWindow>([this](TMessage& m) { HandleNotification(m); });
    FNotifyWindow = FNotifyWindowObject->Handle();
  }
}

TSerialPort::~TSerialPort() {
  Close();
  FNotifyWindowObject.reset();
}

void TSerialPort::Release(HANDLE& handle) {
  if (handle) CloseHandle(handle);
  handle = 0;
}

void TSerialPort::Open() {
  if (FPortHandle) throw ESerialError(kAlreadyOpen);
  const std::string path = "\\\\.\\" + FCommName;
  HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, 0);
  if (port == INVALID_HANDLE_VALUE) throw ESerialError(kOpenFailed, LastErrorCause());
  if (!SetupComm(port, kQueueSize, kQueueSize)) {
    TPlatformError cause = LastErrorCause();
    CloseHandle(port);
    throw ESerialError(kQueuesFailed, std::move(cause));
  }
  FPortHandle = port;
  PurgeComm(FPortHandle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  ApplyTimeoutSettings();
  // A port that would run with other settings than asked (a driver that refused or changed the
  // framing) is not reported open: the far end would see garbage.
  if (!ApplyLineSettings()) {
    TPlatformError cause = LastErrorCause();
    Release(FPortHandle);
    throw ESerialError(kSettingsRefused, std::move(cause));
  }

  FStopSignal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!FStopSignal) {
    Release(FPortHandle);
    throw ESerialError(kNoEvent);
  }
  ++FOpening;
  FUnsentBytes.store(0, std::memory_order_relaxed);
  try {
    FReceiver = std::make_unique<TReadThread>(FPortHandle, FStopSignal, FNotifyWindow, FOpening);
  } catch (...) {
    FReceiver.reset();
    Release(FStopSignal);
    Release(FPortHandle);
    throw ESerialError(kNoReader);
  }
  FReceiver->SetPriority(THREAD_PRIORITY_HIGHEST);
  try {
    FTransmitter = std::make_unique<TWriteThread>(FPortHandle, FStopSignal, FNotifyWindow, FOpening,
                                                  &FPendingBytes, &FDrainNotice, &FUnsentBytes);
  } catch (...) {
    StopReceiveThread();
    FTransmitter.reset();
    Release(FStopSignal);
    Release(FPortHandle);
    throw ESerialError(kNoWriter);
  }
  FTransmitter->SetPriority(THREAD_PRIORITY_ABOVE_NORMAL);
  FReceiver->Resume();
  FTransmitter->Resume();
}

void TSerialPort::Close() { CloseWithin(std::chrono::milliseconds::max()); }

void TSerialPort::CloseWithin(std::chrono::milliseconds drain) {
  if (!FPortHandle) return;
  StopReceiveThread();
  StopTransmitThread();
  // Whatever the bound left behind goes now: closing must not wait for the driver's own closing
  // time (up to 30 s on a UART whose CTS is low).
  DWORD left = 0;
  if (!DrainOutput(left, drain)) {
    // Looked at again just before the purge: the line may have sent more since the last look.
    COMSTAT status;
    if (ClearCommError(FPortHandle, nullptr, &status)) left = status.cbOutQue;
    PurgeComm(FPortHandle, PURGE_TXCLEAR);
    FUnsentBytes.fetch_add(left);
  }
  Release(FStopSignal);
  Release(FPortHandle);
  FPendingBytes.store(0, std::memory_order_relaxed);
}

bool TSerialPort::DrainOutput(DWORD& left, std::chrono::milliseconds limit) {
  // Bytes the driver has taken were counted as sent by nobody yet; they leave the line before the
  // port closes, as long as the line keeps moving and within twice the time it needs for them.
  using namespace std::chrono;
  COMSTAT status;
  if (!ClearCommError(FPortHandle, nullptr, &status)) return false;
  static constexpr int kBits[] = {5, 6, 7, 8};
  const int bits = 1 + kBits[static_cast<int>(FByteSize)] + (FParity != TParity::None) +
                   (FStopBits == TStopBits::_1 ? 1 : 2);
  const auto charTime = nanoseconds(1'000'000'000ll * bits / std::max<DWORD>(FBaudRate, 1) + 1);
  const auto start = steady_clock::now();
  const auto lineTime = charTime * status.cbOutQue * 2 + milliseconds(500);
  // Compared in milliseconds: the unbounded limit does not fit the clock's unit.
  const auto end = limit < duration_cast<milliseconds>(lineTime) ? start + limit : start + lineTime;
  // A UART's FIFO takes 16 characters at a time: the queue may look still for that long.
  const auto still = std::max<steady_clock::duration>(milliseconds(250), charTime * 32);
  DWORD last = status.cbOutQue;
  auto moved = start;
  while (status.cbOutQue > 0) {
    left = status.cbOutQue;
    const auto now = steady_clock::now();
    if (now >= end || now - moved >= still) return false;
    std::this_thread::sleep_for(std::clamp<steady_clock::duration>(charTime * status.cbOutQue / 2,
                                                                   milliseconds(1), milliseconds(20)));
    if (!ClearCommError(FPortHandle, nullptr, &status)) return false;
    if (status.cbOutQue < last) moved = steady_clock::now();
    last = status.cbOutQue;
  }
  return true;
}

void TSerialPort::StopReceiveThread() {
  if (!FReceiver) return;
  SetEvent(FStopSignal);
  PurgeComm(FPortHandle, PURGE_RXABORT | PURGE_RXCLEAR);
  // A thread that never started has nothing to wait for: releasing it starts it, it sees the
  // stop signal and ends.
  if (FReceiver->Started() && !FReceiver->WaitFor(kFirstStopWaitMs)) FReceiver->Terminate();
  FReceiver.reset();  // waits for the end, however long
}

void TSerialPort::StopTransmitThread() {
  if (!FTransmitter) return;
  SetEvent(FStopSignal);
  // The write in progress ends; what the driver already took stays for DrainOutput.
  PurgeComm(FPortHandle, PURGE_TXABORT);
  if (FTransmitter->Started() && !FTransmitter->WaitFor(kFirstStopWaitMs)) FTransmitter->Terminate();
  FTransmitter.reset();
}

bool TSerialPort::WriteData(const void* data, WORD count) {
  if (!FTransmitter || count == 0 || !data) return false;
  // Every byte is written here, so the block is not cleared first.
  TLocalBlock block = LocalAlloc(LMEM_FIXED, std::size_t{count} + 1);
  if (!block) return false;
  std::memcpy(block.Data(), data, count);
  block.Data()[count] = 0;
  const LPARAM bytes = reinterpret_cast<LPARAM>(block.Data());
  // Counted before posting, so the thread can never take off more than was added.
  FPendingBytes.fetch_add(count, std::memory_order_relaxed);
  if (!PostThreadMessageA(FTransmitter->ThreadID(), CommMsgWriteRequest, count, bytes, std::move(block))) {
    FPendingBytes.fetch_sub(count, std::memory_order_relaxed);
    return false;
  }
  return true;
}

void TSerialPort::RequestSendEmpty(std::size_t bytes) {
  FDrainNotice.at.store(bytes);
  // The transmit thread looks at the mark after it takes off what it sent; a queue that came
  // down before the mark was set is seen here.
  if (FDrainNotice.TakeIfReached(FPendingBytes)) PostMessageA(FNotifyWindow, CommMsgSendDataEmpty, 0, 0);
}

void TSerialPort::HandleNotification(TMessage& m) {
  switch (m.Msg) {
    case CommMsgDataReceived:
      OnReceiveData(this, reinterpret_cast<void*>(m.LParam), static_cast<WORD>(m.WParam));
      // Released after the handler, also when none is assigned (and, through the message, when
      // the handler throws).
      LocalFree(m.Block);
      break;
    case CommMsgReceiveError:
      OnReceiveError(this, static_cast<DWORD>(m.LParam));
      break;
    case CommMsgRequestHangup:
      // A notice from an opening that has been closed since (the operator closed the port, or
      // the console already reacted to an earlier notice) describes a port that is gone.
      if (FPortHandle && static_cast<DWORD>(m.WParam) == FOpening) OnRequestHangup(this);
      break;
    case CommMsgModemStateChange:
      OnModemStateChange(this, static_cast<DWORD>(m.LParam));
      break;
    case CommMsgSendDataEmpty:
      OnSendDataEmpty(this);
      break;
    default:
      break;
  }
}

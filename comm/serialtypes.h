// Types shared by TSerialPort and its threads: enumerations, events, notification numbers and
// the component's exception.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/sync/messages.h"
#include "runtime/errorvalue.h"
#include "runtime/object.h"

enum class TByteSize : std::uint8_t { _5, _6, _7, _8 };
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };
enum class TStopBits : std::uint8_t { _1, _1_5, _2 };
enum class TDtrControl : std::uint8_t { DtrEnable, DtrDisable, DtrHandshake };
enum class TRtsControl : std::uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

using TReceiveDataEvent = TMethod<void(TObject* Sender, void* Buffer, WORD BufferLength)>;
using TReceiveErrorEvent = TMethod<void(TObject* Sender, DWORD EventMask)>;
using TModemStateChangeEvent = TMethod<void(TObject* Sender, DWORD ModemEvent)>;
using TSendDataEmptyEvent = TMethod<void(TObject* Sender)>;

// Posted to the component's notification window.
inline constexpr UINT CommMsgDataReceived = WM_USER + 1;
inline constexpr UINT CommMsgReceiveError = WM_USER + 2;
inline constexpr UINT CommMsgRequestHangup = WM_USER + 3;
inline constexpr UINT CommMsgModemStateChange = WM_USER + 4;
inline constexpr UINT CommMsgSendDataEmpty = WM_USER + 5;
// Posted to the transmit thread's queue.
inline constexpr UINT CommMsgWriteRequest = WM_USER + 1;

// When the transmit thread tells that its queue drained: every time it runs empty (the default),
// or, on request, once the bytes still to send have come down to the mark asked for.
struct TDrainNotice {
  static constexpr std::size_t None = static_cast<std::size_t>(-1);
  std::atomic<bool> onRequest{false};
  std::atomic<std::size_t> at{None};

  // Takes the mark once `pending` is down to it: true for the one caller that is to tell.
  // Sequentially consistent, so of a thread that sets the mark and one that lowers the count,
  // both checking after, at least one sees the other.
  bool TakeIfReached(const std::atomic<std::size_t>& pending) {
    std::size_t mark = at.load();
    if (mark == None || pending.load() > mark) return false;
    return at.compare_exchange_strong(mark, None);
  }
};

// The size of one read, and so the largest received block.
inline constexpr DWORD kReadBufferSize = 4096;

// Carries the failure behind it (the device's errno, a lock's holder, a refused setting).
class ESerialError : public ECausedError {
 public:
  using ECausedError::ECausedError;
};

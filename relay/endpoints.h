// What the console uses of its two ends. The window talks to the serial port and the client
// socket only through these, so it runs the same against the real components (through the
// adapters) and against the doubles of the tests.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/object.h"

namespace endpoint {

enum class TByteSize { _5, _6, _7, _8 };
enum class TParity { None, Odd, Even, Mark, Space };
enum class TStopBits { _1, _1_5, _2 };

// Buffer is valid only during the call.
using TReceiveDataEvent = TMethod<void(TObject* Sender, const void* Buffer, std::uint16_t BufferLength)>;

class TSerialEndpoint : public TObject {
 public:
  // Raises on any failure; when already open the port stays open, otherwise it is left closed.
  virtual void Open() = 0;
  // Returns once reception and transmission have stopped; does nothing when closed; never raises.
  virtual void Close() = 0;
  // Close, waiting at most `drain` for what the driver still holds to leave the line.
  virtual void CloseWithin(std::chrono::milliseconds drain) = 0;
  // Copies and queues; true means queued, not sent. False when closed, for 0 bytes, or when
  // the request cannot be queued.
  virtual bool WriteData(const void* data, std::uint16_t count) = 0;
  // Bytes queued by WriteData and not yet written to the line.
  virtual std::size_t PendingWriteBytes() const = 0;
  // Bytes queued by WriteData since the last Open that never reach the line (dropped by Close,
  // lost to a failed write).
  virtual std::size_t UnsentBytes() const = 0;
  // Asks for one OnSendDataEmpty once no more than `bytes` are pending (at once if so now).
  virtual void NotifyWhenPendingAtMost(std::size_t bytes) = 0;

  virtual std::string CommName() const = 0;
  virtual void SetCommName(const std::string& name) = 0;
  virtual std::uint32_t BaudRate() const = 0;
  virtual void SetBaudRate(std::uint32_t rate) = 0;
  virtual TByteSize ByteSize() const = 0;
  virtual void SetByteSize(TByteSize size) = 0;
  virtual TParity Parity() const = 0;
  virtual void SetParity(TParity parity) = 0;
  virtual TStopBits StopBits() const = 0;
  virtual void SetStopBits(TStopBits bits) = 0;
  virtual std::uint32_t ReadIntervalTimeout() const = 0;
  virtual void SetReadIntervalTimeout(std::uint32_t ms) = 0;
  // XOFF/XON sent to the device as the input buffer fills and drains; an open port takes it at once.
  virtual bool InxXonXoffFlow() const = 0;
  virtual void SetInxXonXoffFlow(bool on) = 0;

  TReceiveDataEvent OnReceiveData;
  // The device failed or went away under an open port: both threads have ended.
  TNotifyEvent OnRequestHangup;
  // The pending bytes came down to the mark asked for by NotifyWhenPendingAtMost.
  TNotifyEvent OnSendDataEmpty;
};

// The socket object handed to every socket event.
class TSocketEndpoint {
 public:
  virtual ~TSocketEndpoint() = default;
  // Bytes accepted, 0 when not connected, -1 when nothing was sent. Keeps nothing.
  virtual int SendText(const std::string& text) = 0;
  // Everything waiting now, possibly empty. Never waits.
  virtual std::string ReceiveText() = 0;
  // How many bytes wait to be received, without taking them.
  virtual std::size_t ReceiveLength() = 0;
};

enum class TErrorEvent { eeGeneral, eeSend, eeReceive, eeConnect, eeDisconnect, eeAccept, eeLookup };

using TSocketNotifyEvent = TMethod<void(TObject* Sender, TSocketEndpoint* Socket)>;
using TSocketErrorEvent =
    TMethod<void(TObject* Sender, TSocketEndpoint* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;

class TTcpEndpoint : public TObject {
 public:
  virtual std::string Host() const = 0;
  // Both raise when the value changes while Active.
  virtual void SetHost(const std::string& host) = 0;
  virtual std::int32_t Port() const = 0;
  virtual void SetPort(std::int32_t port) = 0;
  virtual bool Active() const = 0;
  virtual void SetActive(bool active) = 0;
  // A connect (or the name look-up before it) is under way; Active is false meanwhile.
  virtual bool Connecting() const = 0;
  // Gives that attempt up, with OnDisconnect; does nothing otherwise.
  virtual void CancelConnect() = 0;
  virtual TSocketEndpoint* Socket() = 0;

  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;
  TSocketNotifyEvent OnRead;
  // The socket has room again after a send that would have blocked.
  TSocketNotifyEvent OnWrite;
  TSocketErrorEvent OnError;
};

}  // namespace endpoint

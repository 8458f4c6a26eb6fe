// TSerialPort: one serial port, with a receive thread that hands every received block to the UI
// thread and a transmit thread fed by a queue of write requests. Open, Close, WriteData, the
// setters and every event run on the UI thread.
#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

#include "comm/serialtypes.h"
#include "platform/serial/comm.h"

class TReadThread;
class TWriteThread;
class TMessageWindow;

class TSerialPort : public TObject {
 public:
  // A component created for design only gets no notification window.
  explicit TSerialPort(TObject* owner = nullptr, bool designing = false);
  // Closes the port if the owner left it open: the threads must not outlive the component.
  ~TSerialPort() override;

  // Raises ESerialError; on any failure but "already open" the component is left closed.
  void Open();
  // Returns once both threads have ended and what the driver held has left the line (within the
  // time the line needs for it). Bytes of a block not yet ended by the interval still come, as
  // one last OnReceiveData after the close. Does nothing when closed.
  void Close();
  // Close, waiting at most `drain` for what the driver holds (a stop with a bound of its own).
  void CloseWithin(std::chrono::milliseconds drain);
  // Copies and queues the bytes; true means queued, not sent.
  bool WriteData(const void* data, WORD count);
  // Serves flow control: bytes accepted by WriteData and not yet sent by the device (or dropped),
  // the driver's queue included, so a caller can stop feeding while the line is far behind.
  std::size_t PendingWriteBytes() const { return FPendingBytes.load(std::memory_order_relaxed); }
  // Bytes accepted by WriteData since the last Open that will never reach the line: dropped by
  // Close (still queued, or left in the driver's queue when it stopped moving) or lost to a
  // failed write. Final once Close has returned.
  std::size_t UnsentBytes() const { return FUnsentBytes.load(std::memory_order_relaxed); }
  // OnSendDataEmpty after every drain of the transmit queue (the default), or only on request:
  // a transmit thread that tells nobody waiting costs no wake-up of the UI thread per block.
  void SetSendEmptyOnRequest(bool onRequest) { FDrainNotice.onRequest = onRequest; }
  // On request: one OnSendDataEmpty once no more than `bytes` are pending (at once if so now).
  void RequestSendEmpty(std::size_t bytes);

  const std::string& CommName() const { return FCommName; }
  void SetCommName(const std::string& v) { FCommName = v; }  // takes effect at the next Open
  DWORD BaudRate() const { return FBaudRate; }
  void SetBaudRate(DWORD v) { SetLine(FBaudRate, v); }
  bool ParityCheck() const { return FParityCheck; }
  void SetParityCheck(bool v) { SetLine(FParityCheck, v); }
  bool Outx_CtsFlow() const { return FOutx_CtsFlow; }
  void SetOutx_CtsFlow(bool v) { SetLine(FOutx_CtsFlow, v); }
  bool Outx_DsrFlow() const { return FOutx_DsrFlow; }
  void SetOutx_DsrFlow(bool v) { SetLine(FOutx_DsrFlow, v); }
  TDtrControl DtrControl() const { return FDtrControl; }
  void SetDtrControl(TDtrControl v) { SetLine(FDtrControl, v); }
  bool DsrSensitivity() const { return FDsrSensitivity; }
  void SetDsrSensitivity(bool v) { SetLine(FDsrSensitivity, v); }
  bool TxContinueOnXoff() const { return FTxContinueOnXoff; }
  void SetTxContinueOnXoff(bool v) { SetLine(FTxContinueOnXoff, v); }
  bool Outx_XonXoffFlow() const { return FOutx_XonXoffFlow; }
  void SetOutx_XonXoffFlow(bool v) { SetLine(FOutx_XonXoffFlow, v); }
  bool Inx_XonXoffFlow() const { return FInx_XonXoffFlow; }
  void SetInx_XonXoffFlow(bool v) { SetLine(FInx_XonXoffFlow, v); }
  bool ReplaceWhenParityError() const { return FReplaceWhenParityError; }
  void SetReplaceWhenParityError(bool v) { SetLine(FReplaceWhenParityError, v); }
  bool IgnoreNullChar() const { return FIgnoreNullChar; }
  void SetIgnoreNullChar(bool v) { SetLine(FIgnoreNullChar, v); }
  TRtsControl RtsControl() const { return FRtsControl; }
  void SetRtsControl(TRtsControl v) { SetLine(FRtsControl, v); }
  WORD XonLimit() const { return FXonLimit; }
  void SetXonLimit(WORD v) { SetLine(FXonLimit, v); }
  WORD XoffLimit() const { return FXoffLimit; }
  void SetXoffLimit(WORD v) { SetLine(FXoffLimit, v); }
  TByteSize ByteSize() const { return FByteSize; }
  void SetByteSize(TByteSize v) { SetLine(FByteSize, v); }
  TParity Parity() const { return FParity; }
  void SetParity(TParity v) { FParity = v; }  // takes effect at the next application of the line
  TStopBits StopBits() const { return FStopBits; }
  void SetStopBits(TStopBits v) { SetLine(FStopBits, v); }
  char XonChar() const { return FXonChar; }
  void SetXonChar(char v) { SetLine(FXonChar, v); }
  char XoffChar() const { return FXoffChar; }
  void SetXoffChar(char v) { SetLine(FXoffChar, v); }
  char ReplacedChar() const { return FReplacedChar; }
  void SetReplacedChar(char v) { SetLine(FReplacedChar, v); }
  DWORD ReadIntervalTimeout() const { return FReadIntervalTimeout; }
  void SetReadIntervalTimeout(DWORD v) { SetTimeout(FReadIntervalTimeout, v); }
  DWORD ReadTotalTimeoutMultiplier() const { return FReadTotalTimeoutMultiplier; }
  void SetReadTotalTimeoutMultiplier(DWORD v) { SetTimeout(FReadTotalTimeoutMultiplier, v); }
  DWORD ReadTotalTimeoutConstant() const { return FReadTotalTimeoutConstant; }
  void SetReadTotalTimeoutConstant(DWORD v) { SetTimeout(FReadTotalTimeoutConstant, v); }
  DWORD WriteTotalTimeoutMultiplier() const { return FWriteTotalTimeoutMultiplier; }
  void SetWriteTotalTimeoutMultiplier(DWORD v) { SetTimeout(FWriteTotalTimeoutMultiplier, v); }
  DWORD WriteTotalTimeoutConstant() const { return FWriteTotalTimeoutConstant; }
  void SetWriteTotalTimeoutConstant(DWORD v) { SetTimeout(FWriteTotalTimeoutConstant, v); }

  // Raised on the UI thread. Buffer is valid only during the call and ends with a zero byte.
  TReceiveDataEvent OnReceiveData;
  TNotifyEvent OnRequestHangup;
  TReceiveErrorEvent OnReceiveError;
  TModemStateChangeEvent OnModemStateChange;
  TSendDataEmptyEvent OnSendDataEmpty;

 private:
  template <class T>
  void SetLine(T& field, T value) {
    if (field == value) return;
    field = value;
    if (FPortHandle) ApplyLineSettings();
  }
  void SetTimeout(DWORD& field, DWORD value) {
    if (field == value) return;
    field = value;
    if (FPortHandle) ApplyTimeoutSettings();
  }
  // False when the device refused or changed the settings (the cause is the last error's).
  bool ApplyLineSettings();
  void ApplyTimeoutSettings();
  void StopReceiveThread();
  void StopTransmitThread();
  // True when the driver's queue ran empty; otherwise `left` is what it last held.
  bool DrainOutput(DWORD& left, std::chrono::milliseconds limit);
  void HandleNotification(TMessage& message);
  void Release(HANDLE& handle);

  std::unique_ptr<TReadThread> FReceiver;
  std::unique_ptr<TWriteThread> FTransmitter;
  HANDLE FPortHandle = 0;
  HANDLE FStopSignal = 0;
  std::unique_ptr<TMessageWindow> FNotifyWindowObject;
  HWND FNotifyWindow = 0;
  std::atomic<std::size_t> FPendingBytes{0};
  std::atomic<std::size_t> FUnsentBytes{0};
  TDrainNotice FDrainNotice;
  DWORD FOpening = 0;  // counts openings; hang-up notices carry it

  std::string FCommName = "COM2";
  DWORD FBaudRate = 9600;
  bool FParityCheck = false;
  bool FOutx_CtsFlow = false;
  bool FOutx_DsrFlow = false;
  TDtrControl FDtrControl = TDtrControl::DtrEnable;
  bool FDsrSensitivity = false;
  bool FTxContinueOnXoff = true;
  bool FOutx_XonXoffFlow = true;
  bool FInx_XonXoffFlow = true;
  bool FReplaceWhenParityError = false;
  bool FIgnoreNullChar = false;
  TRtsControl FRtsControl = TRtsControl::RtsEnable;
  WORD FXonLimit = 500;
  WORD FXoffLimit = 500;
  TByteSize FByteSize = TByteSize::_8;
  TParity FParity = TParity::None;
  TStopBits FStopBits = TStopBits::_1;
  char FXonChar = 17;
  char FXoffChar = 19;
  char FReplacedChar = 0;
  DWORD FReadIntervalTimeout = 100;
  DWORD FReadTotalTimeoutMultiplier = 0;
  DWORD FReadTotalTimeoutConstant = 0;
  DWORD FWriteTotalTimeoutMultiplier = 0;
  DWORD FWriteTotalTimeoutConstant = 0;
};

// The line settings the properties stand for, as a DCB built over `base` (the device's record):
// the flags word is rebuilt from zero.
DCB BuildLineRecord(const TSerialPort& port, const DCB& base);
COMMTIMEOUTS BuildTimeoutRecord(const TSerialPort& port);

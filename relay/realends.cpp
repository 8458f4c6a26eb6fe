// The real ends: the serial port component and the client socket component with the values of
// the window's form resource, behind the contracts the relay core uses.
#include "relay/realends.h"

#include <algorithm>

#include "comm/serialport.h"
#include "socket/tcpclient.h"

namespace {

// TSerialPort with the window's resource values, seen through the console's contract.
class TSerialPortEnd : public endpoint::TSerialEndpoint {
 public:
  TSerialPortEnd() {
    FPort.SetCommName("COM1");
    FPort.SetBaudRate(9600);
    FPort.SetParityCheck(false);
    FPort.SetOutx_CtsFlow(false);
    FPort.SetOutx_DsrFlow(false);
    FPort.SetDtrControl(TDtrControl::DtrEnable);
    FPort.SetDsrSensitivity(false);
    FPort.SetTxContinueOnXoff(true);
    FPort.SetOutx_XonXoffFlow(false);
    FPort.SetInx_XonXoffFlow(true);
    FPort.SetReplaceWhenParityError(false);
    FPort.SetIgnoreNullChar(false);
    FPort.SetRtsControl(TRtsControl::RtsEnable);
    FPort.SetXonLimit(500);
    FPort.SetXoffLimit(500);
    FPort.SetByteSize(TByteSize::_8);
    FPort.SetParity(TParity::None);
    FPort.SetStopBits(TStopBits::_1);
    FPort.SetXonChar(0x11);
    FPort.SetXoffChar(0x13);
    FPort.SetReplacedChar(0x00);
    FPort.SetReadIntervalTimeout(100);
    FPort.SetReadTotalTimeoutMultiplier(0);
    FPort.SetReadTotalTimeoutConstant(0);
    FPort.SetWriteTotalTimeoutMultiplier(0);
    FPort.SetWriteTotalTimeoutConstant(0);
    FPort.OnReceiveData = ::TReceiveDataEvent(this, &TSerialPortEnd::ReceiveData);
    FPort.OnRequestHangup = TNotifyEvent(this, &TSerialPortEnd::RequestHangup);
    FPort.OnSendDataEmpty = TSendDataEmptyEvent(this, &TSerialPortEnd::SendDataEmpty);
    FPort.SetSendEmptyOnRequest(true);
  }

  void Open() override { FPort.Open(); }
  void Close() override { FPort.Close(); }
  void CloseWithin(std::chrono::milliseconds drain) override { FPort.CloseWithin(drain); }
  bool WriteData(const void* data, std::uint16_t count) override { return FPort.WriteData(data, count); }
  std::size_t PendingWriteBytes() const override { return FPort.PendingWriteBytes(); }
  std::size_t UnsentBytes() const override { return FPort.UnsentBytes(); }
  void NotifyWhenPendingAtMost(std::size_t bytes) override { FPort.RequestSendEmpty(bytes); }

  std::string CommName() const override { return FPort.CommName(); }
  void SetCommName(const std::string& v) override { FPort.SetCommName(v); }
  std::uint32_t BaudRate() const override { return FPort.BaudRate(); }
  void SetBaudRate(std::uint32_t v) override { FPort.SetBaudRate(v); }
  endpoint::TByteSize ByteSize() const override { return endpoint::TByteSize(int(FPort.ByteSize())); }
  void SetByteSize(endpoint::TByteSize v) override { FPort.SetByteSize(::TByteSize(int(v))); }
  endpoint::TParity Parity() const override { return endpoint::TParity(int(FPort.Parity())); }
  void SetParity(endpoint::TParity v) override { FPort.SetParity(::TParity(int(v))); }
  endpoint::TStopBits StopBits() const override { return endpoint::TStopBits(int(FPort.StopBits())); }
  void SetStopBits(endpoint::TStopBits v) override { FPort.SetStopBits(::TStopBits(int(v))); }
  std::uint32_t ReadIntervalTimeout() const override { return FPort.ReadIntervalTimeout(); }
  void SetReadIntervalTimeout(std::uint32_t v) override { FPort.SetReadIntervalTimeout(v); }
  bool InxXonXoffFlow() const override { return FPort.Inx_XonXoffFlow(); }
  void SetInxXonXoffFlow(bool v) override { FPort.SetInx_XonXoffFlow(v); }

 private:
  void ReceiveData(TObject*, void* buffer, WORD length) { OnReceiveData(this, buffer, length); }
  void RequestHangup(TObject*) { OnRequestHangup(this); }
  void SendDataEmpty(TObject*) { OnSendDataEmpty(this); }

  TSerialPort FPort;
};

class TSocketObjectEnd : public endpoint::TSocketEndpoint {
 public:
  explicit TSocketObjectEnd(TAsyncClientSocket* socket) : FSocket(socket) {}
  int SendText(const std::string& text) override { return FSocket->SendText(text); }
  std::string ReceiveText() override { return FSocket->ReceiveText(); }
  std::size_t ReceiveLength() override { return std::size_t(std::max(FSocket->ReceiveBuf(nullptr, -1), 0)); }

 private:
  TAsyncClientSocket* FSocket;
};

// TTcpClient with the window's resource values, seen through the console's contract.
class TTcpClientEnd : public endpoint::TTcpEndpoint {
 public:
  TTcpClientEnd() : FSocketEnd(FClient.Socket()) {
    FClient.SetClientType(ctNonBlocking);
    FClient.SetPort(0);
    FClient.OnConnect = ::TSocketNotifyEvent(this, &TTcpClientEnd::Connect);
    FClient.OnDisconnect = ::TSocketNotifyEvent(this, &TTcpClientEnd::Disconnect);
    FClient.OnRead = ::TSocketNotifyEvent(this, &TTcpClientEnd::Read);
    FClient.OnWrite = ::TSocketNotifyEvent(this, &TTcpClientEnd::Write);
    FClient.OnError = ::TSocketErrorEvent(this, &TTcpClientEnd::Error);
  }

  std::string Host() const override { return FClient.Host(); }
  void SetHost(const std::string& v) override { FClient.SetHost(v); }
  std::int32_t Port() const override { return FClient.Port(); }
  void SetPort(std::int32_t v) override { FClient.SetPort(v); }
  bool Active() const override { return FClient.Active(); }
  void SetActive(bool v) override { FClient.SetActive(v); }
  bool Connecting() const override { return FClient.Opening(); }
  void CancelConnect() override { FClient.AbandonOpen(); }
  endpoint::TSocketEndpoint* Socket() override { return &FSocketEnd; }

 private:
  void Connect(TObject*, TAsyncSocket*) { OnConnect(this, &FSocketEnd); }
  void Disconnect(TObject*, TAsyncSocket*) { OnDisconnect(this, &FSocketEnd); }
  void Read(TObject*, TAsyncSocket*) { OnRead(this, &FSocketEnd); }
  void Write(TObject*, TAsyncSocket*) { OnWrite(this, &FSocketEnd); }
  void Error(TObject*, TAsyncSocket*, ::TErrorEvent kind, int& code) {
    OnError(this, &FSocketEnd, endpoint::TErrorEvent(int(kind)), code);
  }

  TTcpClient FClient;
  TSocketObjectEnd FSocketEnd;
};

}  // namespace

std::unique_ptr<endpoint::TSerialEndpoint> MakeSerialPortEnd() { return std::make_unique<TSerialPortEnd>(); }

std::unique_ptr<endpoint::TTcpEndpoint> MakeTcpClientEnd() { return std::make_unique<TTcpClientEnd>(); }

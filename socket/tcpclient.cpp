#include "socket/tcpclient.h"

#include <algorithm>

#include "platform/text/textcase.h"
#include "socket/socketerror.h"

void TSocketComponentBase::SetActive(bool value) {
  if (value == active_) return;
  if (designing_ || loading_) active_ = value;
  if (!loading_) ApplyActive(value);
}

void TSocketComponentBase::Loaded() {
  loading_ = false;
  // Active follows the connect and disconnect events only: a stored true starts an open and
  // reads false until OnConnect, as an assignment at run time does.
  if (active_ && !designing_) {
    active_ = false;
    ApplyActive(true);
  }
}

void TSocketComponentBase::Guard(std::string& field, const std::string& value) {
  if (SameTextIgnoreCase(field, value)) return;
  if (!loading_ && active_) throw ESocketError(SocketResourceString(SCantChangeWhileActive));
  field = value;
}

void TSocketComponentBase::SetAddress(const std::string& value) { Guard(address_, value); }
void TSocketComponentBase::SetHost(const std::string& value) { Guard(host_, value); }
void TSocketComponentBase::SetService(const std::string& value) { Guard(service_, value); }

void TSocketComponentBase::SetPort(int value) {
  if (value == port_) return;
  if (!loading_ && active_) throw ESocketError(SocketResourceString(SCantChangeWhileActive));
  port_ = value;
}

void TSocketComponent::DispatchSocketEvent(TAsyncSocket* Socket, TSocketEventKind kind) {
  switch (kind) {
    case skLookup:
      OnLookup(this, Socket);
      break;
    case skConnecting:
      OnConnecting(this, Socket);
      break;
    case skConnect:
      StoreActive(true);
      OnConnect(this, Socket);
      break;
    case skDisconnect:
      StoreActive(false);
      OnDisconnect(this, Socket);
      break;
    case skListen:
      StoreActive(true);
      listenHook_(this, Socket);
      break;
    case skAccept:
      acceptHook_(this, Socket);
      break;
    case skWrite:
      OnWrite(this, Socket);
      break;
    case skRead:
      OnRead(this, Socket);
      break;
  }
}

void TSocketComponent::DispatchErrorEvent(TAsyncSocket* Socket, TErrorEvent kind, int& code) {
  OnError(this, Socket, kind, code);
}

TTcpClient::TTcpClient(TObject* owner)
    : TSocketComponent(owner), socket_(std::make_unique<TAsyncClientSocket>()) {
  socket_->SetEventHook(TSocketEventHook(this, &TTcpClient::SocketEvent));
  socket_->SetErrorHook(TSocketErrorHook(this, &TTcpClient::SocketError));
}

TTcpClient::~TTcpClient() { socket_.reset(); }

void TTcpClient::ApplyActive(bool value) {
  if (value == socket_->Connected() || Designing()) return;
  if (socket_->Connected())
    socket_->CloseConnection(socket_->SocketHandle());
  else
    socket_->OpenConnection(Host(), Address(), Service(), std::uint16_t(Port() & 0xFFFF),
                            ClientType() == ctBlocking);
}

void TTcpClient::SocketEvent(TAsyncSocket*, TAsyncSocket* Socket, TSocketEventKind kind) {
  DispatchSocketEvent(Socket, kind);
}

void TTcpClient::SocketError(TAsyncSocket*, TAsyncSocket* Socket, TErrorEvent kind, int& code) {
  DispatchErrorEvent(Socket, kind, code);
}

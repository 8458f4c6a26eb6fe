// The client socket component: a thin front over its socket object, with the published
// properties and event properties that a form resource stores.
#pragma once
#include <memory>
#include <string>

#include "runtime/object.h"
#include "socket/asyncsocket.h"
#include "socket/socketerror.h"

class TSocketComponentBase : public TObject {
 public:
  explicit TSocketComponentBase(TObject* owner = nullptr) : owner_(owner) {}

  TObject* Owner() const { return owner_; }

  // True from OnConnect until OnDisconnect. Writing true starts an open and returns; writing
  // false while connected closes before returning.
  bool Active() const { return active_; }
  void SetActive(bool value);

  // Host names and addresses compare without regard to ASCII letter case; a different value
  // while active raises ESocketError and keeps the old one.
  const std::string& Address() const { return address_; }
  void SetAddress(const std::string& value);
  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value);
  const std::string& Service() const { return service_; }
  void SetService(const std::string& value);
  int Port() const { return port_; }  // only the low 16 bits are used when opening
  void SetPort(int value);

  // Reading from a form resource: between BeginLoading and Loaded the properties are only
  // stored; Loaded then opens when Active was stored as true.
  void BeginLoading() { loading_ = true; }
  void Loaded();
  bool Loading() const { return loading_; }
  void SetDesigning(bool value) { designing_ = value; }
  bool Designing() const { return designing_; }

  virtual void DispatchSocketEvent(TAsyncSocket* Socket, TSocketEventKind kind) = 0;
  virtual void DispatchErrorEvent(TAsyncSocket* Socket, TErrorEvent kind, int& code) = 0;

 protected:
  virtual void ApplyActive(bool value) = 0;
  void StoreActive(bool value) { active_ = value; }

 private:
  void Guard(std::string& field, const std::string& value);

  TObject* owner_;
  bool loading_ = false;
  bool designing_ = false;
  bool active_ = false;
  int port_ = 0;
  std::string address_;
  std::string host_;
  std::string service_;
};

class TSocketComponent : public TSocketComponentBase {
 public:
  using TSocketComponentBase::TSocketComponentBase;

  TSocketNotifyEvent OnLookup;
  TSocketNotifyEvent OnConnecting;
  TSocketNotifyEvent OnConnect;
  TSocketNotifyEvent OnDisconnect;
  TSocketNotifyEvent OnRead;
  TSocketNotifyEvent OnWrite;
  TSocketErrorEvent OnError;

  void DispatchSocketEvent(TAsyncSocket* Socket, TSocketEventKind kind) override;
  void DispatchErrorEvent(TAsyncSocket* Socket, TErrorEvent kind, int& code) override;

 protected:
  // Listening and accepting exist for servers; a client never raises them.
  TSocketNotifyEvent listenHook_;
  TSocketNotifyEvent acceptHook_;
};

class TTcpClient : public TSocketComponent {
 public:
  explicit TTcpClient(TObject* owner = nullptr);
  ~TTcpClient() override;

  TAsyncClientSocket* Socket() const { return socket_.get(); }
  TClientType ClientType() const { return socket_->ClientType(); }
  void SetClientType(TClientType value) { socket_->SetClientType(value); }
  // An open is looking up or connecting; Active is false meanwhile.
  bool Opening() const { return socket_->Opening(); }
  // Gives up such an open, with OnDisconnect; does nothing otherwise.
  void AbandonOpen() { socket_->AbandonOpen(); }

 protected:
  void ApplyActive(bool value) override;

 private:
  void SocketEvent(TAsyncSocket* Sender, TAsyncSocket* Socket, TSocketEventKind kind);
  void SocketError(TAsyncSocket* Sender, TAsyncSocket* Socket, TErrorEvent kind, int& code);

  std::unique_ptr<TAsyncClientSocket> socket_;
};

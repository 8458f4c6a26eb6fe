// The socket object: one WinSock handle, non-blocking, with a hidden window that receives the
// platform's notifications and lookup results on the UI thread and turns them into socket
// events for its component.
#pragma once
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sync/messages.h"
#include "platform/winsock/winsock.h"
#include "runtime/object.h"

enum TClientType : std::uint8_t { ctNonBlocking = 0, ctBlocking = 1 };
enum TErrorEvent : std::uint8_t {
  eeGeneral = 0,
  eeSend = 1,
  eeReceive = 2,
  eeConnect = 3,
  eeDisconnect = 4,
  eeAccept = 5,
  eeLookup = 6
};
enum TSocketEventKind : std::uint8_t {
  skLookup = 0,
  skConnecting = 1,
  skConnect = 2,
  skDisconnect = 3,
  skListen = 4,
  skAccept = 5,
  skWrite = 6,
  skRead = 7
};
enum TLookupPhase : std::uint8_t { lpIdle = 0, lpHost = 1, lpService = 2 };

// Messages of the hidden window.
inline constexpr UINT SM_NOTIFY = WM_USER + 1;      // 1025: wParam socket, lParam event | error << 16
inline constexpr UINT SM_RELEASE = WM_USER + 2;     // 1026
inline constexpr UINT SM_LOOKUPDONE = WM_USER + 3;  // 1027: wParam request, lParam error << 16

// Notification mask bits (the platform's FD_ flags).
inline constexpr std::uint8_t kDefaultNotificationMask = 0x33;  // read, write, connect, close

class TAsyncSocket;
using TSocketNotifyEvent = TMethod<void(TObject* Sender, TAsyncSocket* Socket)>;
using TSocketErrorEvent =
    TMethod<void(TObject* Sender, TAsyncSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;
// How the socket object reaches its component.
using TSocketEventHook = TMethod<void(TAsyncSocket* Sender, TAsyncSocket* Socket, TSocketEventKind Kind)>;
using TSocketErrorHook =
    TMethod<void(TAsyncSocket* Sender, TAsyncSocket* Socket, TErrorEvent ErrorEvent, int& ErrorCode)>;

class TAsyncSocket : public TObject {
 public:
  using SOCKET = winsock::SOCKET;
  static constexpr SOCKET INVALID_SOCKET = winsock::INVALID_SOCKET;
  static constexpr int kReplyBufferSize = winsock::MAXGETHOSTSTRUCT;

  // Starts WinSock (raising ESocketError when it refuses) before anything else.
  explicit TAsyncSocket(SOCKET handle = INVALID_SOCKET);
  // No socket event reaches the component any more; an outstanding lookup is cancelled and the
  // handle closed without OnDisconnect. Failures go to the application's exception display.
  ~TAsyncSocket() override;

  void SetEventHook(TSocketEventHook hook) { eventHook_ = std::move(hook); }
  void SetErrorHook(TSocketErrorHook hook) { errorHook_ = std::move(hook); }

  SOCKET SocketHandle() const { return handle_; }
  bool Connected() const { return connected_; }
  TLookupPhase LookupPhase() const { return phase_; }
  winsock::HANDLE LookupRequest() const { return request_; }
  const winsock::sockaddr_in& PeerAddress() const { return peer_; }
  // The hidden window, created on the first call.
  HWND WindowHandle();

  std::uint8_t NotificationMask() const { return mask_; }
  void SetNotificationMask(std::uint8_t mask);
  void ApplyNotificationMask();

  void OpenConnection(const std::string& host, const std::string& address, const std::string& service,
                      std::uint16_t port, bool blocking);
  void AdvanceLookup(std::string host, std::string address, std::string service, std::uint16_t port,
                     int queueSize, bool client);
  void StartConnect();
  virtual void CloseConnection(SOCKET handle);

  // Both answer false when a handler destroyed this object: the caller must then touch nothing
  // of it and return.
  bool FireSocketEvent(TAsyncSocket* socket, TSocketEventKind kind);
  bool FireErrorEvent(TAsyncSocket* socket, TErrorEvent kind, int& code);

  // Bytes accepted, 0 when not connected, -1 when nothing was sent. Never waits in
  // non-blocking mode and keeps nothing for later.
  int SendBuf(const void* buffer, int count);
  int SendText(const std::string& text);
  // Bytes read (count -1: bytes waiting), 0 when not connected, -1 when nothing was read.
  int ReceiveBuf(void* buffer, int count);
  // Everything waiting now, possibly empty. Also allows the next read notification.
  std::string ReceiveText();

  void LockSocket() { lock_->lock(); }
  void UnlockSocket() { lock_->unlock(); }

  // A look-up or connect of an open is still under way (Active is false meanwhile).
  bool Opening() const { return OpenUnderWay(); }
  // Gives up an open that is still under way: the look-up is cancelled and the handle closed,
  // with OnDisconnect. Does nothing otherwise.
  void AbandonOpen();

 protected:
  virtual void HandleAccept(SOCKET handle);
  virtual void HandleConnect(SOCKET handle);
  virtual void HandleRead(SOCKET handle);
  virtual void HandleWrite(SOCKET handle);

  void WindowProcedure(TMessage& message);
  void SetConnected(bool connected) { connected_ = connected; }
  void ClearConnecting() { connecting_ = false; }

 private:
  // Holds the socket lock; the lock outlives this object while held, so a handler may destroy
  // it inside a send, a receive or a close.
  class THeldLock {
   public:
    explicit THeldLock(const std::shared_ptr<std::recursive_mutex>& lock) : lock_(lock) { lock_->lock(); }
    ~THeldLock() { lock_->unlock(); }
    THeldLock(const THeldLock&) = delete;
    THeldLock& operator=(const THeldLock&) = delete;

   private:
    std::shared_ptr<std::recursive_mutex> lock_;
  };

  void Notify(const TMessage& message);
  void LookupDone(const TMessage& message);
  void OpenBlocking(const std::string& host, const std::string& address, const std::string& service,
                    std::uint16_t port);
  bool OpenUnderWay() const { return request_ != 0 || phase_ != lpIdle || connecting_; }
  void ResetPeer();
  char* ReplyBuffer();

  struct TPendingOpen {
    std::string service;
    std::uint16_t port = 0;
    int queueSize = 0;
    bool client = true;
  };

  SOCKET handle_;
  bool connected_;
  std::unique_ptr<TMessageWindow> window_;
  winsock::sockaddr_in peer_{};
  std::uint8_t mask_ = kDefaultNotificationMask;
  TLookupPhase phase_ = lpIdle;
  winsock::HANDLE request_ = 0;
  TSocketEventHook eventHook_;
  TSocketErrorHook errorHook_;
  // Re-entrant: a failing send closes, and closing locks again.
  std::shared_ptr<std::recursive_mutex> lock_ = std::make_shared<std::recursive_mutex>();
  // Expires with this object: how code after an event learns that a handler destroyed it.
  std::shared_ptr<int> life_ = std::make_shared<int>(0);
  std::unique_ptr<char[]> reply_;
  TPendingOpen pending_;
  bool connecting_ = false;  // a connect waits for its notification
  bool closing_ = false;     // OnDisconnect of the stored handle is running
};

class TAsyncClientSocket : public TAsyncSocket {
 public:
  using TAsyncSocket::TAsyncSocket;

  TClientType ClientType() const { return clientType_; }
  // Raises ESocketError while connected; blocking mode means an empty notification mask.
  void SetClientType(TClientType type);

 protected:
  void HandleConnect(SOCKET handle) override;

 private:
  TClientType clientType_ = ctNonBlocking;
};

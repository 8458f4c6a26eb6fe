#include "socket/asyncsocket.h"

#include <cstring>

#include "runtime/exception.h"
#include "socket/socketerror.h"

namespace ws = winsock;

namespace {
TErrorEvent ErrorKindOf(int event) {
  switch (event) {
    case ws::FD_READ:
      return eeReceive;
    case ws::FD_WRITE:
      return eeSend;
    case ws::FD_ACCEPT:
      return eeAccept;
    case ws::FD_CONNECT:
      return eeConnect;
    case ws::FD_CLOSE:
      return eeDisconnect;
    default:
      return eeGeneral;
  }
}
}  // namespace

TAsyncSocket::TAsyncSocket(SOCKET handle) : handle_(handle), connected_(false) {
  AcquireWinSock();
  ResetPeer();
  connected_ = handle_ != INVALID_SOCKET;
}

TAsyncSocket::~TAsyncSocket() {
  eventHook_ = {};
  Guarded([this] {
    // A late lookup result must never land in the buffer freed below.
    if (request_ != 0) ws::WSACancelAsyncRequest(request_);
    request_ = 0;
    phase_ = lpIdle;
    if (connected_ && handle_ != INVALID_SOCKET) CloseConnection(handle_);
  });
  // A handle that never connected (still connecting, or refused) is closed too, not leaked.
  if (handle_ != INVALID_SOCKET) ws::closesocket(handle_);
  handle_ = INVALID_SOCKET;
  window_.reset();
  Guarded([] { ReleaseWinSock(); });
}

HWND TAsyncSocket::WindowHandle() {
  if (!window_) window_ = std::make_unique<TMessageWindow>([this](TMessage& m) { WindowProcedure(m); });
  return window_->Handle();
}

void TAsyncSocket::ResetPeer() {
  std::memset(&peer_, 0, sizeof peer_);
  peer_.sin_family = ws::AF_INET;
}

char* TAsyncSocket::ReplyBuffer() {
  if (!reply_) reply_ = std::make_unique<char[]>(kReplyBufferSize);  // zero-filled
  return reply_.get();
}

void TAsyncSocket::SetNotificationMask(std::uint8_t mask) {
  if (mask == mask_) return;
  mask_ = mask;
  if (handle_ != INVALID_SOCKET) ApplyNotificationMask();
}

void TAsyncSocket::ApplyNotificationMask() {
  if (mask_ != 0) {
    ws::WSAAsyncSelect(handle_, WindowHandle(), SM_NOTIFY, mask_);
  } else {
    ws::WSAAsyncSelect(handle_, 0, 0, 0);
    ws::u_long blocking = 0;
    ws::ioctlsocket(handle_, ws::FIONBIO, &blocking);
  }
}

void TAsyncSocket::OpenConnection(const std::string& host, const std::string& address,
                                  const std::string& service, std::uint16_t port, bool blocking) {
  if (connected_) throw ESocketError(SocketResourceString(SSocketAlreadyOpen));
  // A second open while the first is still resolving or connecting would orphan its handle
  // and request; the first one goes on.
  if (OpenUnderWay()) return;
  // A handle left by a refused connect is of no further use.
  if (handle_ != INVALID_SOCKET) {
    ws::closesocket(handle_);
    handle_ = INVALID_SOCKET;
    ResetPeer();
  }
  handle_ = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  if (handle_ == INVALID_SOCKET) throw ESocketError(SocketResourceString(SCannotCreateSocket));
  const std::weak_ptr<int> here = life_;
  try {
    if (!FireSocketEvent(this, skLookup)) return;
    if (blocking)
      OpenBlocking(host, address, service, port);
    else
      AdvanceLookup(host, address, service, port, 0, true);
  } catch (...) {
    if (!here.expired()) CloseConnection(handle_);
    throw;
  }
}

void TAsyncSocket::AdvanceLookup(std::string host, std::string address, std::string service,
                                 std::uint16_t port, int queueSize, bool client) {
  const std::weak_ptr<int> here = life_;
  try {
    for (;;) {
      switch (phase_) {
        case lpIdle:
          if (!host.empty()) {
            request_ = ws::WSAAsyncGetHostByName(WindowHandle(), SM_LOOKUPDONE, host.c_str(), ReplyBuffer(),
                                                 kReplyBufferSize);
            VerifySocketCall(request_ == 0 ? 1 : 0, "WSAASyncGetHostByName");
            pending_ = {service, port, queueSize, client};
            phase_ = lpHost;
            return;
          }
          if (!address.empty()) {
            phase_ = lpHost;
            peer_.sin_addr.s_addr = ws::inet_addr(address.c_str());
            break;
          }
          {
            int code = kNoAddressCode;
            if (!FireErrorEvent(this, eeLookup, code)) return;
            CloseConnection(handle_);
            if (code != 0) throw ESocketError(SocketResourceString(SNoAddress));
            return;
          }
        case lpHost:
          if (!service.empty()) {
            request_ = ws::WSAAsyncGetServByName(WindowHandle(), SM_LOOKUPDONE, service.c_str(), "tcp",
                                                 ReplyBuffer(), kReplyBufferSize);
            VerifySocketCall(request_ == 0 ? 1 : 0, "WSAASyncGetServByName");
            pending_ = {service, port, queueSize, client};
            phase_ = lpService;
            return;
          }
          phase_ = lpService;
          peer_.sin_port = ws::htons(port);
          break;
        case lpService:
          phase_ = lpIdle;
          StartConnect();
          return;
      }
    }
  } catch (...) {
    if (!here.expired()) CloseConnection(handle_);
    throw;
  }
}

void TAsyncSocket::OpenBlocking(const std::string& host, const std::string& address,
                                const std::string& service, std::uint16_t port) {
  if (!host.empty()) {
    const ws::hostent* entry = ws::gethostbyname(host.c_str());
    ws::u_long a = 0;
    if (entry != nullptr && entry->h_addr_list != nullptr && entry->h_addr_list[0] != nullptr)
      std::memcpy(&a, entry->h_addr_list[0], sizeof a);
    peer_.sin_addr.s_addr = a;
  } else if (!address.empty()) {
    peer_.sin_addr.s_addr = ws::inet_addr(address.c_str());
  } else {
    throw ESocketError(SocketResourceString(SNoAddress));
  }
  if (!service.empty()) {
    const ws::servent* entry = ws::getservbyname(service.c_str(), "tcp");
    peer_.sin_port = entry != nullptr ? ws::u_short(entry->s_port) : 0;
  } else {
    peer_.sin_port = ws::htons(port);
  }
  StartConnect();
}

void TAsyncSocket::StartConnect() {
  ApplyNotificationMask();
  if (!FireSocketEvent(this, skConnecting)) return;
  VerifySocketCall(ws::connect(handle_, reinterpret_cast<const ws::sockaddr*>(&peer_), sizeof peer_),
                   "connect");
  phase_ = lpIdle;
  if ((mask_ & ws::FD_CONNECT) != 0) {
    connecting_ = handle_ != INVALID_SOCKET;
    return;
  }
  connected_ = handle_ != INVALID_SOCKET;
  FireSocketEvent(this, skConnect);
}

void TAsyncSocket::AbandonOpen() {
  if (!OpenUnderWay()) return;
  // A completion already posted is then ignored, as for any request no longer outstanding.
  if (request_ != 0) ws::WSACancelAsyncRequest(request_);
  request_ = 0;
  phase_ = lpIdle;
  connecting_ = false;
  CloseConnection(handle_);
}

void TAsyncSocket::CloseConnection(SOCKET handle) {
  THeldLock guard(lock_);
  if (request_ != 0) VerifySocketCall(ws::WSACancelAsyncRequest(request_), "WSACancelASyncRequest");
  request_ = 0;
  phase_ = lpIdle;
  if (handle == INVALID_SOCKET || handle != handle_) return;
  // A handler that closes again inside OnDisconnect must not raise a second OnDisconnect or
  // close the handle under the first.
  if (closing_) return;
  closing_ = true;
  const std::weak_ptr<int> here = life_;
  try {
    // A handler that destroyed this object has closed the handle with it.
    if (!FireSocketEvent(this, skDisconnect)) return;
  } catch (...) {
    if (!here.expired()) closing_ = false;
    throw;
  }
  closing_ = false;
  VerifySocketCall(ws::closesocket(handle_), "closesocket");
  handle_ = INVALID_SOCKET;
  ResetPeer();
  connected_ = false;
  connecting_ = false;
}

bool TAsyncSocket::FireSocketEvent(TAsyncSocket* socket, TSocketEventKind kind) {
  const std::weak_ptr<int> here = life_;
  eventHook_(this, socket, kind);
  return !here.expired();
}

bool TAsyncSocket::FireErrorEvent(TAsyncSocket* socket, TErrorEvent kind, int& code) {
  const std::weak_ptr<int> here = life_;
  errorHook_(this, socket, kind, code);
  return !here.expired();
}

void TAsyncSocket::WindowProcedure(TMessage& message) {
  Guarded([&] {
    switch (message.Msg) {
      case SM_NOTIFY:
        Notify(message);
        break;
      case SM_LOOKUPDONE:
        LookupDone(message);
        break;
      // The component owns this object; a posted release must not free it under its owner.
      case SM_RELEASE:
        break;
      default:
        break;
    }
  });
}

void TAsyncSocket::Notify(const TMessage& message) {
  const SOCKET socket = message.WParam;
  const int event = ws::WSAGETSELECTEVENT(message.LParam);
  const int error = ws::WSAGETSELECTERROR(message.LParam);
  if (event == ws::FD_CONNECT && socket == handle_) connecting_ = false;
  if (error != 0) {
    int code = error;
    // A failure reported for the connection in use ends it at once: nothing can pass any more,
    // and nobody must go on taking it for connected.
    if (FireErrorEvent(this, ErrorKindOf(event), code) && event != ws::FD_CONNECT && connected_ &&
        socket == handle_)
      CloseConnection(socket);
    if (code != 0) throw ESocketError(AsyncSocketErrorMessage(code));
    return;
  }
  switch (event) {
    case ws::FD_READ:
      HandleRead(socket);
      break;
    case ws::FD_WRITE:
      HandleWrite(socket);
      break;
    case ws::FD_ACCEPT:
      HandleAccept(socket);
      break;
    case ws::FD_CONNECT:
      HandleConnect(socket);
      break;
    case ws::FD_CLOSE:
      // A close posted for a handle closed since must not touch the current one, nor cancel
      // the lookup of a new open.
      if (socket == handle_) CloseConnection(socket);
      break;
    default:
      break;
  }
}

void TAsyncSocket::LookupDone(const TMessage& message) {
  if (request_ == 0 || message.WParam != request_) return;
  request_ = 0;
  int error = ws::WSAGETASYNCERROR(message.LParam);
  ws::u_long address = 0;
  ws::u_short port = 0;
  if (error == 0 && phase_ == lpHost) {
    ws::hostent entry;
    std::memcpy(&entry, reply_.get(), sizeof entry);
    if (entry.h_addr_list == nullptr || entry.h_addr_list[0] == nullptr)
      error = ws::WSANO_DATA;
    else
      std::memcpy(&address, entry.h_addr_list[0], sizeof address);
  } else if (error == 0 && phase_ == lpService) {
    ws::servent entry;
    std::memcpy(&entry, reply_.get(), sizeof entry);
    port = ws::u_short(entry.s_port);
  }
  if (error != 0) {
    int code = error;
    if (FireErrorEvent(this, eeLookup, code)) CloseConnection(handle_);
    if (code != 0) throw ESocketError(WindowsSocketErrorMessage(error, "ASync Lookup"));
    return;
  }
  const TPendingOpen pending = pending_;
  if (phase_ == lpHost) {
    peer_.sin_addr.s_addr = address;
    AdvanceLookup({}, {}, pending.service, pending.port, pending.queueSize, pending.client);
  } else if (phase_ == lpService) {
    peer_.sin_port = port;
    pending_.port = 0;
    pending_.service.clear();
    AdvanceLookup({}, {}, {}, 0, pending.queueSize, pending.client);
  }
}

void TAsyncSocket::HandleAccept(SOCKET) {}

void TAsyncSocket::HandleConnect(SOCKET) {}

void TAsyncSocket::HandleRead(SOCKET handle) {
  if (handle_ != INVALID_SOCKET && handle == handle_) FireSocketEvent(this, skRead);
}

void TAsyncSocket::HandleWrite(SOCKET handle) {
  if (handle_ != INVALID_SOCKET && handle == handle_) FireSocketEvent(this, skWrite);
}

void TAsyncClientSocket::SetClientType(TClientType type) {
  if (type == clientType_) return;
  if (Connected()) throw ESocketError(SocketResourceString(SCantChangeWhileActive));
  clientType_ = type;
  SetNotificationMask(type == ctBlocking ? 0 : kDefaultNotificationMask);
}

void TAsyncClientSocket::HandleConnect(SOCKET handle) {
  // A connect notification for a handle closed since must not mark this one connected.
  if (handle == INVALID_SOCKET || handle != SocketHandle()) return;
  SetConnected(true);
  FireSocketEvent(this, skConnect);
}

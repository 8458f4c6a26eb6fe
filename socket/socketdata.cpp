// Moving bytes, and the error-event protocol for a failed send or receive.
#include <algorithm>
#include <climits>
#include <memory>
#include <mutex>

#include "platform/winsock/errortext.h"
#include "socket/asyncsocket.h"
#include "socket/socketerror.h"

namespace ws = winsock;

int TAsyncSocket::SendBuf(const void* buffer, int count) {
  THeldLock guard(lock_);
  if (!connected_) return 0;
  const int sent = ws::send(handle_, static_cast<const char*>(buffer), count, 0);
  if (sent != ws::SOCKET_ERROR) return sent;
  const int error = ws::WSAGetLastError();
  if (error == ws::WSAEWOULDBLOCK) return -1;
  int code = error;
  if (FireErrorEvent(this, eeSend, code)) CloseConnection(handle_);
  if (code != 0) throw ESocketError(WindowsSocketErrorMessage(code, "send"), WinSockError(code));
  return -1;
}

int TAsyncSocket::SendText(const std::string& text) {
  // Beyond INT_MAX the count cannot be said; the platform takes part of it, as for any send.
  return SendBuf(text.data(), int(std::min<std::size_t>(text.size(), INT_MAX)));
}

int TAsyncSocket::ReceiveBuf(void* buffer, int count) {
  THeldLock guard(lock_);
  if (count == -1 && connected_) {
    ws::u_long waiting = 0;
    if (ws::ioctlsocket(handle_, ws::FIONREAD, &waiting) != 0) return 0;
    return int(std::min<ws::u_long>(waiting, INT_MAX));
  }
  if (!connected_) return 0;
  const int received = ws::recv(handle_, static_cast<char*>(buffer), count, 0);
  if (received != ws::SOCKET_ERROR) return received;
  const int error = ws::WSAGetLastError();
  if (error == ws::WSAEWOULDBLOCK) return -1;
  int code = error;
  if (FireErrorEvent(this, eeReceive, code)) CloseConnection(handle_);
  if (code != 0) throw ESocketError(WindowsSocketErrorMessage(code, "recv"), WinSockError(code));
  return -1;
}

std::string TAsyncSocket::ReceiveText() {
  // Read in pieces until one comes back short, rather than asking for the count first: one
  // call for a block. Received even when nothing waits: the receive is what allows the next
  // read notification. Bounded, so a fast server cannot keep the loop here; the rest comes
  // with the next notification.
  constexpr int kPiece = 64 << 10;
  constexpr std::size_t kMost = 1u << 20;
  thread_local std::unique_ptr<char[]> piece = std::make_unique<char[]>(kPiece);
  std::string text;
  for (;;) {
    const int received = ReceiveBuf(piece.get(), kPiece);
    // Once a whole piece came, more is likely: room for the bound at once, so a stream does not
    // regrow (and fault in) a string through every size up to it.
    if (received == kPiece && text.empty()) text.reserve(kMost);
    if (received > 0) text.append(piece.get(), std::size_t(received));
    if (received < kPiece || text.size() >= kMost) return text;
  }
}

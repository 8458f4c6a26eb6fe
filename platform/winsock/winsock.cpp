// Sockets, start-up and WSAAsyncSelect. The socket table maps never-reused handles to Linux
// descriptors; each registered socket has a read and a write QSocketNotifier on the UI thread,
// enabled only while WinSock's rules allow the next notification, so that nothing is watched
// that nobody asked for and a dead socket never wakes the loop. The read notifier reads ahead
// instead of peeking: one system call tells data, end and failure apart, and the recv that
// follows is served from what it took. Notifications raised by a notifier go to the window at
// once when nothing posted to it waits, without a turn of the loop.
#include "platform/winsock/winsock.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <bit>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/sync/messages.h"
#include "platform/winsock/posix.h"
#include "runtime/bytes.h"
#include "runtime/lasterror.h"

namespace winsock {
namespace {

enum class TLink { Idle, Connecting, Connected, Failed };

// The most a read notification takes ahead of the recv it announces.
constexpr long kReadAhead = 64 << 10;

struct TEntry {
  explicit TEntry(int descriptor) : fd(descriptor) {}
  ~TEntry() {
    deadline.reset();
    reader.reset();
    writer.reset();
    posix::Close(fd);
  }
  TEntry(const TEntry&) = delete;
  TEntry& operator=(const TEntry&) = delete;

  const int fd;
  bool nonBlocking = false;
  TLink link = TLink::Idle;
  bool closeReported = false;  // FD_CLOSE went out: the socket is watched no more
  HWND window = 0;
  UINT message = 0;
  long events = 0;
  std::unique_ptr<QSocketNotifier> reader;
  std::unique_ptr<QSocketNotifier> writer;
  std::unique_ptr<QTimer> deadline;  // a connect in progress gives up when it fires
  std::unique_ptr<char[]> ahead;     // bytes read ahead by the read notifier, recv's first
  long aheadAt = 0, aheadEnd = 0;
  bool readOut = false;      // an FD_READ went out and no recv came since
  bool moreWaiting = false;  // the socket may hold bytes beyond those read ahead
};

std::mutex g_lock;
std::atomic<long long> g_connectTimeoutMs{10000};
int g_startups = 0;
SOCKET g_nextHandle = 1;

std::unordered_map<SOCKET, std::shared_ptr<TEntry>>& Table() {
  static std::unordered_map<SOCKET, std::shared_ptr<TEntry>> table;
  return table;
}

int Fail(int error) {
  WSASetLastError(error);
  return SOCKET_ERROR;
}

SOCKET FailSocket(int error) {
  WSASetLastError(error);
  return INVALID_SOCKET;
}

// The entry for `s`, or null with the error set. Call with g_lock held.
std::shared_ptr<TEntry> Find(SOCKET s) {
  if (g_startups == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return nullptr;
  }
  auto it = Table().find(s);
  if (it == Table().end()) {
    WSASetLastError(WSAENOTSOCK);
    return nullptr;
  }
  return it->second;
}

struct TNote {
  HWND window;
  UINT message;
  SOCKET socket;
  LPARAM reply;
};
// Set while a notifier's handler runs: its notifications are delivered once the lock is let go.
thread_local std::vector<TNote>* t_outbox = nullptr;

void Post(const TEntry& e, SOCKET s, long event, int error) {
  if (e.window == 0 || (e.events & event) == 0) return;
  const LPARAM reply = WSAMAKESELECTREPLY(event, error);
  if (t_outbox)
    t_outbox->push_back({e.window, e.message, s, reply});
  else
    PostMessageA(e.window, e.message, s, reply);
}

void Enable(const std::unique_ptr<QSocketNotifier>& n, bool on) {
  if (n && n->isEnabled() != on) n->setEnabled(on);
}

void ArmReader(TEntry& e) {
  Enable(e.reader, e.link == TLink::Connected && !e.closeReported && (e.events & (FD_READ | FD_CLOSE)) != 0);
}

void OnReadable(TEntry& e, SOCKET s);
void OnWritable(TEntry& e, SOCKET s);
void OnConnectTimeout(TEntry& e, SOCKET s);

// Runs a notifier's or timer's handler for `s` under the table lock; nothing when the socket
// was closed since.
void Dispatch(SOCKET s, void (*handler)(TEntry&, SOCKET)) {
  std::vector<TNote> outbox;
  // Held until the notifications are out: a handler that closes the socket must not destroy
  // the notifier whose signal is running.
  std::shared_ptr<TEntry> keep;
  {
    std::lock_guard lock(g_lock);
    auto it = Table().find(s);
    if (it == Table().end()) return;
    keep = it->second;
    t_outbox = &outbox;
    handler(*keep, s);
    t_outbox = nullptr;
  }
  for (const TNote& n : outbox) DeliverOrPostMessageA(n.window, n.message, n.socket, n.reply);
}

// A connection that stopped answering (keep-alive or unacknowledged data timed out) is a lost
// connection, not a connect attempt that timed out.
int LostConnectionError(int error) { return error == WSAETIMEDOUT ? WSAENETRESET : error; }

void StartDeadline(TEntry& e, SOCKET s) {
  e.deadline = std::make_unique<QTimer>();
  e.deadline->setSingleShot(true);
  QObject::connect(e.deadline.get(), &QTimer::timeout, [s] { Dispatch(s, OnConnectTimeout); });
  e.deadline->start(std::chrono::milliseconds(g_connectTimeoutMs.load()));
}

void StopDeadline(TEntry& e) {
  if (e.deadline) e.deadline->stop();
}

void CreateNotifiers(TEntry& e, SOCKET s) {
  if (e.reader) return;
  e.reader = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Read);
  e.writer = std::make_unique<QSocketNotifier>(e.fd, QSocketNotifier::Write);
  e.reader->setEnabled(false);
  e.writer->setEnabled(false);
  QObject::connect(e.reader.get(), &QSocketNotifier::activated, [s] { Dispatch(s, OnReadable); });
  QObject::connect(e.writer.get(), &QSocketNotifier::activated, [s] { Dispatch(s, OnWritable); });
}

void ReportClose(TEntry& e, SOCKET s, int error) {
  e.closeReported = true;
  Enable(e.reader, false);
  Enable(e.writer, false);
  Post(e, s, FD_CLOSE, error);
}

void OnReadable(TEntry& e, SOCKET s) {
  if (e.link != TLink::Connected || e.closeReported) return Enable(e.reader, false);
  if (e.readOut) {
    // One FD_READ until the next recv: the reader rests until recv turns it on again.
    Enable(e.reader, false);
    e.moreWaiting = true;
    return;
  }
  if (e.aheadAt < e.aheadEnd) {
    e.moreWaiting = true;
    e.readOut = true;
    return Post(e, s, FD_READ, 0);
  }
  if (!e.ahead) e.ahead = std::make_unique<char[]>(kReadAhead);
  int error = 0;
  const long n = posix::Recv(e.fd, e.ahead.get(), kReadAhead, error);
  e.aheadAt = 0;
  e.aheadEnd = std::max(n, 0L);
  if (n > 0) {
    e.moreWaiting = n == kReadAhead;
    e.readOut = true;
    Post(e, s, FD_READ, 0);
  } else if (n == 0) {
    ReportClose(e, s, 0);
  } else if (error != WSAEWOULDBLOCK) {
    ReportClose(e, s, LostConnectionError(error));
  }
}

void OnWritable(TEntry& e, SOCKET s) {
  Enable(e.writer, false);
  if (e.link == TLink::Connecting) {
    StopDeadline(e);
    int error = 0;
    const int outcome = posix::ConnectOutcome(e.fd, error);
    // Linux reports a connect in progress writable only once it has ended; a socket that is
    // then still unconnected lost its error somewhere, and must not be watched again.
    if (outcome == 1) error = WSAENOTCONN;
    if (outcome == 0) {
      e.link = TLink::Connected;
      Post(e, s, FD_CONNECT, 0);
      Post(e, s, FD_WRITE, 0);
      ArmReader(e);
    } else {
      e.link = TLink::Failed;
      Post(e, s, FD_CONNECT, error);
    }
    return;
  }
  if (e.link == TLink::Connected && !e.closeReported) Post(e, s, FD_WRITE, 0);
}

void OnConnectTimeout(TEntry& e, SOCKET s) {
  if (e.link != TLink::Connecting) return;
  // The kernel would go on sending SYNs for minutes; the operator has waited long enough.
  posix::AbortConnect(e.fd);
  e.link = TLink::Failed;
  Enable(e.writer, false);
  Post(e, s, FD_CONNECT, WSAETIMEDOUT);
}

// A non-blocking connect started without notifications: learn how it ended.
void Refresh(TEntry& e) {
  if (e.link != TLink::Connecting || e.window != 0) return;
  int error = 0;
  const int outcome = posix::ConnectOutcome(e.fd, error);
  if (outcome == 0) e.link = TLink::Connected;
  if (outcome < 0) e.link = TLink::Failed;
  if (outcome != 1) StopDeadline(e);
}

// The connected entry for a send or receive of `length` bytes at `buffer`, or null with the
// error set. Call with g_lock held.
std::shared_ptr<TEntry> FindForTransfer(SOCKET s, const char* buffer, int length) {
  auto entry = Find(s);
  if (!entry) return nullptr;
  if (length < 0 || (buffer == nullptr && length > 0)) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  Refresh(*entry);
  if (entry->link != TLink::Connected) {
    WSASetLastError(WSAENOTCONN);
    return nullptr;
  }
  return entry;
}

int ClampLength(long n) { return int(std::min<long>(n, INT_MAX)); }

}  // namespace

int WSAGetLastError() { return int(GetLastError()); }
void WSASetLastError(int error) { SetLastError(DWORD(error)); }

int WSAStartup(WORD versionRequested, WSADATA* data) {
  if ((versionRequested & 0xFF) < 1) return WSAVERNOTSUPPORTED;
  if (data == nullptr) return WSAEFAULT;
  std::memset(data, 0, sizeof *data);
  data->wVersion = versionRequested == 0x0001 ? WORD(0x0001) : WINSOCK_VERSION_1_1;
  data->wHighVersion = WINSOCK_VERSION_1_1;
  std::strcpy(data->szDescription, "WinSock 1.1 on Linux sockets");
  std::strcpy(data->szSystemStatus, "Running");
  data->iMaxSockets = 0xFFFF;
  std::lock_guard lock(g_lock);
  ++g_startups;
  return 0;
}

int WSACleanup() {
  std::lock_guard lock(g_lock);
  if (g_startups == 0) return Fail(WSANOTINITIALISED);
  --g_startups;
  return 0;
}

SOCKET socket(int af, int type, int protocol) {
  std::lock_guard lock(g_lock);
  if (g_startups == 0) return FailSocket(WSANOTINITIALISED);
  if (af != AF_INET) return FailSocket(WSAEAFNOSUPPORT);
  if (type != SOCK_STREAM) return FailSocket(WSAESOCKTNOSUPPORT);
  if (protocol != 0 && protocol != IPPROTO_TCP) return FailSocket(WSAEPROTONOSUPPORT);
  int error = 0;
  const int fd = posix::OpenStream(error);
  if (fd < 0) return FailSocket(error);
  const SOCKET s = g_nextHandle++;
  Table().emplace(s, std::make_shared<TEntry>(fd));
  return s;
}

int closesocket(SOCKET s) {
  std::shared_ptr<TEntry> entry;
  {
    std::lock_guard lock(g_lock);
    entry = Find(s);
    if (!entry) return SOCKET_ERROR;
    Table().erase(s);
  }
  // The descriptor closes with the last holder; notifiers go with it, so nothing more is posted.
  return 0;
}

int connect(SOCKET s, const sockaddr* name, int nameLength) {
  std::unique_lock lock(g_lock);
  auto entry = Find(s);
  if (!entry) return SOCKET_ERROR;
  TEntry& e = *entry;
  if (name == nullptr || nameLength < int(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  sockaddr_in peer;
  std::memcpy(&peer, name, sizeof peer);
  if (peer.sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
  Refresh(e);
  if (e.link == TLink::Connected) return Fail(WSAEISCONN);
  if (e.link == TLink::Connecting) return Fail(WSAEALREADY);
  int error = 0;
  if (!e.nonBlocking) {
    lock.unlock();
    const int r = posix::Connect(e.fd, peer.sin_addr.s_addr, peer.sin_port, error);
    lock.lock();
    e.link = r == 0 ? TLink::Connected : TLink::Failed;
    return r == 0 ? 0 : Fail(error);
  }
  const int r = posix::Connect(e.fd, peer.sin_addr.s_addr, peer.sin_port, error);
  if (r < 0 && e.window == 0) return Fail(error);
  if (r == 1) {
    e.link = TLink::Connecting;
    Enable(e.writer, true);
    StartDeadline(e, s);
  } else if (r == 0) {
    e.link = TLink::Connected;
    Post(e, s, FD_CONNECT, 0);
    Post(e, s, FD_WRITE, 0);
    ArmReader(e);
  } else {
    // Whatever ended the connect before it returned (a refusal over loopback, an unreachable
    // network, a broadcast address), it is reported through FD_CONNECT, as for any other
    // non-blocking connect: the caller then has one way to learn the outcome.
    e.link = TLink::Failed;
    Post(e, s, FD_CONNECT, error);
  }
  return Fail(WSAEWOULDBLOCK);
}

int send(SOCKET s, const char* buffer, int length, int /*flags*/) {
  std::unique_lock lock(g_lock);
  auto entry = FindForTransfer(s, buffer, length);
  if (!entry) return SOCKET_ERROR;
  TEntry& e = *entry;
  if (!e.nonBlocking) lock.unlock();
  int error = 0;
  const long n = posix::Send(e.fd, buffer, length, error);
  if (!lock.owns_lock()) lock.lock();
  if (n >= 0) return ClampLength(n);
  error = LostConnectionError(error);
  // FD_WRITE comes again only once a send has been refused for want of room.
  if (error == WSAEWOULDBLOCK && (e.events & FD_WRITE) != 0 && !e.closeReported) Enable(e.writer, true);
  return Fail(error);
}

// Hands out bytes read ahead; then, when there is room and the socket may hold more, reads on.
long TakeAhead(TEntry& e, SOCKET s, char* buffer, int length) {
  const long got = std::min<long>(length, e.aheadEnd - e.aheadAt);
  std::memcpy(buffer, e.ahead.get() + e.aheadAt, std::size_t(got));
  e.aheadAt += got;
  if (got == length || !e.moreWaiting) return got;
  int error = 0;
  const long n = posix::Recv(e.fd, buffer + got, length - got, error);
  if (n > 0) {
    e.moreWaiting = n == length - got;
    return got + n;
  }
  e.moreWaiting = false;
  // The end waits for the next notification; a failure, taken from the socket now, is said
  // through FD_CLOSE, since these bytes are returned.
  if (n < 0 && error != WSAEWOULDBLOCK && !e.closeReported) ReportClose(e, s, LostConnectionError(error));
  return got;
}

int recv(SOCKET s, char* buffer, int length, int /*flags*/) {
  std::unique_lock lock(g_lock);
  auto entry = FindForTransfer(s, buffer, length);
  if (!entry) return SOCKET_ERROR;
  TEntry& e = *entry;
  e.readOut = false;
  long n;
  int error = 0;
  if (e.aheadAt < e.aheadEnd && length > 0) {
    n = TakeAhead(e, s, buffer, length);
  } else {
    if (!e.nonBlocking) lock.unlock();
    char dummy;
    n = posix::Recv(e.fd, buffer ? buffer : &dummy, length, error);
    if (!lock.owns_lock()) lock.lock();
    if (n > 0 && n < length) e.moreWaiting = false;
  }
  if (e.aheadAt < e.aheadEnd && !e.closeReported) {
    // Bytes read ahead are out of the socket's sight: their notification is ours to give.
    e.readOut = true;
    Post(e, s, FD_READ, 0);
  }
  // Every recv, whatever it found, allows the next FD_READ (or the FD_CLOSE behind the data).
  ArmReader(e);
  return n >= 0 ? ClampLength(n) : Fail(LostConnectionError(error));
}

int ioctlsocket(SOCKET s, long command, u_long* argument) {
  std::lock_guard lock(g_lock);
  auto entry = Find(s);
  if (!entry) return SOCKET_ERROR;
  TEntry& e = *entry;
  if (argument == nullptr) return Fail(WSAEFAULT);
  int error = 0;
  if (command == FIONREAD) {
    std::uint32_t count = 0;
    if (!posix::BytesWaiting(e.fd, count, error)) return Fail(error);
    *argument = count + u_long(e.aheadEnd - e.aheadAt);
    return 0;
  }
  if (command == FIONBIO) {
    const bool on = *argument != 0;
    // As in WinSock, a socket with notifications registered cannot be made blocking.
    if (!on && e.events != 0) return Fail(WSAEINVAL);
    if (!posix::SetNonBlocking(e.fd, on, error)) return Fail(error);
    e.nonBlocking = on;
    return 0;
  }
  return Fail(WSAEINVAL);
}

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
  std::lock_guard lock(g_lock);
  auto entry = Find(s);
  if (!entry) return SOCKET_ERROR;
  TEntry& e = *entry;
  if (events != 0 && window == 0) return Fail(WSAEINVAL);
  int error = 0;
  if (!posix::SetNonBlocking(e.fd, true, error)) return Fail(error);
  e.nonBlocking = true;
  e.window = events != 0 ? window : 0;
  e.message = events != 0 ? message : 0;
  e.events = events;
  if (events == 0) {
    e.reader.reset();
    e.writer.reset();
    return 0;
  }
  CreateNotifiers(e, s);
  Enable(e.reader, false);
  Enable(e.writer, false);
  if (e.link == TLink::Connecting) {
    Enable(e.writer, true);
  } else if (e.link == TLink::Connected) {
    ArmReader(e);
    if ((events & FD_WRITE) != 0 && !e.closeReported) Enable(e.writer, true);
  }
  return 0;
}

std::chrono::milliseconds ExchangeConnectTimeout(std::chrono::milliseconds limit) {
  return std::chrono::milliseconds(g_connectTimeoutMs.exchange(limit.count()));
}

u_long inet_addr(const char* text) {
  std::uint32_t address = 0;
  return posix::ParseAddress(text, address) ? address : INADDR_NONE;
}

u_short htons(u_short value) {
  if constexpr (std::endian::native == std::endian::little) return ByteSwap16(value);
  return value;
}
u_short ntohs(u_short value) { return htons(value); }
u_long htonl(u_long value) {
  if constexpr (std::endian::native == std::endian::little) return ByteSwap32(value);
  return value;
}
u_long ntohl(u_long value) { return htonl(value); }

}  // namespace winsock

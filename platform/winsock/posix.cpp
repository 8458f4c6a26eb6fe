#include "platform/winsock/posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/descriptor.h"
#include "platform/sync/wakeup.h"
#include "platform/winsock/errorcodes.h"

namespace winsock::posix {

int ErrorFromErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return WSAEINTR;
    case EBADF:
      return WSAEBADF;
    case EACCES:
    case EPERM:
      return WSAEACCES;
    case EFAULT:
      return WSAEFAULT;
    case EINVAL:
      return WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return WSAEMFILE;
    case EAGAIN:
      return WSAEWOULDBLOCK;  // EWOULDBLOCK is the same value on Linux
    case EINPROGRESS:
      return WSAEINPROGRESS;
    case EALREADY:
      return WSAEALREADY;
    case ENOTSOCK:
      return WSAENOTSOCK;
    case EDESTADDRREQ:
      return WSAEDESTADDRREQ;
    case EMSGSIZE:
      return WSAEMSGSIZE;
    case EPROTOTYPE:
      return WSAEPROTOTYPE;
    case ENOPROTOOPT:
      return WSAENOPROTOOPT;
    case EPROTONOSUPPORT:
      return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT:
      return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP:
      return WSAEOPNOTSUPP;
    case EPFNOSUPPORT:
      return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT:
      return WSAEAFNOSUPPORT;
    case EADDRINUSE:
      return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return WSAENETDOWN;
    case ENETUNREACH:
      return WSAENETUNREACH;
    case ENETRESET:
      return WSAENETRESET;
    case ECONNABORTED:
      return WSAECONNABORTED;
    // Linux answers EPIPE to a send on a connection the peer has reset or closed;
    // WinSock calls that a reset.
    case EPIPE:
    case ECONNRESET:
      return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return WSAENOBUFS;
    case EISCONN:
      return WSAEISCONN;
    case ENOTCONN:
      return WSAENOTCONN;
    case ESHUTDOWN:
      return WSAESHUTDOWN;
    case ETOOMANYREFS:
      return WSAETOOMANYREFS;
    case ETIMEDOUT:
      return WSAETIMEDOUT;
    case ECONNREFUSED:
      return WSAECONNREFUSED;
    case ELOOP:
      return WSAELOOP;
    case ENAMETOOLONG:
      return WSAENAMETOOLONG;
    case EHOSTDOWN:
      return WSAEHOSTDOWN;
    case EHOSTUNREACH:
      return WSAEHOSTUNREACH;
    case ENOTEMPTY:
      return WSAENOTEMPTY;
    case EUSERS:
      return WSAEUSERS;
    case EDQUOT:
      return WSAEDQUOT;
    case ESTALE:
      return WSAESTALE;
    case EREMOTE:
      return WSAEREMOTE;
    default:
      return WSASYSCALLFAILURE;  // nothing closer exists
  }
}

namespace {
int Fail(int& error) {
  error = ErrorFromErrno(errno);
  return -1;
}
}  // namespace

int OpenStream(int& error) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Fail(error);
  // A server that went away silently (cable pulled, host off) would otherwise be noticed only
  // after a quarter of an hour of retransmission, or never on an idle connection: probe after
  // 30 s of silence, every 5 s, give up after 4 unanswered probes, and let unacknowledged data
  // wait at most 30 s. Best effort: a kernel without one of them still connects.
  const int on = 1, idle = 30, interval = 5, count = 4;
  const unsigned userTimeout = 30000;
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
  ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
  ::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
  return fd;
}

void Close(int fd) { CloseDescriptor(fd); }

bool SetNonBlocking(int fd, bool on, int& error) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) {
    Fail(error);
    return false;
  }
  const int wanted = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  if (wanted != flags && ::fcntl(fd, F_SETFL, wanted) < 0) {
    Fail(error);
    return false;
  }
  return true;
}

int Connect(int fd, std::uint32_t addressNet, std::uint16_t portNet, int& error) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = portNet;
  a.sin_addr.s_addr = addressNet;
  int r;
  do {
    r = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a);
  } while (r < 0 && errno == EINTR && (::fcntl(fd, F_GETFL) & O_NONBLOCK) == 0);
  if (r == 0) return 0;
  // An interrupted connect goes on in the background, as one that was never waited for.
  if (errno == EINPROGRESS || errno == EINTR) return 1;
  error = ConnectErrorFromErrno(errno);
  return -1;
}

int ConnectErrorFromErrno(int e) {
  // For a TCP connect EAGAIN means the system ran short (of local ports or routing entries),
  // not "in progress": nothing will ever report on it, so it must be a failure.
  if (e == EAGAIN) return WSAENOBUFS;
  return ErrorFromErrno(e);
}

void AbortConnect(int fd) {
  // Dissolves the association: a connect still sending its SYNs stops at once.
  sockaddr unspec{};
  unspec.sa_family = AF_UNSPEC;
  ::connect(fd, &unspec, sizeof unspec);
}

int ConnectOutcome(int fd, int& error) {
  int soError = 0;
  socklen_t length = sizeof soError;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) < 0) return Fail(error);
  if (soError != 0) {
    error = ErrorFromErrno(soError);
    return -1;
  }
  sockaddr_in peer{};
  socklen_t peerLength = sizeof peer;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peerLength) == 0) return 0;
  if (errno == ENOTCONN) return 1;
  return Fail(error);
}

long Send(int fd, const char* buffer, long length, int& error) {
  ssize_t n;
  do {
    n = ::send(fd, buffer, std::size_t(length), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(error);
  return long(n);
}

long Recv(int fd, char* buffer, long length, int& error) {
  ssize_t n;
  do {
    n = ::recv(fd, buffer, std::size_t(length), 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) return Fail(error);
  return long(n);
}

bool BytesWaiting(int fd, std::uint32_t& count, int& error) {
  int n = 0;
  if (::ioctl(fd, FIONREAD, &n) < 0) {
    Fail(error);
    return false;
  }
  count = std::uint32_t(n);
  return true;
}

int OpenWakeup(int& error) {
  const int fd = ::OpenWakeup();
  if (fd < 0) return Fail(error);
  return fd;
}

bool ParseAddress(const char* text, std::uint32_t& addressNet) {
  ::in_addr a{};
  if (text == nullptr || ::inet_aton(text, &a) == 0) return false;
  addressNet = a.s_addr;
  return true;
}

THostAnswer ResolveHost(const std::string& name) {
  THostAnswer answer;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  const int r = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
  switch (r) {
    case 0:
      break;
    case EAI_NONAME:
      answer.error = WSAHOST_NOT_FOUND;
      return answer;
    case EAI_AGAIN:
      answer.error = WSATRY_AGAIN;
      return answer;
    case EAI_FAIL:
      answer.error = WSANO_RECOVERY;
      return answer;
#ifdef EAI_NODATA
    case EAI_NODATA:
      answer.error = WSANO_DATA;
      return answer;
#endif
    case EAI_ADDRFAMILY:
      answer.error = WSANO_DATA;
      return answer;
    case EAI_MEMORY:
      answer.error = WSAENOBUFS;
      return answer;
    case EAI_SYSTEM:
      answer.error = ErrorFromErrno(errno);
      return answer;
    default:
      answer.error = WSANO_RECOVERY;
      return answer;
  }
  answer.name = list->ai_canonname ? list->ai_canonname : name;
  for (const addrinfo* p = list; p != nullptr; p = p->ai_next) {
    if (p->ai_family != AF_INET || p->ai_addr == nullptr) continue;
    std::uint32_t a;
    std::memcpy(&a, &reinterpret_cast<const sockaddr_in*>(p->ai_addr)->sin_addr.s_addr, sizeof a);
    bool seen = false;
    for (std::uint32_t b : answer.addresses) seen = seen || b == a;
    if (!seen) answer.addresses.push_back(a);
  }
  ::freeaddrinfo(list);
  if (answer.addresses.empty()) answer.error = WSANO_DATA;
  return answer;
}

TServiceAnswer ResolveService(const std::string& name, const std::string& protocol) {
  TServiceAnswer answer;
  ::servent entry{};
  ::servent* result = nullptr;
  char scratch[1024];
  const int r = ::getservbyname_r(name.c_str(), protocol.c_str(), &entry, scratch, sizeof scratch, &result);
  if (r != 0 || result == nullptr) {
    answer.error = r == ERANGE ? WSAENOBUFS : WSANO_DATA;
    return answer;
  }
  answer.name = result->s_name ? result->s_name : name;
  answer.portNet = std::uint16_t(result->s_port);
  return answer;
}

}  // namespace winsock::posix

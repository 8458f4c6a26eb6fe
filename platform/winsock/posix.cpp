#include "platform/winsock/posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace winsock::posix {

int ErrorFromErrno(int e) {
  switch (e) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EBADF:
      return 10009;
    case EACCES:
    case EPERM:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EAGAIN:
      return 10035;  // EWOULDBLOCK is the same value on Linux
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
      return 10053;
    // Linux answers EPIPE to a send on a connection the peer has reset or closed;
    // WinSock calls that a reset.
    case EPIPE:
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETOOMANYREFS:
      return 10059;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case ELOOP:
      return 10062;
    case ENAMETOOLONG:
      return 10063;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    case ENOTEMPTY:
      return 10066;
    case EUSERS:
      return 10068;
    case EDQUOT:
      return 10069;
    case ESTALE:
      return 10070;
    case EREMOTE:
      return 10071;
    default:
      return 10107;  // WSASYSCALLFAILURE: nothing closer exists
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

void Close(int fd) {
  // Linux releases the descriptor even when close reports EINTR; retrying could close another.
  ::close(fd);
}

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
  if (e == EAGAIN) return 10055;
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

TPeek Peek(int fd, int& error) {
  char c;
  ssize_t n;
  do {
    n = ::recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return TPeek::Data;
  if (n == 0) return TPeek::End;
  if (errno == EAGAIN) return TPeek::Nothing;
  Fail(error);
  return TPeek::Failed;
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
  const int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return Fail(error);
  return fd;
}

void Signal(int fd) {
  const std::uint64_t one = 1;
  // A full counter already wakes the reader; nothing else can fail here.
  while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void Drain(int fd) {
  std::uint64_t count;
  while (::read(fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
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
      answer.error = 11001;
      return answer;
    case EAI_AGAIN:
      answer.error = 11002;
      return answer;
    case EAI_FAIL:
      answer.error = 11003;
      return answer;
#ifdef EAI_NODATA
    case EAI_NODATA:
      answer.error = 11004;
      return answer;
#endif
    case EAI_ADDRFAMILY:
      answer.error = 11004;
      return answer;
    case EAI_MEMORY:
      answer.error = 10055;
      return answer;
    case EAI_SYSTEM:
      answer.error = ErrorFromErrno(errno);
      return answer;
    default:
      answer.error = 11003;
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
  if (answer.addresses.empty()) answer.error = 11004;
  return answer;
}

TServiceAnswer ResolveService(const std::string& name, const std::string& protocol) {
  TServiceAnswer answer;
  ::servent entry{};
  ::servent* result = nullptr;
  char scratch[1024];
  const int r = ::getservbyname_r(name.c_str(), protocol.c_str(), &entry, scratch, sizeof scratch, &result);
  if (r != 0 || result == nullptr) {
    answer.error = r == ERANGE ? 10055 : 11004;
    return answer;
  }
  answer.name = result->s_name ? result->s_name : name;
  answer.portNet = std::uint16_t(result->s_port);
  return answer;
}

}  // namespace winsock::posix

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/winsock/errortext.h"
#include "platform/winsock/posix.h"
#include "platform/winsock/winsock.h"
#include "runtime/resources.h"
#include "socket/format.h"
#include "socket/socketerror.h"
#include "tests/socket/support.h"

namespace ws = winsock;
using sockettest::Raised;

namespace {
// A loader standing in for the translation layer: it marks every socket message it serves.
std::string MarkingLoader(const ResourceStringRecord* record) {
  return "[" + DefaultLoadResourceString(record) + "]";
}
}  // namespace

TEST(SocketMessages, WindowsSocketErrorCarriesTextCodeAndLabel) {
  EXPECT_EQ(WindowsSocketErrorMessage(10061, "connect"),
            "Windows socket error: The connection was refused by the remote host (10061), on API 'connect'");
  EXPECT_EQ(AsyncSocketErrorMessage(10054), "Asynchronous socket error 10054");
  EXPECT_EQ(AsyncSocketErrorMessage(-5), "Asynchronous socket error -5");
}

TEST(SocketMessages, CodeWithoutSystemTextLeavesTwoBlanks) {
  EXPECT_EQ(SysErrorMessage(12345), "");
  EXPECT_EQ(WindowsSocketErrorMessage(12345, "recv"), "Windows socket error:  (12345), on API 'recv'");
}

TEST(SocketMessages, SystemTextLosesTrailingStopsAndBlanksOnly) {
  for (int code : {0, 10035, 10054, 10060, 10061, 10065, 10051, 10049, 11001, 11004, 10093}) {
    const std::string text = SocketSystemText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_EQ(text, SysErrorMessage(code)) << "our texts need no trimming: " << code;
    EXPECT_NE(text.back(), '.');
    EXPECT_GT(static_cast<unsigned char>(text.back()), 32);
  }
}

TEST(SocketMessages, LoadedThroughTheSwappableLoaderWhenRaised) {
  const TResourceLoader previous = ExchangeResourceLoader(&MarkingLoader);
  const std::string already = WindowsSocketErrorMessage(10054, "send");
  const std::string noAddress = SocketResourceString(SNoAddress);
  const std::string active = SocketResourceString(SCantChangeWhileActive);
  ExchangeResourceLoader(previous);
  EXPECT_EQ(already,
            "[Windows socket error: The connection was reset by the remote host (10054), on API 'send']");
  EXPECT_EQ(noAddress, "[No address specified]");
  EXPECT_EQ(active, "[Can't change value while socket is active]");
  EXPECT_EQ(SocketResourceString(SSocketAlreadyOpen), "Socket already open");
  EXPECT_EQ(SocketResourceString(SCannotCreateSocket), "Can't create new socket");
}

TEST(SocketMessages, FormatToleratesBrokenTemplates) {
  EXPECT_EQ(FormatMessageArgs("%s (%d) '%s'", {"a", "1", "b"}), "a (1) 'b'");
  EXPECT_EQ(FormatMessageArgs("%2:s %0:s %1:d", {"a", "1", "b"}), "b a 1");
  EXPECT_EQ(FormatMessageArgs("100%% %s %s %s", {"x"}), "100% x  ");  // missing arguments stay empty
  EXPECT_EQ(FormatMessageArgs("%x %", {"a"}), "%x %");
  EXPECT_EQ(FormatMessageArgs("%99999999999:s!", {"a"}), "!");
}

TEST(VerifySocketCall, ZeroNeverLooksAtTheLastError) {
  ws::WSASetLastError(ws::WSAECONNRESET);
  EXPECT_EQ(VerifySocketCall(0, "connect"), 0);
}

TEST(VerifySocketCall, WouldBlockIsNotAFailure) {
  ws::WSASetLastError(ws::WSAEWOULDBLOCK);
  EXPECT_EQ(VerifySocketCall(-1, "connect"), ws::WSAEWOULDBLOCK);
}

TEST(VerifySocketCall, OtherErrorsRaiseWithTheLabel) {
  ws::WSASetLastError(ws::WSAENOTSOCK);
  EXPECT_EQ(Raised([] { VerifySocketCall(-1, "closesocket"); }),
            "Windows socket error: The handle is not a socket (10038), on API 'closesocket'");
  ws::WSASetLastError(ws::WSAEINVAL);
  EXPECT_EQ(Raised([] { VerifySocketCall(1, "WSAASyncGetHostByName"); }),
            "Windows socket error: An argument is not valid (10022), on API 'WSAASyncGetHostByName'");
}

TEST(VerifySocketCall, TheRaisedErrorCarriesItsWinSockCause) {
  ws::WSASetLastError(ws::WSAECONNREFUSED);
  try {
    VerifySocketCall(-1, "connect");
    ADD_FAILURE() << "nothing raised";
  } catch (const ESocketError& e) {
    EXPECT_TRUE(e.Cause().Is(TErrorDomain::WinSock, ws::WSAECONNREFUSED));
    EXPECT_EQ(e.Cause().text, "The connection was refused by the remote host");
  }
}

TEST(WinSockStartup, CountedPerStartAndCleanupWithoutStartFails) {
  AcquireWinSock();
  AcquireWinSock();
  ReleaseWinSock();
  // Still started once: a socket can be made.
  const ws::SOCKET s = ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0);
  ASSERT_NE(s, ws::INVALID_SOCKET);
  EXPECT_EQ(ws::closesocket(s), 0);
  ReleaseWinSock();
  EXPECT_EQ(ws::socket(ws::AF_INET, ws::SOCK_STREAM, 0), ws::INVALID_SOCKET);
  EXPECT_EQ(ws::WSAGetLastError(), ws::WSANOTINITIALISED);
  EXPECT_EQ(Raised([] { ReleaseWinSock(); }),
            "Windows socket error: WinSock has not been started (10093), on API 'WSACleanup'");
}

TEST(WinSockStartup, VersionBelowOneIsRefused) {
  ws::WSADATA data;
  EXPECT_EQ(ws::WSAStartup(0x0000, &data), ws::WSAVERNOTSUPPORTED);
  ASSERT_EQ(ws::WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(ws::WSACleanup(), 0);
}

TEST(WinSockErrors, ErrnoTableGivesWinSockCodes) {
  using ws::posix::ErrorFromErrno;
  EXPECT_EQ(ErrorFromErrno(EAGAIN), 10035);
  EXPECT_EQ(ErrorFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(ErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(ErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(ErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(ErrorFromErrno(EPIPE), 10054);
  EXPECT_EQ(ErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(ErrorFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(ErrorFromErrno(EADDRNOTAVAIL), 10049);
  EXPECT_EQ(ErrorFromErrno(ENOTCONN), 10057);
  EXPECT_EQ(ErrorFromErrno(EMFILE), 10024);
  EXPECT_EQ(ErrorFromErrno(0), 0);
  EXPECT_EQ(ErrorFromErrno(EDOM), 10107);  // nothing closer in WinSock
}

TEST(WinSockAddresses, InetAddrAndByteOrder) {
  EXPECT_EQ(ws::inet_addr("127.0.0.1"), ws::htonl(0x7F000001));
  EXPECT_EQ(ws::inet_addr("10.1"), ws::htonl(0x0A000001));
  EXPECT_EQ(ws::inet_addr("server.example"), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr(""), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr("1.2.3.256"), ws::INADDR_NONE);
  EXPECT_EQ(ws::inet_addr(nullptr), ws::INADDR_NONE);
  const ws::u_short port = ws::htons(0x1234);
  EXPECT_EQ(reinterpret_cast<const unsigned char*>(&port)[0], 0x12);
  EXPECT_EQ(ws::ntohs(port), 0x1234);
  EXPECT_EQ(ws::ntohl(ws::htonl(0xA1B2C3D4u)), 0xA1B2C3D4u);
}

TEST(SocketMessages, AreEntriesOfTheProgramsStringTable) {
  char16_t buf[64];
  EXPECT_EQ(LoadStringW(HInstance, SWindowsSocketError, buf, 64), 42);
  EXPECT_EQ(std::u16string(buf), u"Windows socket error: %s (%d), on API '%s'");
  const ResourceStringRecord byId{&HInstance, SCantChangeWhileActive};
  EXPECT_EQ(DefaultLoadResourceString(&byId), "Can't change value while socket is active");
}

TEST(SocketMessages, NoAddressCodeHasTheComponentsTextNotTheSystems) {
  EXPECT_EQ(SysErrorMessage(kNoAddressCode), "");
  EXPECT_EQ(SocketSystemText(kNoAddressCode), "No host name or address was given");
  EXPECT_EQ(WinSockError(10061).text, "The connection was refused by the remote host");
}

// The error value: its tables, the last error's cause and the exceptions that carry it.
#include "runtime/errorvalue.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "platform/winsock/errortext.h"
#include "runtime/lasterror.h"

TEST(ErrorValue, EachDomainHasItsTableAndTheCauseTravelsWithTheLastError) {
  const TPlatformError denied = TPlatformError::FromErrno(EACCES, "/dev/ttyUSB0");
  EXPECT_TRUE(denied.Is(TErrorDomain::Errno, EACCES));
  EXPECT_EQ(denied.text, "Permission denied");
  EXPECT_EQ(DescribeError(denied), "Permission denied (errno 13): /dev/ttyUSB0");
  EXPECT_EQ(WinSockError(10061).text, "The connection was refused by the remote host");
  EXPECT_EQ(DescribeError(TPlatformError::FromOwn(owncause::LockFileHeld, "/run/lock/LCK..ttyS0", 42)),
            "A lock file of another process holds the device (comrelay 2), held by process 42: "
            "/run/lock/LCK..ttyS0");
  EXPECT_EQ(DescribeError(TPlatformError::FromErrno(4095)), "Unknown error (errno 4095)");
  EXPECT_FALSE(TPlatformError{});

  SetLastError(5, denied);
  EXPECT_EQ(GetLastError(), 5u);
  EXPECT_EQ(LastErrorCause().subject, "/dev/ttyUSB0");
  // A later error without a cause does not keep the old one.
  SetLastError(87);
  EXPECT_FALSE(LastErrorCause());

  EXPECT_TRUE(CauseOf(std::make_exception_ptr(ECausedError("m", denied))).Is(TErrorDomain::Errno, EACCES));
  EXPECT_FALSE(CauseOf(std::make_exception_ptr(std::runtime_error("plain"))));
  EXPECT_FALSE(CauseOf(std::make_exception_ptr(42)));
}

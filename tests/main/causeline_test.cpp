// The second red line: the cause of a failed open, written for the operator.
#include <cerrno>

#include "platform/text/qtext.h"
#include "relay/causetext.h"
#include "tests/main/fixture.h"

TEST_F(ConsoleTest, AFailedOpenKeepsItsLineAndAddsTheCauseInRed) {
  serial->unavailable.insert("ttyUSB0");
  serial->openFailure = TPlatformError::FromErrno(EACCES, "/dev/ttyUSB0");
  const std::size_t before = Lines();
  form->VwBtnOpenCloseClick(nullptr);
  ASSERT_EQ(Lines(), before + 2);
  EXPECT_EQ(Body(before), Q("系统：无法操作串口"));
  EXPECT_EQ(form->VwRichEdit->LineColor(before), clRed);
  EXPECT_EQ(LastBody(), Q("权限不足：/dev/ttyUSB0（请将用户加入 dialout 组）"));
  EXPECT_EQ(LastColor(), clRed);
  EXPECT_FALSE(form->SerialOpen());

  // A failure without a cause keeps the console's one line.
  serial->openFailure = {};
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_EQ(Lines(), before + 3);
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
}

TEST(CauseText, EachCauseReadsForTheOperator) {
  auto text = [](const TPlatformError& e) { return AnsiToQString(OperatorCauseText(e)); };
  auto q = [](const char* utf8) { return QString::fromUtf8(utf8); };
  EXPECT_EQ(text(TPlatformError::FromErrno(ENOENT, "/dev/ttyUSB9")), q("设备不存在：/dev/ttyUSB9"));
  EXPECT_EQ(text(TPlatformError::FromErrno(EWOULDBLOCK, "/dev/ttyS0", 1234)), q("端口被进程 1234 占用"));
  EXPECT_EQ(text(TPlatformError::FromErrno(EBUSY, "/dev/ttyS0")), q("端口被其他程序占用"));
  EXPECT_EQ(text(TPlatformError::FromOwn(owncause::LockFileHeld, "/run/lock/LCK..ttyS0", 77)),
            q("端口被进程 77 占用（锁文件 /run/lock/LCK..ttyS0）"));
  EXPECT_EQ(text(TPlatformError::FromOwn(owncause::HeldOpen, "/dev/ttyS0", 88)),
            q("端口被进程 88 占用（未加锁）"));
  EXPECT_EQ(text(TPlatformError::FromOwn(owncause::NotATerminal, "/dev/null")), q("不是串口设备：/dev/null"));
  EXPECT_EQ(text(TPlatformError::FromOwn(owncause::ParityRefused)), q("串口驱动不支持所选校验位"));
  EXPECT_EQ(text(TPlatformError::FromOwn(owncause::BaudRateRefused)), q("串口驱动不支持所选波特率"));
  // Causes without a text of their own are given in the system's words with their code.
  EXPECT_EQ(text(TPlatformError::FromErrno(EIO, "/dev/ttyUSB0")),
            q("原因：Input/output error (errno 5): /dev/ttyUSB0"));
  EXPECT_EQ(text(TPlatformError{}), QString());
}

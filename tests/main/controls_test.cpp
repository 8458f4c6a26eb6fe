#include <QTest>

#include "platform/winsock/errortext.h"
#include "runtime/exception.h"
#include "tests/main/fixture.h"

using endpoint::TByteSize;
using endpoint::TParity;
using endpoint::TStopBits;

TEST_F(ConsoleTest, StartsClosedWithTheFirstPortAndTheDefaultSettings) {
  Create({"ttyS1", "COM2", "com10", "ttyS0", "COM1"});
  EXPECT_EQ(form->VwCbBoxPort->Items(),
            (std::vector<std::string>{"COM1", "com10", "COM2", "ttyS0", "ttyS1"}));
  EXPECT_EQ(form->VwCbBoxPort->Text(), "COM1");
  EXPECT_EQ(form->VwCbBoxBand->Text(), "9600");
  EXPECT_EQ(form->VwCbBoxData->Text(), "8");
  EXPECT_EQ(form->VwCbBoxParity->Text(), Ansi("无"));
  EXPECT_EQ(form->FlatCbBoxStop->Text(), "1");
  EXPECT_EQ(form->VwSEditTimeOut->Value(), 50);
  EXPECT_EQ(form->VwEdit->Text(), "127.0.0.1");
  EXPECT_EQ(form->VwNumEdit->Value(), 8887);
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(form->LEDConnect->BrushColor(), clSilver);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Open());
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  EXPECT_EQ(form->VwLabelSendSocket->Caption(), "0" + texts::Bytes());
  EXPECT_EQ(Lines(), 0u);
  EXPECT_FALSE(serial->open);
  EXPECT_EQ(serial->openCalls, 0);
  EXPECT_EQ(serial->commName, "COM1");
  EXPECT_EQ(serial->baudRate, 9600u);
  EXPECT_EQ(serial->byteSize, TByteSize::_8);
  EXPECT_EQ(serial->parity, TParity::None);
  EXPECT_EQ(serial->stopBits, TStopBits::_1);
  EXPECT_EQ(serial->interval, 50u);
}

TEST_F(ConsoleTest, UnreadablePortListIsShownAndTheWindowStillWorks) {
  std::vector<std::string> shown;
  auto previous = SetExceptionDisplay([&](const std::string& m) { shown.push_back(m); });
  Create({"ttyS0"}, /*portsReadable=*/false);
  SetExceptionDisplay(previous);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], texts::PortListError());
  EXPECT_TRUE(form->VwCbBoxPort->Items().empty());
  // The component keeps the values it was created with.
  EXPECT_EQ(serial->commName, "COM1");
  EXPECT_EQ(serial->interval, 100u);
  EXPECT_FALSE(form->SerialOpen());
  // Every open attempt goes to the resource's port name, which this machine does not have.
  serial->unavailable.insert("COM1");
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
}

TEST_F(ConsoleTest, OpenAndCloseShowTheStateAndLogIt) {
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_TRUE(serial->open);
  EXPECT_EQ(form->LEDOpen->BrushColor(), clGreen);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Close());
  EXPECT_EQ(LastBody(), Q("系统：成功打开串口"));
  EXPECT_EQ(LastColor(), clRed);
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_FALSE(serial->open);
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Open());
  EXPECT_EQ(LastBody(), Q("系统：成功关闭串口"));
}

TEST_F(ConsoleTest, SettingsChangeClosesAppliesAndReopens) {
  OpenPort();
  const std::size_t before = Lines();
  form->VwCbBoxBand->SetItemIndex(10);  // 115200
  form->VwCbBoxParity->SetItemIndex(4);
  form->VwCbBoxPortChange(form->VwCbBoxBand);
  ASSERT_EQ(Lines(), before + 2);
  EXPECT_EQ(Body(before), Q("系统：成功关闭串口"));
  EXPECT_EQ(Body(before + 1), Q("系统：成功打开串口"));
  ASSERT_EQ(serial->openedWith.size(), 2u);
  EXPECT_EQ(serial->openedWith[1].baud, 115200u);
  EXPECT_EQ(serial->openedWith[1].parity, TParity::Space);
  EXPECT_TRUE(form->SerialOpen());
}

TEST_F(ConsoleTest, HeldPortFailsToOpenAndNetworkBlocksAreNotWritten) {
  serial->unavailable.insert("ttyUSB0");
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Open());
  net->ServerSends("data");
  EXPECT_TRUE(LastBody().startsWith(Q("网络收到(4)")));
  EXPECT_TRUE(serial->written.empty());
  // A change while closed still ends with an open attempt.
  serial->unavailable.clear();
  form->VwCbBoxPortChange(form->VwCbBoxData);
  EXPECT_EQ(Body(Lines() - 2), Q("系统：成功关闭串口"));
  EXPECT_EQ(LastBody(), Q("系统：成功打开串口"));
}

TEST_F(ConsoleTest, TypingIntoTheTimeOutRunsTheSequencePerChange) {
  OpenPort();
  form->VwSEditTimeOut->setFocus();
  form->VwSEditTimeOut->selectAll();
  QTest::keyClicks(form->VwSEditTimeOut, "75");
  // "7" then "75": two close/apply/open rounds, each with the field's value then.
  ASSERT_GE(serial->openedWith.size(), 3u);
  EXPECT_EQ(serial->openedWith[serial->openedWith.size() - 2].interval, 7u);
  EXPECT_EQ(serial->openedWith.back().interval, 75u);
}

TEST_F(ConsoleTest, LostDeviceShowsThePortClosed) {
  OpenPort();
  serial->Hangup();
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Open());
  EXPECT_EQ(LastBody(), Q("系统：无法操作串口"));
  net->ServerSends("x");
  EXPECT_TRUE(LastBody().startsWith(Q("网络收到")));
  EXPECT_TRUE(serial->written.empty());
  form->VwBtnOpenCloseClick(nullptr);
  EXPECT_TRUE(form->SerialOpen());
}

TEST_F(ConsoleTest, ConnectAndDisconnectShowTheState) {
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(net->host, "127.0.0.1");
  EXPECT_EQ(net->port, 8887);
  EXPECT_EQ(net->connectAttempts, 1);
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  net->CompleteConnect();
  EXPECT_EQ(LastBody(), Q("系统：已连接到服务器"));
  EXPECT_EQ(form->LEDConnect->BrushColor(), clGreen);
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Disconnect());
  form->VwBtnConnectClick(nullptr);
  EXPECT_FALSE(net->Active());
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  EXPECT_EQ(form->LEDConnect->BrushColor(), clSilver);
}

TEST_F(ConsoleTest, RefusedConnectLogsTheSystemTextOnly) {
  form->VwBtnConnectClick(nullptr);
  const std::size_t before = Lines();
  EXPECT_EQ(net->RefuseConnect(10061), 0);  // the handler cleared the code
  ASSERT_EQ(Lines(), before + 1);
  EXPECT_EQ(LastBody(), Q("系统：Connection refused"));
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  // A code without a system text gives the bare prefix.
  net->RefuseConnect(12345);
  EXPECT_EQ(LastBody(), Q("系统："));
}

TEST_F(ConsoleTest, FailedLookupLogsErrorThenDisconnect) {
  form->VwEdit->SetText("no.such.host.invalid");
  form->VwBtnConnectClick(nullptr);
  net->FailLookup(11001);
  EXPECT_EQ(Body(Lines() - 2), Q("系统："));
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
}

TEST_F(ConsoleTest, ChangedFieldsWhileConnectedAreRefusedAndTheConnectionStays) {
  Connect();
  form->VwNumEdit->SetValue(9000);
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(LastBody(), Q("系统：无法连接到服务器"));
  EXPECT_TRUE(net->Active());
  form->VwNumEdit->SetValue(8887);
  form->VwEdit->SetText("127.0.0.1");
  form->VwBtnConnectClick(nullptr);
  EXPECT_FALSE(net->Active());
}

TEST_F(ConsoleTest, EmptyPortFieldCountsAsZeroAndIsRefused) {
  form->VwNumEdit->SetText("");
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(net->connectAttempts, 0);
  EXPECT_EQ(Body(Lines() - 2), Q("系统：无法连接到服务器"));
  EXPECT_EQ(LastBody(), Q("系统：端口0超出范围(1-65535)"));
}

TEST_F(ConsoleTest, ClickWhileConnectingGivesTheAttemptUp) {
  form->VwBtnConnectClick(nullptr);
  ASSERT_TRUE(net->Connecting());
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(net->connectAttempts, 1) << "no second attempt on top of the first";
  EXPECT_FALSE(net->Connecting());
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(net->connectAttempts, 2);
}

TEST_F(ConsoleTest, ClosingTheWindowClosesBothEnds) {
  OpenPort();
  Connect();
  form->close();
  EXPECT_FALSE(serial->open);
  EXPECT_FALSE(net->Active());
  EXPECT_EQ(LastBody(), Q("系统：已从服务器断开"));
}

TEST(SystemText, StrippedOfTrailingBlanksControlsAndFullStops) {
  EXPECT_EQ(StripSystemText("No connection could be made.\r\n"), "No connection could be made");
  EXPECT_EQ(StripSystemText(". . \t"), "");
  EXPECT_EQ(StripSystemText("a.b"), "a.b");
  EXPECT_EQ(StripSystemText(std::string(300, 'x')).size(), 256u);
}

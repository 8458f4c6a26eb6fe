// TSerialPort against the fake device: line events, line settings reaching the device, short
// and failing writes, failing set-up.
#include <gtest/gtest.h>

#include <chrono>

#include "tests/comm/serialfixture.h"
#include "tests/support/fake_serial.h"

namespace {
using namespace std::chrono_literals;

struct LineEvents : ::testing::Test {
  TFakeSerialPort fake{"fakeLine0"};
  TRecordedPort p{fake.Name()};
  void SetUp() override {
    p.port.Open();
    ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
    p.order.clear();
  }
};
}  // namespace

TEST_F(LineEvents, ErrorIsRaisedBeforeTheModemChangeOfTheSameEvent) {
  fake.ChangeLines(TLineSample::Carrier, /*frame*/ 1, /*overrun*/ 1);
  ASSERT_TRUE(PumpUntil([&] { return p.order.size() >= 2; }));
  EXPECT_EQ(p.order, (std::vector<std::string>{"error", "modem"}));
  EXPECT_EQ(p.errors, (std::vector<DWORD>{CE_FRAME | CE_OVERRUN}));
  EXPECT_EQ(p.modem, (std::vector<DWORD>{8}));
  // Reception goes on.
  fake.Line().Write("data");
  ASSERT_TRUE(PumpUntil([&] { return p.Received() == "data"; }));
}

TEST_F(LineEvents, RingWithCarrierGivesTwelveAndErrorsAloneNoModemEvent) {
  fake.ChangeLines(TLineSample::Carrier | TLineSample::Ring);
  ASSERT_TRUE(PumpUntil([&] { return !p.modem.empty(); }));
  EXPECT_EQ(p.modem, (std::vector<DWORD>{12}));
  fake.ChangeLines(TLineSample::Carrier | TLineSample::Ring, 0, 0, /*parity*/ 1, /*break*/ 1);
  ASSERT_TRUE(PumpUntil([&] { return !p.errors.empty(); }));
  PumpFor(100ms);
  EXPECT_EQ(p.errors, (std::vector<DWORD>{CE_RXPARITY | CE_BREAK}));
  EXPECT_EQ(p.modem.size(), 1u);
  EXPECT_EQ(p.hangups, 0);
}

TEST_F(LineEvents, AnEventWithNoneOfTheWatchedOnesEndsReceptionButNotThePort) {
  fake.ForceEvent(EV_CTS);
  ASSERT_TRUE(PumpUntil([&] { return p.hangups == 1; }));
  fake.Line().Write("unheard");
  PumpFor(300ms);
  EXPECT_TRUE(p.blocks.empty());
  // Still open: writing works, and a second Open says so.
  EXPECT_TRUE(p.port.WriteData("w", 1));
  EXPECT_EQ(fake.Line().Read(1, 5s), "w");
  EXPECT_EQ(SerialErrorOf([&] { p.port.Open(); }), Ansi("此串口已经打开"));
  p.port.Close();
}

TEST_F(LineEvents, AFailingDeviceRequestsHangupOnce) {
  fake.Fail(TFakeCall::Read);
  fake.Line().Write("x");
  ASSERT_TRUE(PumpUntil([&] { return p.hangups >= 1; }));
  PumpFor(200ms);
  EXPECT_EQ(p.hangups, 1);
  fake.Fail(TFakeCall::Write);
  EXPECT_TRUE(p.port.WriteData("y", 1));
  ASSERT_TRUE(PumpUntil([&] { return p.hangups == 2; }));
  // The transmit thread ends right after: from then on nothing is accepted until the port is
  // reopened.
  EXPECT_TRUE(PumpUntil([&] { return !p.port.WriteData("z", 1); }));
  PumpFor(50ms);
  EXPECT_EQ(p.hangups, 2);
  p.port.Close();
}

// A write time-out shorter than the device's pauses ends each write with part of the block
// sent; the transmit thread carries on from there.
TEST(SerialPortWriteFake, ShortWritesAreContinuedUntilTheBlockIsComplete) {
  TFakeSerialPort fake("fakeShort0");
  fake.LimitWrites(7);
  TRecordedPort p(fake.Name());
  p.port.SetWriteTotalTimeoutConstant(5);
  p.port.Open();
  ASSERT_TRUE(PumpUntil([&] { return p.empties == 1; }));
  const std::string block = "0123456789abcdefghijklmnopqrstuvwxyz";
  ASSERT_TRUE(p.port.WriteData(block.data(), static_cast<WORD>(block.size())));
  ASSERT_TRUE(p.port.WriteData("!", 1));
  EXPECT_EQ(fake.Line().Read(block.size() + 1, 5s), block + "!");
  // The transmit thread may finish the block before "!" is queued: one or two empty notices.
  ASSERT_TRUE(PumpUntil([&] { return p.empties >= 2 && p.port.PendingWriteBytes() == 0; }));
  EXPECT_EQ(p.hangups, 0);
}

TEST(SerialPortOpenFake, FailingQueueSetupClosesEverything) {
  TFakeSerialPort fake("fakeSetup0");
  fake.Fail(TFakeCall::Setup);
  TRecordedPort p(fake.Name());
  const std::size_t handles = OpenHandleCount();
  EXPECT_EQ(SerialErrorOf([&] { p.port.Open(); }), Ansi("初始化缓冲区出错"));
  EXPECT_EQ(OpenHandleCount(), handles);
  EXPECT_FALSE(p.port.WriteData("x", 1));
  fake.Fail(TFakeCall::Setup, false);
  p.port.Open();
  p.port.Close();
}

TEST(SerialPortSettings, PropertiesReachTheDeviceOnlyWhenTheyShould) {
  TFakeSerialPort fake("fakeSettings0");
  TSerialPort port;
  port.SetCommName(fake.Name());
  // Closed: only stored.
  port.SetBaudRate(56000);
  port.SetParity(TParity::Odd);
  port.SetByteSize(TByteSize::_7);
  port.SetStopBits(TStopBits::_2);
  port.SetDtrControl(TDtrControl::DtrDisable);
  EXPECT_EQ(fake.OpenCount(), 0);
  port.Open();
  TFakeLineRecord r = fake.Record();
  ASSERT_EQ(r.setAttributesCalls, 1);
  EXPECT_EQ(r.attributes.c_ospeed, 56000u);
  EXPECT_EQ(r.attributes.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
            static_cast<tcflag_t>(CS7 | PARENB | PARODD | CSTOPB));
  EXPECT_FALSE(r.dtr);
  EXPECT_TRUE(r.rts);
  // Defaults: XON/XOFF both ways.
  EXPECT_EQ(r.attributes.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));

  // Equal values touch nothing, while open.
  port.SetBaudRate(56000);
  port.SetDtrControl(TDtrControl::DtrDisable);
  port.SetReadIntervalTimeout(100);
  EXPECT_EQ(fake.Record().setAttributesCalls, 1);
  EXPECT_EQ(fake.Record().modemLineCalls, r.modemLineCalls);

  // Parity alone is stored; the next change of a line property brings it in.
  port.SetParity(TParity::Space);
  EXPECT_EQ(fake.Record().setAttributesCalls, 1);
  EXPECT_EQ(fake.Record().attributes.c_cflag & (PARENB | PARODD | CMSPAR),
            static_cast<tcflag_t>(PARENB | PARODD));
  port.SetBaudRate(115200);
  r = fake.Record();
  EXPECT_EQ(r.setAttributesCalls, 2);
  EXPECT_EQ(r.attributes.c_ospeed, 115200u);
  EXPECT_EQ(r.attributes.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(PARENB | CMSPAR));

  // Each line property re-applies on its own.
  port.SetOutx_XonXoffFlow(false);
  EXPECT_EQ(fake.Record().attributes.c_iflag & IXON, 0u);
  port.SetOutx_CtsFlow(true);
  EXPECT_TRUE(fake.Record().attributes.c_cflag & CRTSCTS);
  port.SetRtsControl(TRtsControl::RtsDisable);
  EXPECT_FALSE(fake.Record().rts);
  port.SetXonChar('A');
  EXPECT_EQ(fake.Record().attributes.c_cc[VSTART], 'A');
  EXPECT_EQ(fake.Record().setAttributesCalls, 6);
  // CommName while open changes nothing until the next Open.
  port.SetCommName("elsewhere");
  EXPECT_TRUE(port.WriteData("x", 1));
  port.Close();
}

TEST(SerialPortSettings, LineRecordIsRebuiltFromZero) {
  TSerialPort port;
  DCB base;
  base.Flags = 0xFFFFFFFFu;  // abort-on-error and every other flag left on by someone else
  base.EofChar = 26;
  const DCB dcb = BuildLineRecord(port, base);
  // Defaults: binary, DTR and RTS enable, TX continue on XOFF, XON/XOFF both ways.
  EXPECT_EQ(dcb.Flags, dcbflag::fBinary | (1u << 4) | dcbflag::fTXContinueOnXoff | dcbflag::fOutX |
                           dcbflag::fInX | (1u << 12));
  EXPECT_EQ(dcb.EofChar, 26);
  EXPECT_EQ(dcb.XonLim, 500);
  EXPECT_EQ(dcb.ByteSize, 8);
  port.SetDtrControl(TDtrControl::DtrDisable);
  port.SetRtsControl(TRtsControl::RtsTransmissionAvailable);
  port.SetByteSize(TByteSize::_5);
  port.SetStopBits(TStopBits::_1_5);
  port.SetParityCheck(true);
  const DCB d2 = BuildLineRecord(port, base);
  EXPECT_EQ(d2.DtrControl(), DTR_CONTROL_DISABLE);
  EXPECT_EQ(d2.RtsControl(), RTS_CONTROL_TOGGLE);
  EXPECT_EQ(d2.ByteSize, 5);
  EXPECT_EQ(d2.StopBits, ONE5STOPBITS);
  EXPECT_TRUE(d2.Flags & dcbflag::fParity);
  EXPECT_FALSE(d2.Flags & dcbflag::fAbortOnError);

  const COMMTIMEOUTS t = BuildTimeoutRecord(port);
  EXPECT_EQ(t.ReadIntervalTimeout, 100u);
  EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
}

// The window across the moments its serial port is closed and opened again: a device lost while
// its notice is still on the way, a settings change while network bytes are held back.
#include <thread>

#include "tests/e2e/relaywindow.h"

namespace {
using namespace std::chrono_literals;

class TwoPorts : public RelayWindow {
 protected:
  void SetUp() override {
    pty = std::make_unique<TPseudoTerminal>();
    second = std::make_unique<TPseudoTerminal>();
    server = std::make_unique<loopback::TServer>();
    form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({pty->Path(), second->Path()})));
    form->show();
  }
  void Select(const std::string& path) {
    const auto items = form->VwCbBoxPort->Items();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i] == path) form->VwCbBoxPort->SetItemIndex(int(i));
    ASSERT_EQ(form->VwCbBoxPort->Text(), path);
  }
  int Count(const char* utf8) {
    int n = 0;
    for (std::size_t i = 0; i < Lines(); ++i) n += Body(i) == Q(utf8);
    return n;
  }
  std::unique_ptr<TPseudoTerminal> second;
};
}  // namespace

TEST_F(TwoPorts, AStaleLossNoticeDoesNotCloseThePortOpenedAfterIt) {
  Select(pty->Path());
  OpenPort();
  pty->CloseMaster();  // the old device dies
  // Its notice is posted; the operator switches ports before the window has seen it.
  std::this_thread::sleep_for(300ms);
  Select(second->Path());
  form->VwCbBoxPortChange(form->VwCbBoxPort);
  PumpUntil([] { return false; }, 300ms);
  EXPECT_TRUE(form->SerialOpen());
  EXPECT_EQ(Count("系统：无法操作串口"), 0);
  EXPECT_EQ(LastBody(), Q("系统：成功打开串口"));
  // The new port is the one in use.
  form->VwCheckBoxHex->SetChecked(false);
  second->Write("new device");
  EXPECT_TRUE(PumpUntil([&] { return LastBody() == Q("串口收到(10):new device"); }));
}

TEST_F(RelayWindow, ALossWhileWritingLogsOneFailureLine) {
  OpenPort();
  pty->CloseMaster();
  // Both threads meet the loss before the window hears of either.
  form->Comm->WriteData("lost", 4);
  std::this_thread::sleep_for(300ms);
  PumpUntil([] { return false; }, 300ms);
  EXPECT_FALSE(form->SerialOpen());
  int failures = 0;
  for (std::size_t i = 0; i < Lines(); ++i) failures += Body(i) == Q("系统：无法操作串口");
  EXPECT_EQ(failures, 1);
}

TEST_F(RelayWindow, NoFailureLineAfterTheOperatorClosedThePort) {
  OpenPort();
  pty->CloseMaster();
  std::this_thread::sleep_for(300ms);
  Click(form->VwBtnOpenClose);  // closed by hand before the notice arrives
  PumpUntil([] { return false; }, 300ms);
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(LastBody(), Q("系统：成功关闭串口"));
}

TEST_F(RelayWindow, NetworkBytesHeldBackWaitForThePortToReopen) {
  OpenPort();
  Connect();
  form->VwCheckBoxHex->SetChecked(false);
  // Past the high-water mark while the far end of the serial line reads nothing, with enough
  // left over that the socket still holds some when the mark is reached (one read may take as
  // much as the socket's receive buffer).
  const std::string bytes(8 * TFormMain::SerialHighWater, 'h');
  std::size_t sent = 0;
  ASSERT_TRUE(PumpUntil(
      [&] {
        sent += server->SendSome(bytes.data() + sent, bytes.size() - sent);
        return form->NetworkReadsHeld();
      },
      60s));
  form->VwCbBoxBand->SetItemIndex(11);  // 115200
  form->VwCbBoxPortChange(form->VwCbBoxBand);
  ASSERT_TRUE(form->SerialOpen());
  // Nothing was read while the port was closed for the change.
  for (std::size_t i = 0; i < Lines(); ++i) EXPECT_FALSE(Body(i).startsWith(Q("网络收到"))) << i;
  // Everything still reaches the serial side once the line drains.
  std::string sink;
  EXPECT_TRUE(PumpUntil(
      [&] {
        if (sent < bytes.size()) sent += server->SendSome(bytes.data() + sent, bytes.size() - sent);
        pty->ReadAvailable(sink);
        return form->BytesToSerial() == std::int64_t(bytes.size());
      },
      120s));
  for (std::size_t i = 0; i < Lines(); ++i) EXPECT_FALSE(Body(i).startsWith(Q("网络收到"))) << i;
}

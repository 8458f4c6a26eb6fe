// Reopening a lost device: found again by its /dev/serial/by-id link when it comes back under
// another name, waited for when absent at start, and given up by the operator's click.
#include <unistd.h>

#include <QTemporaryDir>

#include "platform/devices/stablelink.h"
#include "tests/relay/corefixture.h"
#include "tests/support/pump.h"

using namespace std::chrono_literals;

namespace {
class ReopenTest : public CoreTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    byId = dir.path().toStdString() + "/by-id";
    ASSERT_EQ(mkdir(byId.c_str(), 0755), 0);
    link = byId + "/usb-Maker_Adapter_A1B2-if00-port0";
    relay::TRecovery r = Fast(true);
    r.byIdDir = byId;
    Make(r);
  }
  void Plug(const char* device) { ASSERT_EQ(symlink(device, link.c_str()), 0); }
  void Unplug() { ASSERT_EQ(unlink(link.c_str()), 0); }
  static void Idle(std::chrono::milliseconds t) {
    PumpUntil([] { return false; }, t);
  }

  QTemporaryDir dir;
  std::string byId;
  std::string link;
};
}  // namespace

TEST_F(ReopenTest, StableNamesPreferTheByIdLink) {
  Plug("/dev/null");
  EXPECT_EQ(StableDeviceName("/dev/null", byId), link);  // the device, found through its link
  EXPECT_EQ(StableDeviceName(link, byId), link);         // a link given stays the name
  EXPECT_EQ(StableDeviceName("usb-Maker_Adapter_A1B2-if00-port0", byId), link);
  EXPECT_EQ(StableDeviceName("/dev/zero", byId), "/dev/zero");  // no link: its own path
  EXPECT_EQ(StableDeviceName("ttyUSB97", byId), "/dev/ttyUSB97");
  Unplug();
  // An adapter's by-id name while it is away still means the link.
  EXPECT_EQ(StableDeviceName("usb-Maker_Adapter_A1B2-if00-port0", byId), link);
  EXPECT_TRUE(CharacterDevicePresent("/dev/null"));
  EXPECT_FALSE(CharacterDevicePresent(link));
  EXPECT_FALSE(CharacterDevicePresent(byId));  // a folder is no device
}

TEST_F(ReopenTest, ADeviceBackUnderAnotherNameIsReopenedThroughItsLink) {
  Plug("/dev/null");
  serial.commName = "/dev/null";
  core->SetSerialOpen(true);
  ASSERT_TRUE(core->SerialOpen());
  EXPECT_EQ(core->DeviceName(), link);

  Unplug();
  serial.Hangup();
  EXPECT_EQ(view.Since(view.lines.size() - 2),
            (std::vector<std::string>{texts::SerialFailed(), texts::DeviceGone(link)}));
  EXPECT_TRUE(core->WaitingForDevice());
  Idle(100ms);
  EXPECT_EQ(serial.openCalls, 1);  // nothing to open while the link is gone

  const std::size_t before = view.lines.size();
  Plug("/dev/zero");  // the adapter, back as another device
  ASSERT_TRUE(PumpUntil([&] { return core->SerialOpen(); }, 5s));
  EXPECT_EQ(serial.commName, link);
  EXPECT_EQ(view.Since(before), (std::vector<std::string>{texts::DeviceBack(link), texts::SerialOpened()}));
  EXPECT_EQ(view.serialShown, (std::vector<bool>{true, false, true}));
  EXPECT_FALSE(core->WaitingForDevice());
  // Network blocks go to the reopened port.
  core->SocketDataArrived("after");
  EXPECT_EQ(serial.written.back(), "after");
}

TEST_F(ReopenTest, ADeviceAbsentAtStartIsWaitedFor) {
  serial.commName = link;
  serial.unavailable.insert(link);
  core->KeepSerialOpen();
  EXPECT_FALSE(core->SerialOpen());
  EXPECT_EQ(view.Count(texts::SerialFailed()), 1);
  EXPECT_EQ(Last(), texts::DeviceGone(link));
  serial.unavailable.clear();
  Idle(60ms);
  EXPECT_FALSE(core->SerialOpen());  // still no device behind the name
  Plug("/dev/null");
  ASSERT_TRUE(PumpUntil([&] { return core->SerialOpen(); }, 5s));
  EXPECT_EQ(Last(), texts::SerialOpened());
}

TEST_F(ReopenTest, AnOpenThatKeepsFailingIsSaidOnceThenTriedQuietly) {
  Plug("/dev/null");
  serial.commName = link;
  core->SetSerialOpen(true);
  serial.unavailable.insert(link);
  serial.openFailure = TPlatformError::FromErrno(EACCES, link);
  serial.Hangup();
  const int opensBefore = serial.openCalls;
  ASSERT_TRUE(PumpUntil([&] { return serial.openCalls >= opensBefore + 4; }, 5s));
  int causes = 0;
  for (const auto& l : view.lines) causes += l.text.find(Ansi("权限不足")) != std::string::npos;
  EXPECT_EQ(causes, 1);
  serial.unavailable.clear();
  ASSERT_TRUE(PumpUntil([&] { return core->SerialOpen(); }, 5s));
}

TEST_F(ReopenTest, APortHeldByAnotherProgramHasNotGoneNorComeBack) {
  Plug("/dev/null");
  serial.commName = link;
  serial.unavailable.insert(link);
  serial.openFailure = TPlatformError::FromErrno(EBUSY, link);
  core->KeepSerialOpen();
  EXPECT_TRUE(core->WaitingForDevice());
  Idle(60ms);
  serial.unavailable.clear();
  ASSERT_TRUE(PumpUntil([&] { return core->SerialOpen(); }, 5s));
  EXPECT_EQ(view.Count(texts::DeviceGone(link)), 0);
  EXPECT_EQ(view.Count(texts::DeviceBack(link)), 0);
  EXPECT_EQ(Last(), texts::SerialOpened());
}

TEST_F(ReopenTest, APortHeldAtStartThatIsUnpluggedMeanwhileIsSaidGoneAndBack) {
  Plug("/dev/null");
  serial.commName = link;
  serial.unavailable.insert(link);
  core->KeepSerialOpen();
  Idle(40ms);
  EXPECT_EQ(view.Count(texts::DeviceGone(link)), 0);
  Unplug();
  ASSERT_TRUE(PumpUntil([&] { return view.Count(texts::DeviceGone(link)) == 1; }, 5s));
  serial.unavailable.clear();
  Plug("/dev/zero");
  ASSERT_TRUE(PumpUntil([&] { return core->SerialOpen(); }, 5s));
  EXPECT_EQ(view.Count(texts::DeviceGone(link)), 1);
  EXPECT_EQ(view.Count(texts::DeviceBack(link)), 1);
}

TEST_F(ReopenTest, TheOperatorsClickOrASettingsChangeEndsTheWait) {
  Plug("/dev/null");
  serial.commName = link;
  core->SetSerialOpen(true);
  Unplug();
  serial.Hangup();
  ASSERT_TRUE(core->WaitingForDevice());
  core->ToggleSerial();  // the click: stop waiting, nothing else
  EXPECT_FALSE(core->WaitingForDevice());
  EXPECT_FALSE(core->SerialOpen());
  EXPECT_EQ(Last(), texts::DeviceWaitStopped());
  Plug("/dev/null");
  Idle(80ms);
  EXPECT_FALSE(core->SerialOpen());

  core->ToggleSerial();  // the next click opens as ever
  ASSERT_TRUE(core->SerialOpen());
  serial.Hangup();
  ASSERT_TRUE(core->WaitingForDevice());
  serial.unavailable.insert(link);
  core->ChangeSerialSettings([] {});
  EXPECT_FALSE(core->WaitingForDevice());
  EXPECT_EQ(Last(), texts::SerialFailed());
}

TEST_F(ReopenTest, WithoutReopenALostDeviceStaysClosed) {
  relay::TRecovery r = Fast(false);
  r.byIdDir = byId;
  Make(r);
  Plug("/dev/null");
  serial.commName = link;
  core->SetSerialOpen(true);
  serial.Hangup();
  EXPECT_FALSE(core->WaitingForDevice());
  Idle(60ms);
  EXPECT_EQ(serial.openCalls, 1);
  EXPECT_EQ(Last(), texts::SerialFailed());
}

// Recovery in the window: off at every start, turned on from the context menu of each settings
// group, and then the window reconnects and waits for its device like the service.
#include <QAction>

#include "tests/main/fixture.h"
#include "tests/support/pump.h"

namespace {
QAction* MenuAction(QWidget* group) {
  EXPECT_EQ(group->contextMenuPolicy(), Qt::ActionsContextMenu);
  const auto actions = group->actions();
  EXPECT_EQ(actions.size(), 1);
  return actions.isEmpty() ? nullptr : actions.front();
}
}  // namespace

TEST_F(ConsoleTest, RecoveryIsOffUntilTheOperatorTurnsItOn) {
  QAction* reopen = MenuAction(form->VwGroupBox1);
  QAction* reconnect = MenuAction(form->VwGroupBox2);
  ASSERT_TRUE(reopen && reconnect);
  EXPECT_EQ(reopen->text(), Q("设备重新出现时自动打开串口"));
  EXPECT_EQ(reconnect->text(), Q("断线后自动重新连接服务器"));
  EXPECT_FALSE(reopen->isChecked());
  EXPECT_FALSE(reconnect->isChecked());

  // Off: a refused connect stays refused, as the window always did.
  form->VwBtnConnectClick(nullptr);
  net->RefuseConnect(10061);
  EXPECT_FALSE(form->Core().Reconnecting());
  EXPECT_EQ(LastBody(), Q("系统：Connection refused"));

  reconnect->setChecked(true);
  EXPECT_TRUE(form->Core().Recovery().reconnect);
  EXPECT_FALSE(form->Core().Recovery().reopen);
  form->VwBtnConnectClick(nullptr);
  net->RefuseConnect(10061);
  EXPECT_EQ(LastBody(), Q("系统：1秒后第1次重新连接服务器"));
  EXPECT_EQ(form->VwBtnConnect->Caption(), texts::Connect());
  // The operator's click ends it; the button still reads as before.
  form->VwBtnConnectClick(nullptr);
  EXPECT_EQ(LastBody(), Q("系统：已停止重新连接服务器"));
  EXPECT_FALSE(form->Core().Reconnecting());

  reopen->setChecked(true);
  EXPECT_TRUE(form->Core().Recovery().reopen);
  reconnect->setChecked(false);
  EXPECT_FALSE(form->Core().Recovery().reconnect);
}

TEST_F(ConsoleTest, WithReopenOnALostDeviceIsOpenedAgainWhenItIsBack) {
  relay::TRecovery recovery = form->Core().Recovery();
  recovery.reopen = true;
  recovery.devicePoll = std::chrono::milliseconds(10);
  form->Core().SetRecovery(recovery);
  serial->commName = "/dev/null";
  form->VwCbBoxPort->SetItems({"/dev/null"});
  form->VwCbBoxPort->SetItemIndex(0);
  form->VwCbBoxPortChange(nullptr);
  ASSERT_TRUE(form->SerialOpen());
  serial->Hangup();
  EXPECT_EQ(form->LEDOpen->BrushColor(), clSilver);
  EXPECT_EQ(LastBody(), Q("系统：串口设备已断开，等待其重新出现：/dev/null"));
  ASSERT_TRUE(PumpUntil([&] { return form->SerialOpen(); }));
  EXPECT_EQ(form->LEDOpen->BrushColor(), clGreen);
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Close());
  EXPECT_EQ(LastBody(), Q("系统：成功打开串口"));
}

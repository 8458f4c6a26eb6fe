#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>

#include "main/consoleparts.h"
#include "main/formmain.h"
#include "platform/text/codepage.h"
#include "relay/texts.h"
#include "widgets/application.h"

TEST(Startup, MissingPortListIsShownBeforeTheWindowWhichThenWorks) {
  TApplication application;
  application.Initialize();
  std::vector<std::pair<std::string, std::string>> boxes;
  application.SetMessageBoxHook(
      [&](const std::string& title, const std::string& message) { boxes.emplace_back(title, message); });
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(SysfsPortSource("/nonexistent/sys/class/tty")));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].second, texts::PortListError() + ".");
  EXPECT_EQ(boxes[0].first, application.Title());
  EXPECT_FALSE(form->isVisible());  // shown before the window
  EXPECT_TRUE(form->VwCbBoxPort->Items().empty());
  EXPECT_EQ(form->Comm->CommName(), "COM1");
  EXPECT_EQ(form->Comm->BaudRate(), 9600u);
  EXPECT_EQ(form->Comm->ReadIntervalTimeout(), 100u);
  EXPECT_EQ(form->BytesToSerial(), 0);
  form->show();
  form->VwBtnOpenCloseClick(nullptr);  // there is no /dev/COM1 here
  EXPECT_FALSE(form->SerialOpen());
  EXPECT_EQ(form->VwRichEdit->LineText(0).mid(14), QString::fromUtf8("系统：无法操作串口"));
  EXPECT_EQ(form->VwRichEdit->LineText(1).mid(14), QString::fromUtf8("设备不存在：/dev/COM1"));
}

TEST(Startup, SysfsPortsAreListedSortedAndTheFirstApplied) {
  QTemporaryDir root;
  for (const char* name : {"ttyUSB1", "ttyS0", "ttyACM0", "ttyUSB0"})
    QDir(root.path()).mkpath(QString("%1/device").arg(name));
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(SysfsPortSource(root.path().toStdString())));
  EXPECT_EQ(form->VwCbBoxPort->Items(), (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}));
  EXPECT_EQ(form->Comm->CommName(), "ttyACM0");
  EXPECT_EQ(form->Comm->ReadIntervalTimeout(), 50u);
  EXPECT_EQ(form->VwRichEdit->LineCount(), 0u);
}

TEST(Layout, EveryControlWhereTheFormPutsIt) {
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({})));
  form->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(form->windowTitle(), QString::fromUtf8("通讯转发"));
  EXPECT_EQ(form->size(), QSize(707, 534));
  auto at = [](QWidget* w) { return w->geometry(); };
  EXPECT_EQ(at(form->VwSizePanel1), QRect(0, 0, 185, 534));
  EXPECT_EQ(at(form->VwRichEdit), QRect(185, 0, 522, 534));
  EXPECT_EQ(at(form->VwGroupBox1), QRect(8, 8, 169, 185));
  EXPECT_EQ(at(form->VwGroupBox2), QRect(8, 200, 169, 129));
  EXPECT_EQ(at(form->VwGroupBox3), QRect(8, 336, 169, 81));
  EXPECT_EQ(at(form->VwGroupBox4), QRect(8, 424, 169, 113));
  EXPECT_EQ(at(form->VwCbBoxPort), QRect(64, 8, 89, 20));
  EXPECT_EQ(at(form->VwCbBoxBand), QRect(64, 32, 89, 20));
  EXPECT_EQ(at(form->VwCbBoxData), QRect(64, 56, 89, 20));
  EXPECT_EQ(at(form->VwCbBoxParity), QRect(64, 80, 89, 20));
  EXPECT_EQ(at(form->FlatCbBoxStop), QRect(64, 104, 89, 20));
  EXPECT_EQ(at(form->VwSEditTimeOut), QRect(64, 128, 89, 20));
  EXPECT_EQ(at(form->LEDOpen), QRect(31, 156, 15, 15));
  EXPECT_EQ(at(form->VwBtnOpenClose), QRect(72, 152, 75, 25));
  EXPECT_EQ(at(form->VwEdit), QRect(16, 32, 145, 20));
  EXPECT_EQ(at(form->VwNumEdit), QRect(56, 64, 81, 20));
  EXPECT_EQ(at(form->LEDConnect), QRect(31, 100, 15, 15));
  EXPECT_EQ(at(form->VwBtnConnect), QRect(72, 96, 75, 25));
  EXPECT_EQ(at(form->VwCheckBoxDisplay), QRect(16, 24, 73, 17));
  EXPECT_EQ(at(form->VwCheckBoxHex), QRect(96, 24, 65, 17));
  EXPECT_EQ(at(form->VwBtnClear), QRect(48, 48, 75, 25));
  EXPECT_EQ(at(form->VwLabelSendSocket), QRect(16, 40, 145, 20));
  EXPECT_EQ(at(form->VwLabelSendSerial), QRect(16, 80, 145, 20));
  EXPECT_EQ(form->VwNumEdit->text(), "8,887");
  EXPECT_EQ(form->VwEdit->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
  // Labels beside the lists.
  std::vector<QRect> labels;
  for (auto* child : form->VwGroupBox1->findChildren<TLabel*>()) labels.push_back(child->geometry());
  ASSERT_EQ(labels.size(), 6u);
  std::vector<int> tops;
  for (auto& r : labels) {
    EXPECT_EQ(r.left(), 16);
    tops.push_back(r.top());
  }
  std::sort(tops.begin(), tops.end());
  EXPECT_EQ(tops, (std::vector<int>{14, 37, 61, 85, 109, 133}));
  // The rendered window is not blank: the log view's background is the tooltip yellow.
  const QImage shot = form->grab().toImage();
  EXPECT_EQ(shot.pixelColor(600, 300), QColor(255, 255, 225));
}

TEST(Layout, SizeBarKeepsItsMinimumAndTheLogTakesTheRest) {
  auto form = std::make_unique<TFormMain>(MakeConsoleParts(FixedPortSource({})));
  form->show();
  EXPECT_EQ(form->VwSizePanel1->SetPanelWidth(50), 183);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->VwRichEdit->geometry(), QRect(183, 0, 707 - 183, 534));
  EXPECT_EQ(form->VwSizePanel1->SetPanelWidth(300), 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(form->VwRichEdit->geometry().left(), 300);
}

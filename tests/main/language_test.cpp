// The English catalogue made by msgfmt in the build, and the options that choose it and
// input XON/XOFF.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>

#include "main/captions.h"
#include "main/finddialog.h"
#include "main/settingsstore.h"
#include "platform/text/qtext.h"
#include "platform/winsock/errortext.h"
#include "relay/systemtexts.h"
#include "socket/socketerror.h"
#include "tests/main/features.h"

namespace {
QString Text(const std::string& ansi) { return AnsiToQString(ansi); }
}  // namespace

TEST_F(FeaturesTest, TheEnglishCatalogueTranslatesTheWindowTheLogAndTheErrorTexts) {
  SetConsoleLanguage(TConsoleLanguage::English, COMRELAY_LOCALE_DIR);
  Create({"ttyUSB0"});
  TConsoleSettings english;
  english.language = TConsoleLanguage::English;
  Attach(english);
  EXPECT_EQ(form->Caption(), "Serial-TCP relay");
  EXPECT_EQ(form->VwGroupBox1->Caption(), "Serial port");
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), "Open");
  EXPECT_EQ(form->VwCheckBoxDisplay->Caption(), "Show data");
  EXPECT_EQ(form->VwLabelSendSerial->Caption(), "0 bytes");
  EXPECT_EQ(form->VwCbBoxParity->Items(), (std::vector<std::string>{"None", "Odd", "Even", "Mark", "Space"}));
  // The mapping is by position, so the component still gets the right parity.
  form->VwCbBoxParity->SetItemIndex(2);
  form->ApplyCommSettings();
  EXPECT_EQ(serial->Parity(), endpoint::TParity::Even);

  OpenPort();
  EXPECT_EQ(LastBody(), Q("System: serial port opened"));
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), "Close");
  serial->Deliver("hi");
  EXPECT_EQ(LastBody(), Q("Serial received(2):68 69 "));
  // The system's texts follow the language, with no Chinese left in the line.
  int code = 10061;
  form->ClientSocketError(nullptr, nullptr, endpoint::TErrorEvent::eeConnect, code);
  EXPECT_EQ(LastBody(), Q("System: Connection refused"));
  EXPECT_EQ(Text(ConsoleErrorText(10061)), Q("The connection was refused by the remote host"));
  EXPECT_EQ(Text(texts::PortOutOfRange(70000)), Q("System: port 70000 is out of range (1-65535)"));
  // The recovery lines and the two queue losses are English too, and tell the queues apart.
  EXPECT_EQ(Text(texts::RetryIn(2000, 3)), Q("System: 2 s, then reconnect attempt 3 to the server"));
  EXPECT_EQ(Text(texts::DeviceBack("/dev/ttyUSB0")), Q("System: serial device is back: /dev/ttyUSB0"));
  EXPECT_EQ(Text(texts::QueueDropped(5)), Q("System: send queue to the server: 5 bytes dropped"));
  EXPECT_EQ(Text(texts::SerialUnsent(7)), Q("System: serial transmit queue: 7 bytes dropped"));
}

TEST(ConsoleLanguage, OriginalTextsStayAndErrorTextsAreChineseBesideThem) {
  SetConsoleLanguage(TConsoleLanguage::Original, COMRELAY_LOCALE_DIR);
  EXPECT_EQ(Text(texts::SerialOpened()), QString::fromUtf8("系统：成功打开串口"));
  EXPECT_EQ(Text(ConsoleErrorText(10061)), QString::fromUtf8("远程主机拒绝连接"));
  // Every code with an English text has a Chinese one.
  for (int code : {0, 8, 87, 1110, 10013, 10035, 10050, 10054, 10060, 10061, 10065, 11001, 11004}) {
    ASSERT_FALSE(SocketSystemText(code).empty()) << code;
    EXPECT_FALSE(Text(ConsoleErrorText(code)).contains(QRegularExpression("[A-Za-z]{4}"))) << code;
  }
  EXPECT_EQ(ConsoleErrorText(12345), "");
}

TEST(ConsoleLanguage, AMissingOrBrokenCatalogueLeavesTheOriginalTexts) {
  QTemporaryDir dir;
  SetConsoleLanguage(TConsoleLanguage::English, dir.path().toStdString());
  EXPECT_EQ(Text(texts::SerialClosed()), QString::fromUtf8("系统：成功关闭串口"));
  QDir().mkpath(dir.filePath("en/LC_MESSAGES"));
  QFile mo(dir.filePath("en/LC_MESSAGES/comrelay.mo"));
  ASSERT_TRUE(mo.open(QIODevice::WriteOnly));
  mo.write(QByteArray("\xde\x12\x04\x95 not a catalogue at all, cut short", 36));
  mo.close();
  SetConsoleLanguage(TConsoleLanguage::English, dir.path().toStdString());
  EXPECT_EQ(Text(texts::SerialClosed()), QString::fromUtf8("系统：成功关闭串口"));
  EXPECT_EQ(Text(Tr("连接")), QString::fromUtf8("连接"));
  SetConsoleLanguage(TConsoleLanguage::Original, {});
}

TEST_F(FeaturesTest, OptionsSetInputXonXoffAtOnceAndRememberTheLanguageForTheNextStart) {
  Attach();
  OpenPort();
  EXPECT_TRUE(serial->InxXonXoffFlow());  // as the window's resource gives it
  TOptionsDialog dialog(form.get(), features->Options());
  EXPECT_TRUE(dialog.InputXonXoff()->isChecked());
  EXPECT_EQ(dialog.Language()->currentIndex(), 0);
  dialog.InputXonXoff()->setChecked(false);
  dialog.Language()->setCurrentIndex(1);
  features->ApplyOptions(dialog.Chosen());
  EXPECT_FALSE(serial->InxXonXoffFlow());
  EXPECT_TRUE(serial->open);
  // The window keeps its language until the next start; the choice is saved at once.
  EXPECT_EQ(form->VwBtnOpenClose->Caption(), texts::Close());
  EXPECT_EQ(Text(texts::Close()), QString::fromUtf8("关闭"));
  const TConsoleSettings saved = LoadSettings(settingsPath);
  EXPECT_EQ(saved.language, TConsoleLanguage::English);
  EXPECT_FALSE(saved.inputXonXoff);
}

TEST_F(FeaturesTest, TheContextMenuOffersEachFunctionAndItsActionsWork) {
  Attach();
  const std::unique_ptr<QMenu> menu = features->BuildMenu(form->VwRichEdit);
  QStringList texts;
  QAction* pause = nullptr;
  for (QAction* a : menu->actions()) {
    if (a->isSeparator()) continue;
    texts << a->text();
    if (a->text() == Q("暂停显示")) pause = a;
  }
  EXPECT_EQ(texts, (QStringList{Q("查找…"), Q("暂停显示"), Q("日志另存为…"), Q("记录到文件…"), Q("选项…")}));
  ASSERT_NE(pause, nullptr);
  pause->trigger();
  EXPECT_TRUE(form->VwRichEdit->Paused());
  // Pausing stops only the view: blocks are still counted and forwarded.
  OpenPort();
  Connect();
  serial->Deliver("held");
  EXPECT_EQ(form->BytesToSocket(), 4);
  EXPECT_TRUE(net->socket.sent.ends_with("held"));
  const std::size_t shown = Lines();
  EXPECT_EQ(form->VwRichEdit->HeldCount(), 3u);  // opened, connected, the block
  features->BuildMenu(form->VwRichEdit)->actions()[1]->trigger();
  EXPECT_FALSE(form->VwRichEdit->Paused());
  EXPECT_EQ(Lines(), shown + 3);
  EXPECT_TRUE(LastBody().startsWith(Q("串口->网络(4)")));

  // Find through its window: the match is highlighted in the view.
  features->ShowFind();
  TFindDialog* find = features->FindDialog();
  ASSERT_NE(find, nullptr);
  find->SetNeedle(Q("成功打开"));
  EXPECT_TRUE(find->FindNext());
  EXPECT_EQ(form->VwRichEdit->MatchLine(), 0);
  find->SetNeedle(Q("nowhere"));
  EXPECT_FALSE(find->FindNext());
  EXPECT_EQ(find->Status()->text(), Q("找不到"));
  find->hide();
  EXPECT_EQ(form->VwRichEdit->MatchLine(), -1);
}

TEST_F(FeaturesTest, AnEndsGroupBoxMenuStartsWithItsRecoverySwitch) {
  Attach();
  const std::unique_ptr<QMenu> menu = features->BuildMenu(form->VwGroupBox2);
  ASSERT_FALSE(menu->actions().isEmpty());
  QAction* reconnect = menu->actions().front();
  EXPECT_EQ(reconnect->text(), Q("断线后自动重新连接服务器"));
  reconnect->trigger();
  EXPECT_TRUE(form->Core().Recovery().reconnect);
  // The log view's menu holds no switch of an end.
  const std::unique_ptr<QMenu> logMenu = features->BuildMenu(form->VwRichEdit);
  EXPECT_EQ(logMenu->actions().front()->text(), Q("查找…"));
}

// Check boxes, buttons, labels, the LED shape, group boxes, colours and the console font.
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <string>

#include "platform/text/codepage.h"
#include "tests/widgets/widgettest.h"
#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/color.h"
#include "widgets/font.h"
#include "widgets/form.h"
#include "widgets/groupbox.h"
#include "widgets/label.h"
#include "widgets/shape.h"

TEST(CheckBox, OnlyTheFullyTickedStateCounts) {
  TestWindow window;
  auto* box = new TCheckBox(window.get());
  box->SetCaption(Ansi("显示报文"));
  box->setGeometry(16, 24, 73, 17);
  box->show();
  EXPECT_EQ(box->Caption(), Ansi("显示报文"));
  box->SetChecked(true);
  EXPECT_TRUE(box->Checked());
  box->SetState(TCheckBoxState::cbGrayed);
  EXPECT_EQ(box->State(), TCheckBoxState::cbGrayed);
  EXPECT_FALSE(box->Checked());
  box->SetState(TCheckBoxState::cbUnchecked);
  int clicks = 0;
  box->OnClick = TNotifyEvent::FromCallable([&](TObject*) { ++clicks; });
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, 8));
  EXPECT_EQ(clicks, 1);
  EXPECT_NE(box->State(), TCheckBoxState::cbUnchecked);
  box->SetChecked(false);  // code raises no click
  EXPECT_EQ(clicks, 1);
}

TEST(Button, ClickRaisesOnClickWithTheButtonAsSender) {
  TestWindow window;
  auto* button = new TButton(window.get());
  button->setGeometry(72, 152, 75, 25);
  button->SetCaption(Ansi("打开"));
  button->show();
  EXPECT_EQ(button->text(), QString::fromUtf8("打开"));
  TObject* sender = nullptr;
  button->OnClick = TNotifyEvent::FromCallable([&](TObject* s) {
    sender = s;
    button->SetCaption(Ansi("关闭"));
  });
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(sender, static_cast<TObject*>(button));
  EXPECT_EQ(button->Caption(), Ansi("关闭"));
  button->OnClick = nullptr;
  QTest::mouseClick(button, Qt::LeftButton);  // unassigned: skipped
}

TEST(Label, PlainLabelsFitTheirCaptionCounterLabelsKeepTheirBox) {
  TestWindow window;
  auto* label = new TLabel(window.get(), Ansi("端口"), 16, 14);
  EXPECT_EQ(label->pos(), QPoint(16, 14));
  const int shortWidth = label->width();
  label->SetCaption(Ansi("发到Socket：<b>x</b>"));
  EXPECT_GT(label->width(), shortWidth);
  EXPECT_EQ(label->text(), QString::fromUtf8("发到Socket：<b>x</b>"));  // never markup
  EXPECT_EQ(label->textFormat(), Qt::PlainText);

  auto* counter = new TCounterLabel(window.get());
  counter->setGeometry(16, 40, 145, 20);
  counter->SetCaption(Ansi("0字节"));
  counter->show();
  counter->SetCaption(Ansi("1048576字节"));
  EXPECT_EQ(counter->geometry(), QRect(16, 40, 145, 20));
  EXPECT_EQ(counter->alignment(), Qt::AlignRight | Qt::AlignVCenter);
  EXPECT_EQ(counter->frameShadow(), QFrame::Sunken);
  EXPECT_EQ(counter->Caption(), Ansi("1048576字节"));
  // The text sits at the right: the right half holds dark pixels, the far left none.
  const QImage image = counter->grab().toImage();
  auto darkIn = [&](int from, int to) {
    int dark = 0;
    for (int x = from; x < to; ++x) {
      for (int y = 3; y < image.height() - 3; ++y) dark += image.pixelColor(x, y).lightness() < 100 ? 1 : 0;
    }
    return dark;
  };
  EXPECT_GT(darkIn(72, 141), 0);
  EXPECT_EQ(darkIn(3, 20), 0);
}

TEST(Label, CountersOfOneWindowRedrawTogetherAndEachShowsItsLastCaption) {
  TestWindow window;
  auto* box = new TGroupBox(window.get());
  box->setGeometry(8, 8, 180, 120);
  auto* up = new TCounterLabel(box);
  up->setGeometry(16, 40, 145, 20);
  auto* down = new TCounterLabel(box);
  down->setGeometry(16, 80, 145, 20);
  box->show();
  QApplication::processEvents();
  TPaintCounter boxPaints(box), upPaints(up), downPaints(down);
  const auto bytes = [](int n) { return QString::number(n) + QString::fromUtf8("字节"); };
  const auto waitToShow = [](TCounterLabel* counter, const QString& text) {
    QElapsedTimer clock;
    clock.start();
    while (counter->text() != text && clock.elapsed() < 5000)
      QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  };

  // The first change shows at once; the other counter, changed during that tick, waits for it and
  // then shows together with the first counter's later change.
  up->SetCaption(Ansi("1字节"));
  EXPECT_EQ(up->text(), bytes(1));
  down->SetCaption(Ansi("7字节"));
  up->SetCaption(Ansi("2字节"));
  EXPECT_EQ(down->Caption(), Ansi("7字节"));
  EXPECT_EQ(down->text(), QString());
  waitToShow(up, bytes(2));
  EXPECT_EQ(up->text(), bytes(2));
  EXPECT_EQ(down->text(), bytes(7));

  // Both changing all the time, the second from a little later: each redraw of one is a redraw of
  // the other, in one paint of the box.
  boxPaints.paints = upPaints.paints = downPaints.paints = 0;
  int n = 0;
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 400) {
    ++n;
    up->SetCaption(Ansi(std::to_string(n) + "字节"));
    if (clock.elapsed() >= 15) down->SetCaption(Ansi(std::to_string(2 * n) + "字节"));
    QApplication::processEvents(QEventLoop::AllEvents, 1);
  }
  EXPECT_GE(upPaints.paints, 3);
  EXPECT_LE(std::abs(upPaints.paints - downPaints.paints), 1);
  EXPECT_LE(boxPaints.paints, upPaints.paints + 1);
  // Nothing is lost: once quiet, each shows its last caption.
  waitToShow(down, bytes(2 * n));
  EXPECT_EQ(up->text(), bytes(n));
  EXPECT_EQ(down->text(), bytes(2 * n));
}

TEST(Shape, FillsACircleWithTheBrushColour) {
  TestWindow window;
  auto* led = new TShape(window.get());
  led->setGeometry(31, 156, 15, 15);
  led->show();
  led->SetBrushColor(clSilver);
  EXPECT_EQ(PixelOf(led, QPoint(7, 7)), QColor(0xC0, 0xC0, 0xC0));
  led->SetBrushColor(clGreen);
  EXPECT_EQ(led->BrushColor(), clGreen);
  EXPECT_EQ(PixelOf(led, QPoint(7, 7)), QColor(0, 0x80, 0));
  EXPECT_NE(PixelOf(led, QPoint(0, 0)), QColor(0, 0x80, 0));  // a circle, not a square
  EXPECT_NE(PixelOf(led, QPoint(14, 14)), QColor(0, 0x80, 0));
  EXPECT_EQ(PixelOf(led, QPoint(7, 1)), QColor(0, 0x80, 0));
}

TEST(GroupBoxAndForm, CaptionsRoundTripAsGb18030) {
  TForm form;
  form.SetCaption(Ansi("通讯转发"));
  EXPECT_EQ(form.windowTitle(), QString::fromUtf8("通讯转发"));
  EXPECT_EQ(form.Caption(), Ansi("通讯转发"));
  form.SetBounds(221, 137, 707, 534);
  EXPECT_EQ(form.size(), QSize(707, 534));
  auto* group = new TGroupBox(&form);
  group->SetCaption(Ansi("串口设置"));
  EXPECT_EQ(group->title(), QString::fromUtf8("串口设置"));
  EXPECT_EQ(group->Caption(), Ansi("串口设置"));
  EXPECT_EQ(form.palette().color(QPalette::Window), ColorToQColor(clBtnFace));
}

TEST(Color, StoredAsBgrAndSystemColoursResolve) {
  EXPECT_EQ(ColorToQColor(clRed), QColor(255, 0, 0));
  EXPECT_EQ(ColorToQColor(clBlue), QColor(0, 0, 255));
  EXPECT_EQ(ColorToQColor(clGreen), QColor(0, 128, 0));
  EXPECT_EQ(ColorToQColor(1350640), QColor(0xF0, 0x9B, 0x14));
  EXPECT_EQ(ColorToQColor(clInfoBk), QColor(255, 255, 225));
  EXPECT_EQ(ColorToQColor(clWindowText), QColor(0, 0, 0));
  EXPECT_EQ(ColorToRGB(12632256), 0xC0C0C0u);
  for (TColor c : {0x000000u, 0x0000FFu, 0x123456u, 0xFFFFFFu, 0x149BF0u})
    EXPECT_EQ(QColorToColor(ColorToQColor(c)), c);
}

TEST(Font, PrefersTheNamedFontThenACjkFallback) {
  const QString nsimsun = QString::fromUtf8("新宋体");
  EXPECT_EQ(ChooseConsoleFamily({"DejaVu Sans", nsimsun, "WenQuanYi Zen Hei"}, {}), nsimsun);
  EXPECT_EQ(ChooseConsoleFamily({"DejaVu Sans", "nsimsun"}, {}), "nsimsun");
  EXPECT_EQ(ChooseConsoleFamily({"WenQuanYi Zen Hei", "WenQuanYi Zen Hei Mono"}, {}),
            "WenQuanYi Zen Hei Mono");
  EXPECT_EQ(ChooseConsoleFamily({"DejaVu Sans", "Some CJK"}, {"Some CJK"}), "Some CJK");
  EXPECT_EQ(ChooseConsoleFamily({"DejaVu Sans"}, {}), "");
}

TEST(Font, ResolvesToAnInstalledFontThatCanShowChinese) {
  const QFont font = ConsoleFont();
  EXPECT_EQ(font.pixelSize(), ConsoleFontPixels);
  const QFontInfo info(font);
  EXPECT_EQ(info.pixelSize(), ConsoleFontPixels);
  EXPECT_TRUE(QFontDatabase::families(QFontDatabase::SimplifiedChinese).contains(info.family()))
      << info.family().toStdString();
}

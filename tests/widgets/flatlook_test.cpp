// The flat frame turns orange under the real pointer and back when it leaves.
#include <functional>

#include "tests/widgets/widgettest.h"
#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/color.h"
#include "widgets/combobox.h"
#include "widgets/edit.h"
#include "widgets/numedit.h"
#include "widgets/spinedit.h"

namespace {
const QColor Orange(0xF0, 0x9B, 0x14);

struct FlatCase {
  const char* name;
  std::function<QWidget*(QWidget*)> make;
  std::function<bool(QWidget*)> hot;
};

template <class T>
FlatCase Case(const char* name) {
  return {name, [](QWidget* parent) { return new T(parent); },
          [](QWidget* w) { return static_cast<T*>(w)->Hot(); }};
}
}  // namespace

TEST(FlatLook, FramesOfEditsListsAndSpinEditTurnOrangeUnderTheMouse) {
  for (const FlatCase& c : {Case<TEdit>("edit"), Case<TNumEdit>("numedit"), Case<TSpinEdit>("spinedit"),
                            Case<TFlatComboBox>("combobox")}) {
    SCOPED_TRACE(c.name);
    TestWindow window;
    QWidget* control = c.make(window.get());
    control->setGeometry(20, 20, 89, 20);
    control->show();
    const QPoint edge(0, 10);
    window.MoveMouseAway();
    EXPECT_FALSE(c.hot(control));
    EXPECT_NE(PixelOf(control, edge), Orange);
    window.MoveMouseTo(control, QPoint(30, 10));
    EXPECT_TRUE(c.hot(control));
    EXPECT_EQ(PixelOf(control, edge), Orange);
    EXPECT_EQ(PixelOf(control, QPoint(88, 19)), Orange);
    window.MoveMouseTo(control, QPoint(80, 5));  // over the arrows still counts
    EXPECT_TRUE(c.hot(control));
    window.MoveMouseAway();
    EXPECT_FALSE(c.hot(control));
    EXPECT_NE(PixelOf(control, edge), Orange);
  }
}

TEST(FlatLook, ButtonsHighlightUnderTheMouse) {
  TestWindow window;
  auto* button = new TButton(window.get());
  button->setGeometry(20, 20, 75, 25);
  button->show();
  const QPoint inside(5, 5);
  window.MoveMouseAway();
  const QColor idle = PixelOf(button, inside);
  window.MoveMouseTo(button, QPoint(30, 12));
  EXPECT_TRUE(button->Hot());
  EXPECT_NE(PixelOf(button, inside), idle);
  EXPECT_EQ(PixelOf(button, QPoint(0, 12)), Orange);
  window.MoveMouseAway();
  EXPECT_EQ(PixelOf(button, inside), idle);
}

TEST(FlatLook, CheckBoxFramesItsBoxUnderTheMouse) {
  TestWindow window;
  auto* box = new TCheckBox(window.get());
  box->setGeometry(20, 20, 73, 17);
  box->show();
  window.MoveMouseAway();
  const QImage idle = box->grab().toImage();
  window.MoveMouseTo(box, QPoint(40, 8));
  EXPECT_TRUE(box->Hot());
  const QImage hot = box->grab().toImage();
  int orange = 0;
  for (int x = 0; x < hot.width(); ++x) {
    for (int y = 0; y < hot.height(); ++y) orange += hot.pixelColor(x, y) == Orange ? 1 : 0;
  }
  EXPECT_GE(orange, 20);  // at least the box's outline
  EXPECT_EQ(hot.pixelColor(hot.width() - 1, 8), idle.pixelColor(idle.width() - 1, 8));  // not the caption
}

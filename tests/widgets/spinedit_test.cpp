#include "widgets/spinedit.h"

#include <QLineEdit>
#include <QStyleOptionSpinBox>
#include <cmath>

#include "tests/widgets/widgettest.h"

namespace {
// Exposes where the style puts the arrows.
class ProbeSpinEdit : public TSpinEdit {
 public:
  using TSpinEdit::TSpinEdit;
  QRect Arrow(QStyle::SubControl which) {
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_SpinBox, &option, which, this);
  }
};

struct SpinFixture : ::testing::Test {
  void SetUp() override {
    spin = new ProbeSpinEdit(window.get());
    spin->setGeometry(64, 128, 89, 20);
    spin->SetValue(50);
    spin->show();
    spin->OnChange = TNotifyEvent::FromCallable([this](TObject* sender) {
      EXPECT_EQ(sender, static_cast<TObject*>(spin));
      seen.push_back(spin->Value());
    });
    window.Activate();
    spin->setFocus();
  }
  TestWindow window;
  ProbeSpinEdit* spin = nullptr;
  std::vector<double> seen;  // the value each change event read
};
}  // namespace

TEST_F(SpinFixture, BoundsAndSettingInCode) {
  EXPECT_EQ(spin->MinValue(), 0);
  EXPECT_EQ(spin->MaxValue(), 10000);
  EXPECT_EQ(spin->Value(), 50);
  spin->SetValue(20000);
  EXPECT_EQ(spin->Value(), 10000);
  spin->SetValue(-3);
  EXPECT_EQ(spin->Value(), 0);
  spin->SetValue(12.6);
  EXPECT_EQ(spin->Value(), 13);  // whole numbers only
  spin->SetValue(std::nan(""));
  EXPECT_EQ(spin->Value(), 0);
  EXPECT_TRUE(seen.empty());
}

TEST_F(SpinFixture, EveryTypedCharacterRaisesOneChangeWithTheValueThenShown) {
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_Delete);
  QTest::keyClicks(spin, "125");
  QTest::keyClick(spin, Qt::Key_Backspace);
  EXPECT_EQ(seen, (std::vector<double>{0, 1, 12, 125, 12}));
}

TEST_F(SpinFixture, TextBeyondTheBoundsIsRefused) {
  spin->selectAll();
  QTest::keyClicks(spin, "10000");
  seen.clear();
  QTest::keyClicks(spin, "5-x");
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(spin->Value(), 10000);
}

TEST_F(SpinFixture, EachArrowStepRaisesOneChange) {
  QTest::keyClick(spin, Qt::Key_Up);
  QTest::keyClick(spin, Qt::Key_Down);
  QTest::keyClick(spin, Qt::Key_Down);
  QTest::mouseClick(spin, Qt::LeftButton, {}, spin->Arrow(QStyle::SC_SpinBoxUp).center());
  EXPECT_EQ(seen, (std::vector<double>{51, 50, 49, 50}));
  spin->SetValue(0);
  seen.clear();
  QTest::keyClick(spin, Qt::Key_Down);  // already at the bottom: no text change, no event
  QTest::keyClick(spin, Qt::Key_Return);
  EXPECT_TRUE(seen.empty());
}

TEST_F(SpinFixture, AnEmptyFieldReadsZeroAndIsRestoredWhenLeft) {
  spin->selectAll();
  QTest::keyClick(spin, Qt::Key_Delete);
  EXPECT_EQ(spin->Value(), 0);
  auto* other = new QLineEdit(window.get());
  other->show();
  other->setFocus();
  QApplication::processEvents();
  // The restored text is a change too: whoever read 0 must hear of the 50 now shown.
  EXPECT_EQ(spin->text(), "50");
  EXPECT_EQ(seen, (std::vector<double>{0, 50}));
}

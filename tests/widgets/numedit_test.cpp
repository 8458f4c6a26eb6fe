#include "widgets/numedit.h"

#include <QLineEdit>

#include "tests/widgets/widgettest.h"

namespace {
struct NumFixture : ::testing::Test {
  void SetUp() override {
    edit = new TNumEdit(window.get());
    edit->setGeometry(56, 64, 81, 20);
    other = new QLineEdit(window.get());
    other->setGeometry(56, 100, 81, 20);
    edit->show();
    other->show();
    window.Activate();
    other->setFocus();
  }
  void FocusEdit() {
    edit->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());
  }
  void LeaveEdit() {
    other->setFocus();
    QApplication::processEvents();
  }
  TestWindow window;
  TNumEdit* edit = nullptr;
  QLineEdit* other = nullptr;
};
}  // namespace

TEST_F(NumFixture, ShowsGroupedWhenNotEditedAndPlainWhileEdited) {
  edit->SetValue(8887);
  EXPECT_EQ(edit->Value(), 8887);
  EXPECT_EQ(edit->text(), "8,887");
  FocusEdit();
  EXPECT_EQ(edit->text(), "8887");
  LeaveEdit();
  EXPECT_EQ(edit->text(), "8,887");
  edit->SetValue(-5);
  EXPECT_EQ(edit->text(), "(5)");
  EXPECT_EQ(edit->Value(), -5);
}

TEST_F(NumFixture, TypingIsLimitedToFiveCharacters) {
  edit->SetText("");
  FocusEdit();
  int changes = 0;
  edit->OnChange = TNotifyEvent::FromCallable([&](TObject*) { ++changes; });
  QTest::keyClicks(edit, "1234567");
  EXPECT_EQ(edit->Text(), "12345");
  EXPECT_EQ(changes, 5);
  EXPECT_EQ(edit->Value(), 12345);
  LeaveEdit();
  EXPECT_EQ(edit->text(), "12,345");
  EXPECT_EQ(edit->Text(), "12345");
}

TEST_F(NumFixture, EmptyOrUnreadableReadsZero) {
  edit->SetValue(8887);
  FocusEdit();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Delete);
  EXPECT_EQ(edit->Value(), 0);
  QTest::keyClicks(edit, "12ab");
  EXPECT_EQ(edit->Value(), 0);
  LeaveEdit();
  EXPECT_EQ(edit->text(), "0");
  EXPECT_EQ(edit->Text(), "12ab");  // the typed text is kept for the next edit
  FocusEdit();
  EXPECT_EQ(edit->text(), "12ab");
}

TEST_F(NumFixture, ALongerTextSetInCodeIsNotCut) {
  edit->SetValue(-2147483647 - 1);
  EXPECT_EQ(edit->text(), "(2,147,483,648)");
  FocusEdit();
  EXPECT_EQ(edit->text(), "-2147483648");
  EXPECT_EQ(edit->Value(), -2147483647 - 1);
  QTest::keyClick(edit, Qt::Key_End);
  QTest::keyClick(edit, Qt::Key_1);  // no room to grow
  EXPECT_EQ(edit->Text(), "-2147483648");
}

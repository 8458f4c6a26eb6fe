#include "widgets/combobox.h"

#include <QAbstractItemView>
#include <QWheelEvent>

#include "platform/text/codepage.h"
#include "tests/widgets/widgettest.h"

namespace {
struct ComboFixture : ::testing::Test {
  void SetUp() override {
    box = new TFlatComboBox(window.get());
    box->setGeometry(10, 10, 89, 20);
    box->show();
    box->SetItems({Ansi("无"), Ansi("奇校验"), Ansi("偶校验"), "Mark", "Space"});
    box->OnChange = TNotifyEvent::FromCallable([this](TObject* sender) {
      EXPECT_EQ(sender, static_cast<TObject*>(box));
      seen.push_back(box->ItemIndex());
    });
    window.Activate();
    box->setFocus();
  }
  TestWindow window;
  TFlatComboBox* box = nullptr;
  std::vector<int> seen;  // the index each change event saw
};
}  // namespace

TEST_F(ComboFixture, NewItemsSelectNothingAndCodeRaisesNoChange) {
  EXPECT_EQ(box->ItemIndex(), -1);
  EXPECT_EQ(box->Text(), "");
  box->SetItemIndex(2);
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_EQ(box->Text(), Ansi("偶校验"));
  box->SetItemIndex(7);
  EXPECT_EQ(box->ItemIndex(), -1);
  box->SetItemIndex(-3);
  EXPECT_EQ(box->ItemIndex(), -1);
  box->SetItems({"1", "1.5", "2"});
  EXPECT_EQ(box->Items(), (std::vector<std::string>{"1", "1.5", "2"}));
  EXPECT_TRUE(seen.empty());
}

TEST_F(ComboFixture, UserPicksRaiseChangeWithTheNewSelection) {
  box->SetItemIndex(0);
  QTest::keyClick(box, Qt::Key_Down);
  QTest::keyClick(box, Qt::Key_Down);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  QPoint centre = box->rect().center();
  QWheelEvent wheel(centre, box->mapToGlobal(centre), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(box, &wheel);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(box->Text(), "Mark");
}

TEST_F(ComboFixture, PickingFromTheOpenListRaisesChange) {
  box->SetItemIndex(0);
  box->showPopup();
  QTest::keyClick(box->view(), Qt::Key_Down);
  QTest::keyClick(box->view(), Qt::Key_Return);
  EXPECT_EQ(seen, (std::vector<int>{1}));
  EXPECT_EQ(box->Text(), Ansi("奇校验"));
}

TEST_F(ComboFixture, TypingDoesNotEnterText) {
  EXPECT_FALSE(box->isEditable());
  box->SetItemIndex(0);
  QTest::keyClicks(box, "xyz");
  EXPECT_EQ(box->Text(), Ansi("无"));
  EXPECT_EQ(box->Items().size(), 5u);
}

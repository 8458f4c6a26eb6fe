#include "widgets/combobox.h"

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/flatlook.h"

TFlatComboBox::TFlatComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(false);
  frame_ = new TFlatFrame(this);
  // `activated` comes only from the user, never from a change made in code.
  connect(this, &QComboBox::activated, this, [this] { Guarded([this] { OnChange(this); }); });
}

void TFlatComboBox::SetItems(const std::vector<std::string>& items) {
  clear();
  for (const std::string& item : items) addItem(AnsiToQString(item));
  // A list that gets its first item selects it by itself; a new list selects nothing.
  setCurrentIndex(-1);
}

std::vector<std::string> TFlatComboBox::Items() const {
  std::vector<std::string> items;
  items.reserve(count());
  for (int i = 0; i < count(); ++i) items.push_back(QStringToAnsi(itemText(i)));
  return items;
}

int TFlatComboBox::ItemIndex() const { return currentIndex(); }

void TFlatComboBox::SetItemIndex(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

std::string TFlatComboBox::Text() const {
  return currentIndex() < 0 ? std::string() : QStringToAnsi(currentText());
}

bool TFlatComboBox::Hot() const { return frame_->Hot(); }

void TFlatComboBox::showPopup() {
  Guarded([this] { OnDropDown(this); });
  QComboBox::showPopup();
}

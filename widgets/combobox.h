// A flat drop-down list that only picks: no typing. OnChange is raised only when the user picks
// an item (mouse, keys or wheel), never by SetItems or SetItemIndex.
#pragma once
#include <QComboBox>
#include <string>
#include <vector>

#include "runtime/object.h"

class TFlatFrame;

class TFlatComboBox : public QComboBox, public TObject {
 public:
  explicit TFlatComboBox(QWidget* parent = nullptr);

  // Replaces the items (GB18030); nothing is selected afterwards.
  void SetItems(const std::vector<std::string>& items);
  std::vector<std::string> Items() const;
  int ItemIndex() const;         // -1 when nothing is selected
  void SetItemIndex(int index);  // out of range selects nothing
  std::string Text() const;      // the selected item, empty when none
  bool Hot() const;

  TNotifyEvent OnChange;
  // The list is about to open: the last moment to bring its items up to date.
  TNotifyEvent OnDropDown;

  void showPopup() override;

 private:
  TFlatFrame* frame_;
};

// A flat edit for a whole number: at most MaxLength typed characters; Value reads the text,
// empty or unreadable being 0. While the field has the focus it shows the text as typed; at
// other times it shows the value formatted ",0;(,0)" (8887 as "8,887", -5 as "(5)").
#pragma once
#include <QLineEdit>
#include <string>

#include "runtime/object.h"

class TFlatFrame;

class TNumEdit : public QLineEdit, public TObject {
 public:
  static constexpr int MaxLength = 5;

  explicit TNumEdit(QWidget* parent = nullptr);

  int Value() const;
  void SetValue(int value);
  // The text as typed, not the formatted display.
  std::string Text() const;
  void SetText(const std::string& text);
  bool Hot() const;

  TNotifyEvent OnChange;  // the user changed the text

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void ShowEditing();
  void ShowFormatted();

  QString raw_;
  bool editing_ = false;
  TFlatFrame* frame_;
};

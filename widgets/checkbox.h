// A flat check box whose box frame turns orange under the mouse.
#pragma once
#include <QCheckBox>
#include <string>

#include "runtime/object.h"

class TFlatFrame;

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public QCheckBox, public TObject {
 public:
  explicit TCheckBox(QWidget* parent = nullptr);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
  // True only in the fully ticked state; a grayed box is not checked.
  bool Checked() const;
  void SetChecked(bool checked);
  TCheckBoxState State() const;
  void SetState(TCheckBoxState state);  // cbGrayed makes the box three-state
  bool Hot() const;

  TNotifyEvent OnClick;  // the user toggled the box

 private:
  TFlatFrame* frame_;
};

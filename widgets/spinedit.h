// A flat spin edit for whole numbers from MinValue to MaxValue in steps of Increment; typing is
// allowed. OnChange is raised for every change of its text that the user makes, keystroke by
// keystroke and arrow click by arrow click; SetValue raises none.
#pragma once
#include <QSpinBox>

#include "runtime/object.h"

class TFlatFrame;

class TSpinEdit : public QSpinBox, public TObject {
 public:
  explicit TSpinEdit(QWidget* parent = nullptr);

  // The number the text shows now, also while it is being typed: empty or unreadable text
  // reads MinValue, and the result is kept within the bounds.
  double Value() const;
  void SetValue(double value);  // rounded to a whole number and kept within the bounds
  double MinValue() const { return minimum(); }
  double MaxValue() const { return maximum(); }
  void SetMinValue(double value);
  void SetMaxValue(double value);
  bool Hot() const;

  TNotifyEvent OnChange;

 protected:
  void focusOutEvent(QFocusEvent* event) override;

 private:
  // Raises OnChange when the text differs from the one last reported.
  void ReportTextChange();

  TFlatFrame* frame_;
  bool settingValue_ = false;
  QString reportedText_;
};

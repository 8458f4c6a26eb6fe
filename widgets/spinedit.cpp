#include "widgets/spinedit.h"

#include <QLineEdit>
#include <climits>
#include <cmath>

#include "runtime/exception.h"
#include "widgets/flatlook.h"

namespace {
// A double as a whole number within [low, high]; NaN gives low.
int ToBoundedInt(double value, int low, int high) {
  if (!(value >= low)) return low;
  if (value > high) return high;
  return static_cast<int>(std::lround(value));
}

// Keeps every value a double can hold inside int, so the conversion is defined.
int ToInt(double value) { return ToBoundedInt(value, INT_MIN, INT_MAX); }
}  // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
  settingValue_ = true;
  setRange(0, 10000);
  setSingleStep(1);
  settingValue_ = false;
  setFrame(false);
  setKeyboardTracking(true);
  frame_ = new TFlatFrame(this);
  // Every change of the text counts: typed characters, deletions, arrow steps, and the
  // correction of an unfinished text when the field loses the focus. No single Qt signal covers
  // them: the editor's is silenced when the spin box rewrites the text itself, and the spin
  // box's follows only changes of the value, so an emptied field would go unreported. Both are
  // watched, and each new text is reported once.
  connect(lineEdit(), &QLineEdit::textChanged, this, [this] { ReportTextChange(); });
  connect(this, &QSpinBox::textChanged, this, [this] { ReportTextChange(); });
  reportedText_ = text();
}

void TSpinEdit::ReportTextChange() {
  if (settingValue_ || text() == reportedText_) return;
  reportedText_ = text();
  Guarded([this] { OnChange(this); });
}

void TSpinEdit::focusOutEvent(QFocusEvent* event) {
  QSpinBox::focusOutEvent(event);
  ReportTextChange();
}

double TSpinEdit::Value() const {
  bool ok = false;
  const int typed = locale().toInt(cleanText(), &ok);
  if (!ok) return minimum();
  return std::clamp(typed, minimum(), maximum());
}

void TSpinEdit::SetValue(double value) {
  settingValue_ = true;
  setValue(ToBoundedInt(value, minimum(), maximum()));
  settingValue_ = false;
  reportedText_ = text();
}

void TSpinEdit::SetMinValue(double value) {
  settingValue_ = true;
  setMinimum(ToInt(value));
  settingValue_ = false;
  reportedText_ = text();
}

void TSpinEdit::SetMaxValue(double value) {
  settingValue_ = true;
  setMaximum(ToInt(value));
  settingValue_ = false;
  reportedText_ = text();
}

bool TSpinEdit::Hot() const { return frame_->Hot(); }

#include "widgets/numedit.h"

#include <algorithm>

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/flatlook.h"
#include "widgets/numformat.h"

namespace {
// Long enough for any formatted int, which the typing limit must not cut.
constexpr int DisplayLength = 32767;
}  // namespace

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  setTextMargins(2, 0, 2, 0);
  frame_ = new TFlatFrame(this);
  connect(this, &QLineEdit::textEdited, this, [this](const QString& text) {
    raw_ = text;
    Guarded([this] { OnChange(this); });
  });
  ShowFormatted();
}

int TNumEdit::Value() const { return ParseWholeNumber(raw_.toStdString()); }

void TNumEdit::SetValue(int value) {
  raw_ = QString::number(value);
  editing_ ? ShowEditing() : ShowFormatted();
}

std::string TNumEdit::Text() const { return QStringToAnsi(raw_); }

void TNumEdit::SetText(const std::string& text) {
  raw_ = AnsiToQString(text);
  editing_ ? ShowEditing() : ShowFormatted();
}

bool TNumEdit::Hot() const { return frame_->Hot(); }

void TNumEdit::focusInEvent(QFocusEvent* event) {
  editing_ = true;
  ShowEditing();
  QLineEdit::focusInEvent(event);
}

void TNumEdit::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  editing_ = false;
  ShowFormatted();
}

void TNumEdit::ShowEditing() {
  // A longer text set in code stays whole; the user can shorten it but not lengthen it.
  setMaxLength(std::max<int>(MaxLength, raw_.size()));
  setText(raw_);
}

void TNumEdit::ShowFormatted() {
  setMaxLength(DisplayLength);
  setText(QString::fromStdString(FormatGrouped(Value())));
}

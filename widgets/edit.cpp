#include "widgets/edit.h"

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/flatlook.h"

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {
  setFrame(false);
  setTextMargins(2, 0, 2, 0);
  frame_ = new TFlatFrame(this);
  connect(this, &QLineEdit::textChanged, this, [this] { Guarded([this] { OnChange(this); }); });
}

std::string TEdit::Text() const { return QStringToAnsi(text()); }

void TEdit::SetText(const std::string& text) { setText(AnsiToQString(text)); }

void TEdit::SetAlignment(TAlignment alignment) {
  switch (alignment) {
    case TAlignment::taLeftJustify:
      setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
      break;
    case TAlignment::taRightJustify:
      setAlignment(Qt::AlignRight | Qt::AlignVCenter);
      break;
    case TAlignment::taCenter:
      setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
      break;
  }
}

bool TEdit::Hot() const { return frame_->Hot(); }

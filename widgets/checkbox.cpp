#include "widgets/checkbox.h"

#include <QStyleOptionButton>

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/color.h"
#include "widgets/flatlook.h"

TCheckBox::TCheckBox(QWidget* parent) : QCheckBox(parent) {
  // Only the box is framed, and only under the mouse; the style draws it otherwise.
  frame_ = new TFlatFrame(this, clNone, clFlatHot);
  frame_->SetFrameRect([this] {
    QStyleOptionButton option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, this);
  });
  connect(this, &QCheckBox::clicked, this, [this] { Guarded([this] { OnClick(this); }); });
}

void TCheckBox::SetCaption(const std::string& caption) { setText(AnsiToQString(caption)); }

std::string TCheckBox::Caption() const { return QStringToAnsi(text()); }

bool TCheckBox::Checked() const { return checkState() == Qt::Checked; }

void TCheckBox::SetChecked(bool checked) { setCheckState(checked ? Qt::Checked : Qt::Unchecked); }

TCheckBoxState TCheckBox::State() const {
  switch (checkState()) {
    case Qt::Checked:
      return TCheckBoxState::cbChecked;
    case Qt::PartiallyChecked:
      return TCheckBoxState::cbGrayed;
    default:
      return TCheckBoxState::cbUnchecked;
  }
}

void TCheckBox::SetState(TCheckBoxState state) {
  switch (state) {
    case TCheckBoxState::cbChecked:
      setCheckState(Qt::Checked);
      break;
    case TCheckBoxState::cbGrayed:
      setTristate(true);
      setCheckState(Qt::PartiallyChecked);
      break;
    case TCheckBoxState::cbUnchecked:
      setCheckState(Qt::Unchecked);
      break;
  }
}

bool TCheckBox::Hot() const { return frame_->Hot(); }

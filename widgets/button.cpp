#include "widgets/button.h"

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/color.h"
#include "widgets/flatlook.h"

namespace {
// The face of a button under the mouse: a pale tint of the hot frame colour.
constexpr TColor HotFace = 0xD8EEFF;
}  // namespace

TButton::TButton(QWidget* parent) : QPushButton(parent) {
  setFlat(true);
  setAutoFillBackground(true);
  QPalette normal = palette();
  normal.setColor(QPalette::Button, ColorToQColor(clBtnFace));
  setPalette(normal);
  frame_ = new TFlatFrame(this);
  frame_->SetOnHotChanged([this](bool hot) {
    QPalette face = palette();
    face.setColor(QPalette::Button, ColorToQColor(hot ? HotFace : clBtnFace));
    setPalette(face);
  });
  connect(this, &QPushButton::clicked, this, [this] { Guarded([this] { OnClick(this); }); });
}

void TButton::SetCaption(const std::string& caption) { setText(AnsiToQString(caption)); }

std::string TButton::Caption() const { return QStringToAnsi(text()); }

bool TButton::Hot() const { return frame_->Hot(); }

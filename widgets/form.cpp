#include "widgets/form.h"

#include <QCloseEvent>

#include "platform/text/qtext.h"
#include "runtime/exception.h"
#include "widgets/color.h"
#include "widgets/font.h"

TForm::TForm(QWidget* parent) : QWidget(parent) {
  QPalette face = palette();
  face.setColor(QPalette::Window, ColorToQColor(clBtnFace));
  face.setColor(QPalette::WindowText, ColorToQColor(clWindowText));
  setPalette(face);
  setAutoFillBackground(true);
  setFont(ConsoleFont());
}

void TForm::SetCaption(const std::string& caption) { setWindowTitle(AnsiToQString(caption)); }

std::string TForm::Caption() const { return QStringToAnsi(windowTitle()); }

void TForm::SetBounds(int left, int top, int clientWidth, int clientHeight) {
  resize(clientWidth, clientHeight);
  move(left, top);
}

void TForm::DoCreate() {
  Guarded([this] { OnCreate(this); });
}

void TForm::closeEvent(QCloseEvent* event) {
  Guarded([this] { OnClose(this); });
  event->accept();
}

#include "widgets/groupbox.h"

#include "platform/text/qtext.h"

TGroupBox::TGroupBox(QWidget* parent) : QGroupBox(parent) {}

void TGroupBox::SetCaption(const std::string& caption) { setTitle(AnsiToQString(caption)); }

std::string TGroupBox::Caption() const { return QStringToAnsi(title()); }

#include "main/finddialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/captions.h"
#include "widgets/logview.h"

TFindDialog::TFindDialog(QWidget* parent, TLogView* view) : QDialog(parent), view_(view) {
  setWindowTitle(Caption("查找"));
  auto* layout = new QVBoxLayout(this);
  auto* row = new QHBoxLayout;
  needle_ = new QLineEdit(this);
  row->addWidget(needle_);
  auto* previous = new QPushButton(Caption("上一个"), this);
  auto* next = new QPushButton(Caption("下一个"), this);
  next->setDefault(true);
  row->addWidget(previous);
  row->addWidget(next);
  layout->addLayout(row);
  caseSensitive_ = new QCheckBox(Caption("区分大小写"), this);
  layout->addWidget(caseSensitive_);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  connect(next, &QPushButton::clicked, this, [this] { FindNext(); });
  connect(previous, &QPushButton::clicked, this, [this] { FindPrevious(); });
  connect(needle_, &QLineEdit::textEdited, this, [this] {
    // A changed text starts again from the newest line.
    view_->ClearMatch();
    status_->clear();
  });
}

bool TFindDialog::Find(bool backward) {
  const bool found = view_->Find(needle_->text(), backward,
                                 caseSensitive_->isChecked() ? Qt::CaseSensitive : Qt::CaseInsensitive);
  status_->setText(found || needle_->text().isEmpty() ? QString() : Caption("找不到"));
  return found;
}

bool TFindDialog::FindNext() { return Find(false); }
bool TFindDialog::FindPrevious() { return Find(true); }
void TFindDialog::SetNeedle(const QString& text) {
  needle_->setText(text);
  view_->ClearMatch();
}

void TFindDialog::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if ((enter && event->modifiers() & Qt::ShiftModifier) ||
      (event->key() == Qt::Key_F3 && event->modifiers() & Qt::ShiftModifier)) {
    FindPrevious();
  } else if (enter || event->key() == Qt::Key_F3) {
    FindNext();
  } else {
    QDialog::keyPressEvent(event);
  }
}

void TFindDialog::hideEvent(QHideEvent* event) {
  view_->ClearMatch();
  QDialog::hideEvent(event);
}

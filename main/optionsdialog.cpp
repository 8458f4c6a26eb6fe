#include "main/optionsdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "main/captions.h"

TOptionsDialog::TOptionsDialog(QWidget* parent, const TConsoleOptions& current) : QDialog(parent) {
  setWindowTitle(Caption("选项"));
  auto* layout = new QVBoxLayout(this);

  xonxoff_ = new QCheckBox(Caption("输入流控 XON/XOFF"), this);
  xonxoff_->setChecked(current.inputXonXoff);
  layout->addWidget(xonxoff_);
  auto* xonxoffNote =
      new QLabel(Caption("接收缓冲区将满时由驱动向设备发送 XOFF (0x13)，读空后发送 XON (0x11)。\n"
                         "设备使用二进制协议时请关闭，以免它收到这两个字节。立即生效。"),
                 this);
  xonxoffNote->setWordWrap(true);
  layout->addWidget(xonxoffNote);

  auto* form = new QFormLayout;
  language_ = new QComboBox(this);
  language_->addItem(Caption("中文（原文）"));
  language_->addItem(QStringLiteral("English"));
  language_->setCurrentIndex(current.language == TConsoleLanguage::English ? 1 : 0);
  form->addRow(Caption("界面语言"), language_);
  layout->addLayout(form);
  layout->addWidget(new QLabel(Caption("界面语言在下次启动时生效。"), this));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(Caption("确定"));
  buttons->button(QDialogButtonBox::Cancel)->setText(Caption("取消"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

TConsoleOptions TOptionsDialog::Chosen() const {
  return {xonxoff_->isChecked(),
          language_->currentIndex() == 1 ? TConsoleLanguage::English : TConsoleLanguage::Original};
}

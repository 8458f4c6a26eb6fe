// The options dialog: input XON/XOFF and the interface language.
#pragma once
#include <QDialog>

#include "relay/consolelanguage.h"

class QCheckBox;
class QComboBox;

struct TConsoleOptions {
  bool inputXonXoff = true;
  TConsoleLanguage language = TConsoleLanguage::Original;
};

class TOptionsDialog : public QDialog {
 public:
  TOptionsDialog(QWidget* parent, const TConsoleOptions& current);
  TConsoleOptions Chosen() const;

  QCheckBox* InputXonXoff() const { return xonxoff_; }
  QComboBox* Language() const { return language_; }

 private:
  QCheckBox* xonxoff_;
  QComboBox* language_;
};

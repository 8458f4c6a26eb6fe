// Find in the log: a small window beside the main one (the layout stays as it is), next and
// previous match, highlighted in the view.
#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class TLogView;

class TFindDialog : public QDialog {
 public:
  TFindDialog(QWidget* parent, TLogView* view);

  // False, with "not found" shown, when the view holds no match.
  bool FindNext();
  bool FindPrevious();
  void SetNeedle(const QString& text);
  QLineEdit* Needle() const { return needle_; }
  QLabel* Status() const { return status_; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  bool Find(bool backward);

  TLogView* view_;
  QLineEdit* needle_;
  QCheckBox* caseSensitive_;
  QLabel* status_;
};

// The form: a top-level window with the button-face colour and the console font. OnCreate runs
// through DoCreate once the controls exist; OnClose runs when the window is about to close.
// Both run behind the exception display.
#pragma once
#include <QWidget>
#include <string>

#include "runtime/object.h"

class TForm : public QWidget, public TObject {
 public:
  explicit TForm(QWidget* parent = nullptr);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
  // Outer position and client size, as the form resource gives them.
  void SetBounds(int left, int top, int clientWidth, int clientHeight);

  // Raises OnCreate; an exception from it is shown and the form goes on.
  void DoCreate();

  TNotifyEvent OnCreate;
  TNotifyEvent OnClose;

 protected:
  void closeEvent(QCloseEvent* event) override;
};

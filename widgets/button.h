// A flat push button: framed, highlighted under the mouse, with a click event.
#pragma once
#include <QPushButton>
#include <string>

#include "runtime/object.h"

class TFlatFrame;

class TButton : public QPushButton, public TObject {
 public:
  explicit TButton(QWidget* parent = nullptr);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
  bool Hot() const;

  TNotifyEvent OnClick;

 private:
  TFlatFrame* frame_;
};

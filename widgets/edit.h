// A flat one-line edit field.
#pragma once
#include <QLineEdit>
#include <string>

#include "runtime/object.h"

class TFlatFrame;

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

class TEdit : public QLineEdit, public TObject {
 public:
  explicit TEdit(QWidget* parent = nullptr);

  std::string Text() const;  // GB18030
  void SetText(const std::string& text);
  void SetAlignment(TAlignment alignment);
  bool Hot() const;

  TNotifyEvent OnChange;  // every change of the text, by the user or by SetText

 private:
  TFlatFrame* frame_;
};

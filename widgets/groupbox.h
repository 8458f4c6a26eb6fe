// A framed group of controls with a caption.
#pragma once
#include <QGroupBox>
#include <string>

#include "runtime/object.h"

class TGroupBox : public QGroupBox, public TObject {
 public:
  explicit TGroupBox(QWidget* parent = nullptr);
  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
};

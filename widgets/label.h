// Static texts. A TLabel sizes itself to its caption; a TCounterLabel keeps the size it was
// given and shows its caption right-aligned and vertically centred inside a lowered border.
#pragma once
#include <QLabel>
#include <string>

#include "platform/object.h"

class TLabel : public QLabel, public TObject {
 public:
  explicit TLabel(QWidget* parent = nullptr);
  // Caption and position in one step, as the form resource gives them.
  TLabel(QWidget* parent, const std::string& caption, int left, int top);

  void SetCaption(const std::string& caption);  // GB18030
  std::string Caption() const;
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool autoSize);

 private:
  bool autoSize_ = true;
};

class TCounterLabel : public TLabel {
 public:
  explicit TCounterLabel(QWidget* parent = nullptr);
};

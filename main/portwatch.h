// The port list kept fresh: read again when the list is opened and when /dev changes, the
// selection kept while its device is there (or followed to the new name its by-id link points
// to), and each port's by-id description as its tool tip. An open port stays in the list until
// the component reports its loss.
#pragma once
#include <QMetaObject>
#include <map>
#include <memory>
#include <string>

#include "main/formmain.h"
#include "platform/devices/devwatch.h"
#include "platform/devices/serialinfo.h"

struct TPortTree {
  std::string devDir = "/dev";
  std::string ttyClassDir = "/sys/class/tty";
};

// Ports of the tree: bare device names below /dev, absolute paths below any other folder.
TPortSource TreePortSource(const TPortTree& tree);

class TPortListRefresher {
 public:
  TPortListRefresher(TFormMain& form, TPortTree tree, bool watch = true);
  TPortListRefresher(const TPortListRefresher&) = delete;
  TPortListRefresher& operator=(const TPortListRefresher&) = delete;
  ~TPortListRefresher();

  void Refresh();
  // Selects the port a saved link points to now, else the saved name; false when neither is
  // listed (the selection is then left alone). Raises no change event.
  bool Select(const std::string& link, const std::string& name);
  // The selected port's by-id link, empty when it has none.
  std::string SelectedLink() const;
  const TSerialPortInfo* Info(const std::string& portName) const;
  bool Watching() const { return watch_ && watch_->Active(); }

 private:
  std::string DeviceOf(const std::string& portName) const;
  std::string ToolTip(const TSerialPortInfo& info) const;
  void ShowSelectedToolTip();

  TFormMain& form_;
  const TPortTree tree_;
  std::map<std::string, TSerialPortInfo> infos_;  // by port name, as last read
  std::unique_ptr<TDeviceWatch> watch_;
  QMetaObject::Connection selection_;
  TNotifyEvent hangup_;  // the window's own handler, called first
};

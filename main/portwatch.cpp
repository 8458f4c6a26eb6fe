#include "main/portwatch.h"

#include <QComboBox>
#include <algorithm>

#include "platform/portlist.h"
#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/consolelanguage.h"
#include "runtime/exception.h"

TPortSource TreePortSource(const TPortTree& tree) {
  return [tree](std::vector<std::string>& names) {
    if (!EnumerateSerialPorts(tree.ttyClassDir, names)) return false;
    if (tree.devDir != "/dev")
      for (std::string& name : names) name = tree.devDir + "/" + name;
    return true;
  };
}

TPortListRefresher::TPortListRefresher(TFormMain& form, TPortTree tree, bool watch)
    : form_(form), tree_(std::move(tree)) {
  selection_ = QObject::connect(form_.VwCbBoxPort, &QComboBox::currentIndexChanged, form_.VwCbBoxPort,
                                [this] { ShowSelectedToolTip(); });
  form_.VwCbBoxPort->OnDropDown = TNotifyEvent::FromCallable([this](TObject*) { Refresh(); }, this);
  // Once the component reports the open port lost, the list may drop it.
  hangup_ = form_.Comm->OnRequestHangup;
  form_.Comm->OnRequestHangup = TNotifyEvent::FromCallable(
      [this](TObject* sender) {
        hangup_(sender);
        Refresh();
      },
      this);
  if (watch) {
    const std::string serial = tree_.devDir + "/serial";
    watch_ = std::make_unique<TDeviceWatch>(std::vector<std::string>{tree_.devDir, serial, serial + "/by-id"},
                                            [this] { Guarded([this] { Refresh(); }); });
  }
  Refresh();
}

TPortListRefresher::~TPortListRefresher() {
  QObject::disconnect(selection_);
  form_.VwCbBoxPort->OnDropDown = nullptr;
  form_.Comm->OnRequestHangup = hangup_;
}

std::string TPortListRefresher::DeviceOf(const std::string& portName) const {
  const auto slash = portName.rfind('/');
  return slash == std::string::npos ? portName : portName.substr(slash + 1);
}

const TSerialPortInfo* TPortListRefresher::Info(const std::string& portName) const {
  const auto it = infos_.find(portName);
  return it == infos_.end() ? nullptr : &it->second;
}

void TPortListRefresher::Refresh() {
  TFlatComboBox* list = form_.VwCbBoxPort;
  std::vector<std::string> names;
  try {
    form_.ListSerialPorts(names);
  } catch (...) {
    return;  // an unreadable list keeps what it showed
  }
  const std::string current = list->Text();
  const std::string currentLink = SelectedLink();
  // The open port is the component's to give up: it stays listed until the loss is reported.
  if (form_.SerialOpen() && !current.empty() && std::find(names.begin(), names.end(), current) == names.end())
    names.push_back(current);

  std::map<std::string, TSerialPortInfo> infos;
  for (const std::string& name : names)
    infos[name] = DescribeSerialPort(DeviceOf(name), tree_.devDir, tree_.ttyClassDir);
  if (form_.SerialOpen() && infos_.count(current) && infos[current].byIdLink.empty())
    infos[current] = infos_[current];
  infos_ = std::move(infos);

  if (names != list->Items()) {
    list->SetItems(names);
    int index = -1;
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (names[i] == current) index = int(i);
    }
    // The same adapter back under a new name is still the operator's choice.
    for (std::size_t i = 0; index < 0 && !currentLink.empty() && i < names.size(); ++i) {
      if (infos_[names[i]].byIdLink == currentLink) index = int(i);
    }
    list->SetItemIndex(index);
  }
  for (int i = 0; i < list->count(); ++i)
    list->setItemData(i, AnsiToQString(ToolTip(infos_[list->Items()[std::size_t(i)]])), Qt::ToolTipRole);
  ShowSelectedToolTip();
  // A closed port opens next with what the list shows.
  if (!form_.SerialOpen() && list->Text() != form_.Comm->CommName()) form_.ApplyCommSettings();
}

bool TPortListRefresher::Select(const std::string& link, const std::string& name) {
  const std::vector<std::string> items = form_.VwCbBoxPort->Items();
  int index = -1;
  const std::string device = link.empty() ? std::string() : ResolveByIdLink(link);
  for (std::size_t i = 0; index < 0 && !device.empty() && i < items.size(); ++i) {
    if (DeviceOf(items[i]) == device) index = int(i);
  }
  for (std::size_t i = 0; index < 0 && !name.empty() && i < items.size(); ++i) {
    if (items[i] == name) index = int(i);
  }
  if (index < 0) return false;
  form_.VwCbBoxPort->SetItemIndex(index);
  return true;
}

std::string TPortListRefresher::SelectedLink() const {
  const TSerialPortInfo* info = Info(form_.VwCbBoxPort->Text());
  return info ? info->byIdLink : std::string();
}

std::string TPortListRefresher::ToolTip(const TSerialPortInfo& info) const {
  std::string tip;
  auto add = [&tip](const char* label, const std::string& value) {
    if (value.empty()) return;
    if (!tip.empty()) tip += '\n';
    tip += Tr(label) + value;
  };
  add("设备：", info.byIdLink.substr(info.byIdLink.rfind('/') + 1));
  add("厂商：", info.maker);
  add("产品：", info.product);
  add("序列号：", info.serial);
  return tip;
}

void TPortListRefresher::ShowSelectedToolTip() {
  const TSerialPortInfo* info = Info(form_.VwCbBoxPort->Text());
  form_.VwCbBoxPort->setToolTip(info ? AnsiToQString(ToolTip(*info)) : QString());
}

#include "main/formmain.h"

#include <QAction>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/consolelanguage.h"
#include "relay/texts.h"
#include "runtime/exception.h"

namespace {
std::vector<std::string> AnsiList(std::initializer_list<const char*> utf8) {
  std::vector<std::string> out;
  for (const char* s : utf8) out.push_back(Ansi(s));
  return out;
}

template <class W>
W* Place(W* widget, int left, int top, int width, int height) {
  widget->setGeometry(left, top, width, height);
  return widget;
}
}  // namespace

TFormMain::TFormMain(TFormMainParts parts, QWidget* parent)
    : TForm(parent),
      Comm(std::move(parts.comm)),
      ClientSocket(std::move(parts.clientSocket)),
      FPorts(std::move(parts.ports)),
      FCore(std::make_unique<relay::TRelayCore>(*Comm, *ClientSocket, static_cast<relay::TRelayView&>(*this),
                                                std::move(parts.errorText))) {
  CreateControls();
  BindEvents();
  AddRecoveryMenus();
  DoCreate();
}

TFormMain::~TFormMain() {
  // The components outlive no handler of ours: unbind before the members go.
  if (Comm) {
    Comm->OnReceiveData = nullptr;
    Comm->OnRequestHangup = nullptr;
    Comm->OnSendDataEmpty = nullptr;
  }
  if (ClientSocket) {
    ClientSocket->OnConnect = nullptr;
    ClientSocket->OnDisconnect = nullptr;
    ClientSocket->OnRead = nullptr;
    ClientSocket->OnWrite = nullptr;
    ClientSocket->OnError = nullptr;
  }
}

void TFormMain::CreateControls() {
  SetCaption(texts::Caption());
  SetBounds(221, 137, 707, 534);

  VwSizePanel1 = new TSizePanel(this, 185);
  VwRichEdit = new TLogView(this);
  VwSizePanel1->SetFillControl(VwRichEdit);

  VwGroupBox1 = Place(new TGroupBox(VwSizePanel1), 8, 8, 169, 185);
  VwGroupBox1->SetCaption(Ansi("串口设置"));
  VwGroupBox2 = Place(new TGroupBox(VwSizePanel1), 8, 200, 169, 129);
  VwGroupBox2->SetCaption(Ansi("网络设置"));
  VwGroupBox3 = Place(new TGroupBox(VwSizePanel1), 8, 336, 169, 81);
  VwGroupBox3->SetCaption(Ansi("参数设置"));
  VwGroupBox4 = Place(new TGroupBox(VwSizePanel1), 8, 424, 169, 113);
  VwGroupBox4->SetCaption(Ansi("统计"));

  // Serial settings.
  new TLabel(VwGroupBox1, Ansi("端口"), 16, 14);
  new TLabel(VwGroupBox1, Ansi("波特率"), 16, 37);
  new TLabel(VwGroupBox1, Ansi("数据位"), 16, 61);
  new TLabel(VwGroupBox1, Ansi("校验位"), 16, 85);
  new TLabel(VwGroupBox1, Ansi("停止位"), 16, 109);
  new TLabel(VwGroupBox1, Ansi("超时"), 16, 133);
  VwCbBoxPort = Place(new TFlatComboBox(VwGroupBox1), 64, 8, 89, 20);
  VwCbBoxBand = Place(new TFlatComboBox(VwGroupBox1), 64, 32, 89, 20);
  VwCbBoxBand->SetItems({"110", "300", "600", "1200", "4800", "9600", "19200", "38400", "56000", "57600",
                         "115200", "128000", "256000"});
  VwCbBoxBand->SetItemIndex(5);
  VwCbBoxData = Place(new TFlatComboBox(VwGroupBox1), 64, 56, 89, 20);
  VwCbBoxData->SetItems({"5", "6", "7", "8"});
  VwCbBoxData->SetItemIndex(3);
  VwCbBoxParity = Place(new TFlatComboBox(VwGroupBox1), 64, 80, 89, 20);
  VwCbBoxParity->SetItems(AnsiList({"无", "奇校验", "偶校验", "Mark", "Space"}));
  VwCbBoxParity->SetItemIndex(0);
  FlatCbBoxStop = Place(new TFlatComboBox(VwGroupBox1), 64, 104, 89, 20);
  FlatCbBoxStop->SetItems({"1", "1.5", "2"});
  FlatCbBoxStop->SetItemIndex(0);
  VwSEditTimeOut = Place(new TSpinEdit(VwGroupBox1), 64, 128, 89, 20);
  VwSEditTimeOut->SetMinValue(0);
  VwSEditTimeOut->SetMaxValue(10000);
  VwSEditTimeOut->SetValue(50);
  LEDOpen = Place(new TShape(VwGroupBox1), 31, 156, 15, 15);
  LEDOpen->SetBrushColor(clSilver);
  VwBtnOpenClose = Place(new TButton(VwGroupBox1), 72, 152, 75, 25);
  VwBtnOpenClose->SetCaption(texts::Open());

  // Network settings.
  new TLabel(VwGroupBox2, Ansi("IP地址"), 16, 16);
  new TLabel(VwGroupBox2, Ansi("端口"), 16, 68);
  VwEdit = Place(new TEdit(VwGroupBox2), 16, 32, 145, 20);
  VwEdit->SetAlignment(TAlignment::taRightJustify);
  VwEdit->SetText("127.0.0.1");
  VwNumEdit = Place(new TNumEdit(VwGroupBox2), 56, 64, 81, 20);
  VwNumEdit->SetValue(8887);
  LEDConnect = Place(new TShape(VwGroupBox2), 31, 100, 15, 15);
  LEDConnect->SetBrushColor(clSilver);
  VwBtnConnect = Place(new TButton(VwGroupBox2), 72, 96, 75, 25);
  VwBtnConnect->SetCaption(texts::Connect());

  // Display settings.
  VwCheckBoxDisplay = Place(new TCheckBox(VwGroupBox3), 16, 24, 73, 17);
  VwCheckBoxDisplay->SetCaption(Ansi("显示报文"));
  VwCheckBoxDisplay->SetChecked(true);
  VwCheckBoxHex = Place(new TCheckBox(VwGroupBox3), 96, 24, 65, 17);
  VwCheckBoxHex->SetCaption(Ansi("Hex方式"));
  VwCheckBoxHex->SetChecked(true);
  VwBtnClear = Place(new TButton(VwGroupBox3), 48, 48, 75, 25);
  VwBtnClear->SetCaption(Ansi("清除窗口"));

  // Counters.
  new TLabel(VwGroupBox4, Ansi("发到Socket："), 8, 24);
  new TLabel(VwGroupBox4, Ansi("发到串口："), 8, 64);
  VwLabelSendSocket = Place(new TCounterLabel(VwGroupBox4), 16, 40, 145, 20);
  VwLabelSendSocket->SetCaption("0" + texts::Bytes());
  VwLabelSendSerial = Place(new TCounterLabel(VwGroupBox4), 16, 80, 145, 20);
  VwLabelSendSerial->SetCaption("0" + texts::Bytes());
}

void TFormMain::BindEvents() {
  OnCreate = TNotifyEvent(this, &TFormMain::FormCreate);
  OnClose = TNotifyEvent(this, &TFormMain::FormClose);
  VwBtnOpenClose->OnClick = TNotifyEvent(this, &TFormMain::VwBtnOpenCloseClick);
  for (auto* list : {VwCbBoxPort, VwCbBoxBand, VwCbBoxData, VwCbBoxParity, FlatCbBoxStop})
    list->OnChange = TNotifyEvent(this, &TFormMain::VwCbBoxPortChange);
  VwSEditTimeOut->OnChange = TNotifyEvent(this, &TFormMain::VwCbBoxPortChange);
  VwBtnConnect->OnClick = TNotifyEvent(this, &TFormMain::VwBtnConnectClick);
  VwBtnClear->OnClick = TNotifyEvent(this, &TFormMain::VwBtnClearClick);

  using namespace endpoint;
  ClientSocket->OnConnect = TSocketNotifyEvent(this, &TFormMain::ClientSocketConnect);
  ClientSocket->OnDisconnect = TSocketNotifyEvent(this, &TFormMain::ClientSocketDisconnect);
  ClientSocket->OnRead = TSocketNotifyEvent(this, &TFormMain::ClientSocketRead);
  ClientSocket->OnWrite = TSocketNotifyEvent(this, &TFormMain::ClientSocketWrite);
  ClientSocket->OnError = TSocketErrorEvent(this, &TFormMain::ClientSocketError);
  Comm->OnReceiveData = TReceiveDataEvent(this, &TFormMain::CommReceiveData);
  Comm->OnRequestHangup = TNotifyEvent(this, &TFormMain::CommRequestHangup);
  Comm->OnSendDataEmpty = TNotifyEvent(this, &TFormMain::CommSendDataEmpty);
}

// Recovery is the service's habit; in the window the operator turns it on where the settings
// of each end are, and it is off at every start like every other setting.
void TFormMain::AddRecoveryMenus() {
  auto add = [this](QWidget* group, const char* utf8, bool relay::TRecovery::*flag) {
    auto* action = new QAction(AnsiToQString(Tr(utf8)), group);
    action->setCheckable(true);
    connect(action, &QAction::toggled, this, [this, flag](bool on) {
      relay::TRecovery recovery = FCore->Recovery();
      recovery.*flag = on;
      FCore->SetRecovery(recovery);
    });
    group->addAction(action);
    group->setContextMenuPolicy(Qt::ActionsContextMenu);
  };
  add(VwGroupBox1, "设备重新出现时自动打开串口", &relay::TRecovery::reopen);
  add(VwGroupBox2, "断线后自动重新连接服务器", &relay::TRecovery::reconnect);
}

void TFormMain::FormCreate(TObject*) {
  FCore->ZeroCounters();
  std::vector<std::string> ports = VwCbBoxPort->Items();
  ListSerialPorts(ports);
  VwCbBoxPort->SetItems(ports);
  if (!ports.empty()) VwCbBoxPort->SetItemIndex(0);
  ApplyCommSettings();
}

void TFormMain::FormClose(TObject*) {
  FCore->Shutdown();
  VwRichEdit->Flush();
}

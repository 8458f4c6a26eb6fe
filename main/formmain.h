// The console's one window: traffic log, forwarding with counters, serial and network controls.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "relay/endpoints.h"
#include "relay/relaycore.h"
#include "relay/view.h"
#include "widgets/button.h"
#include "widgets/checkbox.h"
#include "widgets/color.h"
#include "widgets/combobox.h"
#include "widgets/edit.h"
#include "widgets/form.h"
#include "widgets/groupbox.h"
#include "widgets/label.h"
#include "widgets/logview.h"
#include "widgets/numedit.h"
#include "widgets/shape.h"
#include "widgets/sizepanel.h"
#include "widgets/spinedit.h"

// Fills the list with port names (unsorted); false when the source cannot be read.
using TPortSource = std::function<bool(std::vector<std::string>& names)>;
// The system's text for an error code (GB18030), empty when it has none.
using TErrorTextSource = std::function<std::string(int code)>;

struct TFormMainParts {
  std::unique_ptr<endpoint::TSerialEndpoint> comm;
  std::unique_ptr<endpoint::TTcpEndpoint> clientSocket;
  TPortSource ports;
  TErrorTextSource errorText;
};

// The handlers keep the names the window's design gives them; what they do lives in the relay
// core, which the window shows through its log view, labels and indicators.
class TFormMain : public TForm, private relay::TRelayView {
 public:
  static constexpr std::size_t SerialHighWater = relay::TRelayCore::SerialHighWater;
  static constexpr std::size_t SerialLowWater = relay::TRelayCore::SerialLowWater;

  // Creates the controls and the components, then runs FormCreate.
  explicit TFormMain(TFormMainParts parts, QWidget* parent = nullptr);
  ~TFormMain() override;

  // Traffic log.
  // From `hexFrom` on, `text` is a block in hex (three characters a byte).
  void AddLogLine(TColor color, const std::string& text, std::size_t hexFrom = std::string::npos,
                  std::size_t omitted = 0);
  void VwBtnClearClick(TObject* Sender);

  // Forwarding.
  void CommReceiveData(TObject* Sender, const void* Buffer, std::uint16_t BufferLength);
  void ClientSocketRead(TObject* Sender, endpoint::TSocketEndpoint* Socket);
  void ClientSocketWrite(TObject* Sender, endpoint::TSocketEndpoint* Socket);
  void SerialDataArrived(const std::string& block);
  void SocketDataArrived(const std::string& block);

  // Serial port control.
  void ListSerialPorts(std::vector<std::string>& list);
  void ApplyCommSettings();
  void SetSerialOpen(bool value);
  void VwBtnOpenCloseClick(TObject* Sender);
  void VwCbBoxPortChange(TObject* Sender);
  void CommRequestHangup(TObject* Sender);
  void CommSendDataEmpty(TObject* Sender);

  // Network connection control.
  void VwBtnConnectClick(TObject* Sender);
  void SetConnectedState(bool connected);
  void ClientSocketConnect(TObject* Sender, endpoint::TSocketEndpoint* Socket);
  void ClientSocketDisconnect(TObject* Sender, endpoint::TSocketEndpoint* Socket);
  void ClientSocketError(TObject* Sender, endpoint::TSocketEndpoint* Socket, endpoint::TErrorEvent ErrorEvent,
                         int& ErrorCode);

  void FormCreate(TObject* Sender);
  void FormClose(TObject* Sender);

  std::int64_t BytesToSerial() const { return FCore->BytesToSerial(); }
  std::int64_t BytesToSocket() const { return FCore->BytesToSocket(); }
  bool SerialOpen() const { return FCore->SerialOpen(); }
  std::size_t QueuedForSocket() const { return FCore->QueuedForSocket(); }
  bool NetworkReadsHeld() const { return FCore->NetworkReadsHeld(); }
  // Off unless the operator turns them on (context menus of the two settings groups).
  relay::TRelayCore& Core() { return *FCore; }

  std::unique_ptr<endpoint::TSerialEndpoint> Comm;
  std::unique_ptr<endpoint::TTcpEndpoint> ClientSocket;
  // Every log line as it is appended, with the clock read for its stamp (a copy kept elsewhere).
  std::function<void(const SYSTEMTIME& utc, TColor color, const std::string& text, std::size_t hexFrom,
                     std::size_t omitted)>
      OnLogLine;

  TSizePanel* VwSizePanel1;
  TGroupBox* VwGroupBox1;
  TGroupBox* VwGroupBox2;
  TGroupBox* VwGroupBox3;
  TGroupBox* VwGroupBox4;
  TFlatComboBox* VwCbBoxPort;
  TFlatComboBox* VwCbBoxBand;
  TFlatComboBox* VwCbBoxData;
  TFlatComboBox* VwCbBoxParity;
  TFlatComboBox* FlatCbBoxStop;
  TSpinEdit* VwSEditTimeOut;
  TShape* LEDOpen;
  TButton* VwBtnOpenClose;
  TEdit* VwEdit;
  TNumEdit* VwNumEdit;
  TShape* LEDConnect;
  TButton* VwBtnConnect;
  TCheckBox* VwCheckBoxDisplay;
  TCheckBox* VwCheckBoxHex;
  TButton* VwBtnClear;
  TCounterLabel* VwLabelSendSocket;
  TCounterLabel* VwLabelSendSerial;
  TLogView* VwRichEdit;

 private:
  void CreateControls();
  void BindEvents();
  void AddRecoveryMenus();

  // What the core shows.
  void LogLine(relay::TLineKind kind, const std::string& text, std::size_t hexFrom,
               std::size_t omitted) override;
  std::size_t DataLineBytes(bool hex) const override;
  void SerialStateChanged(bool open) override;
  void NetworkStateChanged(bool connected) override;
  void BytesToSerialChanged(std::int64_t total) override;
  void BytesToSocketChanged(std::int64_t total) override;
  bool ShowData() const override;
  bool ShowHex() const override;

  TPortSource FPorts;
  std::unique_ptr<relay::TRelayCore> FCore;
};

// The console's one window: traffic log, forwarding with counters, serial and network controls.
#pragma once
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "main/endpoints.h"
#include "main/sendqueue.h"
#include "platform/clock.h"
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

class TFormMain : public TForm {
 public:
  // Serial blocks waiting for the line above this stop reads from the network until they
  // drain below the low mark, so a fast server cannot grow the transmit queue without bound.
  static constexpr std::size_t SerialHighWater = 1u << 20;
  static constexpr std::size_t SerialLowWater = 256u << 10;

  // Creates the controls and the components, then runs FormCreate.
  explicit TFormMain(TFormMainParts parts, QWidget* parent = nullptr);
  ~TFormMain() override;

  // Traffic log.
  // From `hexFrom` on, `text` is a block in hex (three characters a byte).
  void AddLogLine(TColor color, const std::string& text, std::size_t hexFrom = std::string::npos);
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

  std::int64_t BytesToSerial() const { return FBytesToSerial; }
  std::int64_t BytesToSocket() const { return FBytesToSocket; }
  bool SerialOpen() const { return FSerialOpen; }
  std::size_t QueuedForSocket() const { return FSendQueue.Bytes(); }
  bool NetworkReadsHeld() const { return FReadDeferred; }

  std::unique_ptr<endpoint::TSerialEndpoint> Comm;
  std::unique_ptr<endpoint::TTcpEndpoint> ClientSocket;
  // Every log line as it is appended, with the clock read for its stamp (a copy kept elsewhere).
  std::function<void(const SYSTEMTIME& utc, TColor color, const std::string& text, std::size_t hexFrom)>
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
  void EnqueueForSocket(std::string bytes);
  // "direction(length):" and the block, as text or in hex.
  void AddDataLine(TColor color, const std::string& direction, const std::string& block, bool hex);
  void ResumeNetworkReads();

  bool FSerialOpen = false;
  std::int64_t FBytesToSerial = 0;
  std::int64_t FBytesToSocket = 0;
  TSendQueue FSendQueue;
  bool FReadDeferred = false;
  bool FReopening = false;  // inside a settings change: the port is closed only for a moment
  QTimer FResumeTimer;
  TPortSource FPorts;
  TErrorTextSource FErrorText;
};

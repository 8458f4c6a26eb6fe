// The traffic log and the forwarding handlers: what the relay core shows goes to the log view
// and the counter labels; the handlers hand their events to the core.
#include "main/formmain.h"
#include "platform/clock.h"
#include "relay/texts.h"
#include "relay/trafficlog.h"

void TFormMain::AddLogLine(TColor color, const std::string& text, std::size_t hexFrom, std::size_t omitted) {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  const std::string stamp = FormatLogStamp(now);
  VwRichEdit->AppendLine(color, stamp + text, hexFrom == std::string::npos ? hexFrom : stamp.size() + hexFrom,
                         omitted);
  if (OnLogLine) OnLogLine(now, color, text, hexFrom, omitted);
}

void TFormMain::LogLine(relay::TLineKind kind, const std::string& text, std::size_t hexFrom,
                        std::size_t omitted) {
  using relay::TLineKind;
  AddLogLine(kind == TLineKind::System        ? clRed
             : kind == TLineKind::FromNetwork ? clBlue
                                              : clGreen,
             text, hexFrom, omitted);
}

// The log view, and the log file that copies it, show no more of a block than this.
std::size_t TFormMain::DataLineBytes(bool hex) const { return TLogView::BytesShownAtMost(hex); }

void TFormMain::BytesToSerialChanged(std::int64_t total) {
  VwLabelSendSerial->SetCaption(std::to_string(total) + texts::Bytes());
}

void TFormMain::BytesToSocketChanged(std::int64_t total) {
  VwLabelSendSocket->SetCaption(std::to_string(total) + texts::Bytes());
}

bool TFormMain::ShowData() const { return VwCheckBoxDisplay->Checked(); }
bool TFormMain::ShowHex() const { return VwCheckBoxHex->Checked(); }

void TFormMain::VwBtnClearClick(TObject*) { VwRichEdit->ClearLines(); }

void TFormMain::CommReceiveData(TObject*, const void* Buffer, std::uint16_t BufferLength) {
  FCore->SerialData(Buffer, BufferLength);
}

void TFormMain::ClientSocketRead(TObject*, endpoint::TSocketEndpoint* Socket) {
  FCore->NetworkReadable(*Socket);
}

void TFormMain::ClientSocketWrite(TObject*, endpoint::TSocketEndpoint* Socket) {
  FCore->NetworkWritable(*Socket);
}

void TFormMain::CommSendDataEmpty(TObject*) { FCore->SerialDrained(); }

void TFormMain::SocketDataArrived(const std::string& block) { FCore->SocketDataArrived(block); }

void TFormMain::SerialDataArrived(const std::string& block) { FCore->SerialDataArrived(block); }

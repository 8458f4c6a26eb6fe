// The serial end: port list, settings, open and close, and what the operator sees of them.
#include <QScopedValueRollback>
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "main/causetext.h"
#include "main/formmain.h"
#include "main/texts.h"
#include "platform/text/qtext.h"
#include "runtime/exception.h"

void TFormMain::ListSerialPorts(std::vector<std::string>& list) {
  std::vector<std::string> names;
  if (!FPorts || !FPorts(names)) throw Exception(texts::PortListError());
  // Case-insensitive text order: COM10 sorts before COM2.
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return AnsiToQString(a).compare(AnsiToQString(b), Qt::CaseInsensitive) < 0;
  });
  list = std::move(names);
}

void TFormMain::ApplyCommSettings() {
  using namespace endpoint;
  Comm->SetCommName(VwCbBoxPort->Text());
  Comm->SetBaudRate(std::uint32_t(std::strtoul(VwCbBoxBand->Text().c_str(), nullptr, 10)));
  static constexpr TByteSize kSizes[] = {TByteSize::_5, TByteSize::_6, TByteSize::_7, TByteSize::_8};
  static constexpr TParity kParities[] = {TParity::None, TParity::Odd, TParity::Even, TParity::Mark,
                                          TParity::Space};
  static constexpr TStopBits kStops[] = {TStopBits::_1, TStopBits::_1_5, TStopBits::_2};
  const int data = VwCbBoxData->ItemIndex();
  if (data >= 0 && data < 4) Comm->SetByteSize(kSizes[data]);
  const int parity = VwCbBoxParity->ItemIndex();
  if (parity >= 0 && parity < 5) Comm->SetParity(kParities[parity]);
  const int stop = FlatCbBoxStop->ItemIndex();
  if (stop >= 0 && stop < 3) Comm->SetStopBits(kStops[stop]);
  Comm->SetReadIntervalTimeout(std::uint32_t(VwSEditTimeOut->Value()));
}

void TFormMain::SetSerialOpen(bool value) {
  try {
    if (value) {
      Comm->Open();
      LEDOpen->SetBrushColor(clGreen);
      VwBtnOpenClose->SetCaption(texts::Close());
      AddLogLine(clRed, texts::SerialOpened());
    } else {
      Comm->Close();
      LEDOpen->SetBrushColor(clSilver);
      VwBtnOpenClose->SetCaption(texts::Open());
      AddLogLine(clRed, texts::SerialClosed());
    }
    FSerialOpen = value;
  } catch (...) {
    FSerialOpen = false;
    AddLogLine(clRed, texts::SerialFailed());
    // The line above is the console's own; the cause follows it for the operator.
    const std::string cause = OperatorCauseText(CauseOf(std::current_exception()));
    if (!cause.empty()) AddLogLine(clRed, cause);
  }
  if (!FSerialOpen && !FReopening) ResumeNetworkReads();
}

void TFormMain::VwBtnOpenCloseClick(TObject*) { SetSerialOpen(!FSerialOpen); }

void TFormMain::VwCbBoxPortChange(TObject*) {
  {
    // Network bytes held back wait for the reopened port: read now, they would be logged as
    // received and dropped although the port is closed only for a moment.
    const QScopedValueRollback reopening(FReopening, true);
    SetSerialOpen(false);
    ApplyCommSettings();
  }
  SetSerialOpen(true);
  if (FSerialOpen) ResumeNetworkReads();
}

void TFormMain::CommRequestHangup(TObject*) {
  // The device went away under the open port: show the truth instead of an open port that
  // silently drops what the network sends. The component passes on only notices of the port
  // open now; one that finds the port closed by the operator has nothing to report.
  if (!FSerialOpen) return;
  try {
    Comm->Close();
  } catch (...) {
  }
  LEDOpen->SetBrushColor(clSilver);
  VwBtnOpenClose->SetCaption(texts::Open());
  FSerialOpen = false;
  AddLogLine(clRed, texts::SerialFailed());
  ResumeNetworkReads();
}

// The serial end: port list, settings, open and close, and what the operator sees of them.
#include <QString>
#include <algorithm>
#include <cstdlib>

#include "main/formmain.h"
#include "platform/text/codepage.h"
#include "platform/text/qtext.h"
#include "relay/texts.h"
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

void TFormMain::SetSerialOpen(bool value) { FCore->SetSerialOpen(value); }

void TFormMain::SerialStateChanged(bool open) {
  LEDOpen->SetBrushColor(open ? clGreen : clSilver);
  VwBtnOpenClose->SetCaption(open ? texts::Close() : texts::Open());
}

void TFormMain::VwBtnOpenCloseClick(TObject*) { FCore->ToggleSerial(); }

void TFormMain::VwCbBoxPortChange(TObject*) {
  FCore->ChangeSerialSettings([this] { ApplyCommSettings(); });
}

void TFormMain::CommRequestHangup(TObject*) { FCore->SerialLost(); }

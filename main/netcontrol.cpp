// The network end: connect and disconnect, and what the operator sees of them.
#include "main/formmain.h"
#include "main/texts.h"
#include "platform/winsock/errortext.h"

void TFormMain::VwBtnConnectClick(TObject*) {
  try {
    // A click while an attempt is still under way gives it up, so that a corrected address can
    // be tried at once rather than after the system's own time-out.
    if (!ClientSocket->Active() && ClientSocket->Connecting()) {
      ClientSocket->CancelConnect();
      return;
    }
    const int port = VwNumEdit->Value();
    // Only the low 16 bits would reach the connect: 99999 would quietly become 34463.
    if (!ClientSocket->Active() && (port < 1 || port > 65535)) {
      AddLogLine(clRed, texts::ConnectFailed());
      AddLogLine(clRed, texts::PortOutOfRange(port));
      return;
    }
    ClientSocket->SetPort(port);
    ClientSocket->SetHost(VwEdit->Text());
    ClientSocket->SetActive(!ClientSocket->Active());
  } catch (...) {
    AddLogLine(clRed, texts::ConnectFailed());
  }
}

void TFormMain::SetConnectedState(bool connected) {
  LEDConnect->SetBrushColor(connected ? clGreen : clSilver);
  VwBtnConnect->SetCaption(connected ? texts::Disconnect() : texts::Connect());
  AddLogLine(clRed, connected ? texts::Connected() : texts::Disconnected());
}

void TFormMain::ClientSocketConnect(TObject*, endpoint::TSocketEndpoint*) { SetConnectedState(true); }

void TFormMain::ClientSocketDisconnect(TObject*, endpoint::TSocketEndpoint*) {
  // What the server never took cannot go to the next connection; the operator learns how much.
  const std::size_t dropped = FSendQueue.Bytes();
  FSendQueue.Clear();
  SetConnectedState(false);
  if (dropped > 0) AddLogLine(clRed, texts::QueueDropped(dropped));
  ResumeNetworkReads();
}

void TFormMain::ClientSocketError(TObject*, endpoint::TSocketEndpoint*, endpoint::TErrorEvent,
                                  int& ErrorCode) {
  const std::string text = FErrorText ? StripSystemText(FErrorText(ErrorCode)) : std::string();
  AddLogLine(clRed, texts::SystemPrefix() + text);
  ErrorCode = 0;
}

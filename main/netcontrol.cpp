// The network end: connect and disconnect, and what the operator sees of them.
#include "main/formmain.h"
#include "main/texts.h"
#include "platform/winsock/errortext.h"

void TFormMain::VwBtnConnectClick(TObject*) {
  try {
    ClientSocket->SetPort(VwNumEdit->Value());
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
  // What the server never took cannot go to the next connection.
  FSendQueue.Clear();
  SetConnectedState(false);
  ResumeNetworkReads();
}

void TFormMain::ClientSocketError(TObject*, endpoint::TSocketEndpoint*, endpoint::TErrorEvent,
                                  int& ErrorCode) {
  const std::string text = FErrorText ? StripSystemText(FErrorText(ErrorCode)) : std::string();
  AddLogLine(clRed, texts::SystemPrefix() + text);
  ErrorCode = 0;
}

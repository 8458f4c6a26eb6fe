// The network end: the connect button and the socket's events, handed to the relay core, and
// the indicator and caption that show the connection.
#include "main/formmain.h"
#include "relay/texts.h"

void TFormMain::VwBtnConnectClick(TObject*) { FCore->ConnectClick(VwNumEdit->Value(), VwEdit->Text()); }

void TFormMain::SetConnectedState(bool connected) { FCore->ShowConnectedState(connected); }

void TFormMain::NetworkStateChanged(bool connected) {
  LEDConnect->SetBrushColor(connected ? clGreen : clSilver);
  VwBtnConnect->SetCaption(connected ? texts::Disconnect() : texts::Connect());
}

void TFormMain::ClientSocketConnect(TObject*, endpoint::TSocketEndpoint*) { FCore->NetworkConnected(); }

void TFormMain::ClientSocketDisconnect(TObject*, endpoint::TSocketEndpoint*) { FCore->NetworkDisconnected(); }

void TFormMain::ClientSocketError(TObject*, endpoint::TSocketEndpoint*, endpoint::TErrorEvent ErrorEvent,
                                  int& ErrorCode) {
  FCore->NetworkError(ErrorEvent, ErrorCode);
}

// Blocks between the two ends: logged, counted and handed over unchanged, one at a time.
#include <algorithm>

#include "main/formmain.h"
#include "main/texts.h"
#include "main/trafficlog.h"
#include "platform/clock.h"

void TFormMain::AddDataLine(TColor color, const std::string& direction, const std::string& block, bool hex) {
  std::string line = direction;
  line += '(';
  line += std::to_string(block.size());
  line += "):";
  const std::size_t payload = line.size();
  line += hex ? StrToHexStr(block) : block;
  AddLogLine(color, line, hex ? payload : std::string::npos);
}

void TFormMain::AddLogLine(TColor color, const std::string& text, std::size_t hexFrom) {
  SYSTEMTIME now{};
  GetSystemTime(&now);
  const std::string stamp = FormatLogStamp(now);
  VwRichEdit->AppendLine(color, stamp + text,
                         hexFrom == std::string::npos ? hexFrom : stamp.size() + hexFrom);
  if (OnLogLine) OnLogLine(now, color, text, hexFrom);
}

void TFormMain::VwBtnClearClick(TObject*) { VwRichEdit->ClearLines(); }

void TFormMain::CommReceiveData(TObject*, const void* Buffer, std::uint16_t BufferLength) {
  SerialDataArrived(std::string(static_cast<const char*>(Buffer), BufferLength));
}

void TFormMain::ClientSocketRead(TObject*, endpoint::TSocketEndpoint* Socket) {
  // Leaving the bytes in the socket stops further read notifications until they are read, so
  // the server is slowed by TCP itself while the serial line catches up.
  if (FSerialOpen && Comm->PendingWriteBytes() >= SerialHighWater) {
    FReadDeferred = true;
    FResumeTimer.start();
    return;
  }
  SocketDataArrived(Socket->ReceiveText());
}

void TFormMain::ResumeNetworkReads() {
  if (!FReadDeferred) {
    FResumeTimer.stop();
    return;
  }
  if (FSerialOpen && Comm->PendingWriteBytes() > SerialLowWater) return;
  FReadDeferred = false;
  FResumeTimer.stop();
  if (!ClientSocket->Active()) return;
  std::string block = ClientSocket->Socket()->ReceiveText();
  if (!block.empty()) SocketDataArrived(block);
}

void TFormMain::CommSendDataEmpty(TObject*) { ResumeNetworkReads(); }

void TFormMain::SocketDataArrived(const std::string& block) {
  if (VwCheckBoxDisplay->Checked()) {
    AddDataLine(clBlue, FSerialOpen ? texts::NetToSerial() : texts::NetReceived(), block,
                VwCheckBoxHex->Checked());
  }
  if (FSerialOpen) {
    FBytesToSerial += std::int64_t(block.size());
    VwLabelSendSerial->SetCaption(std::to_string(FBytesToSerial) + texts::Bytes());
    if (block.empty()) {
      Comm->WriteData(block.data(), 0);
      return;
    }
    // The serial write takes at most 65535 bytes; a longer block goes in order, in pieces.
    for (std::size_t at = 0; at < block.size(); at += 65535) {
      const std::size_t n = std::min<std::size_t>(65535, block.size() - at);
      Comm->WriteData(block.data() + at, std::uint16_t(n));
    }
  }
}

void TFormMain::SerialDataArrived(const std::string& block) {
  if (VwCheckBoxDisplay->Checked()) {
    AddDataLine(clGreen, ClientSocket->Active() ? texts::SerialToNet() : texts::SerialReceived(), block,
                VwCheckBoxHex->Checked());
  }
  if (!ClientSocket->Active()) return;
  FBytesToSocket += std::int64_t(block.size());
  VwLabelSendSocket->SetCaption(std::to_string(FBytesToSocket) + texts::Bytes());
  if (!FSendQueue.Empty()) {
    // Behind what the socket has not taken yet.
    EnqueueForSocket(block);
    return;
  }
  const int taken = ClientSocket->Socket()->SendText(block);
  // A failed send has closed the connection (and emptied the queue) by now.
  if (!ClientSocket->Active()) return;
  const std::size_t n = taken > 0 ? std::size_t(taken) : 0;
  if (n == block.size()) return;
  EnqueueForSocket(block.substr(n));
  // A short send does not make the socket report room later; only a send that would block
  // does. Offer the rest at once: it goes out, or the socket now owes us an OnWrite.
  if (n > 0 && !FSendQueue.Empty()) FSendQueue.Drain(*ClientSocket->Socket());
}

void TFormMain::EnqueueForSocket(std::string bytes) {
  if (FSendQueue.Fits(bytes.size())) {
    FSendQueue.Push(std::move(bytes));
    return;
  }
  // The server has taken nothing for a long while: rather than drop bytes from the middle of
  // the stream, end the connection and say why.
  AddLogLine(clRed, texts::SendQueueOverflow());
  // Counted with the rest when the disconnect says how much was dropped.
  FSendQueue.Push(std::move(bytes));
  ClientSocket->SetActive(false);
  FSendQueue.Clear();
}

void TFormMain::ClientSocketWrite(TObject*, endpoint::TSocketEndpoint* Socket) { FSendQueue.Drain(*Socket); }

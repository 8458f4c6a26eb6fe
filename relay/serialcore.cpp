// The serial end: open and close with what the operator sees of them, and a lost device found
// again when it comes back.
#include <QScopedValueRollback>
#include <algorithm>
#include <chrono>
#include <utility>

#include "platform/devices/stablelink.h"
#include "relay/causetext.h"
#include "relay/relaycore.h"
#include "relay/texts.h"
#include "runtime/errorvalue.h"
#include "runtime/exception.h"

namespace relay {

void TRelayCore::SetSerialOpen(bool value) {
  EndDeviceWait(false);
  try {
    if (value) {
      comm_.Open();
      view_.SerialStateChanged(true);
      Log(texts::SerialOpened());
    } else {
      if (stopping_) {
        // The stop's bound holds for what the driver still has, too.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            stopDeadline_ - std::chrono::steady_clock::now());
        comm_.CloseWithin(std::max(left, std::chrono::milliseconds(0)));
      } else {
        comm_.Close();
      }
      view_.SerialStateChanged(false);
      Log(texts::SerialClosed());
      SayUnsent();
    }
    serialOpen_ = value;
  } catch (...) {
    serialOpen_ = false;
    Log(texts::SerialFailed());
    // The line above is the console's own; the cause follows it for the operator.
    const std::string cause = OperatorCauseText(CauseOf(std::current_exception()));
    if (!cause.empty()) Log(cause);
  }
  wantOpen_ = serialOpen_;
  if (serialOpen_) NoteDevice();
  if (!serialOpen_ && !reopening_) ResumeNetworkReads();
}

void TRelayCore::SayUnsent() {
  // Counted when they were handed over; the operator learns which of them never went.
  const std::size_t unsent = comm_.UnsentBytes() + std::exchange(droppedForLine_, 0);
  if (unsent > 0) Log(texts::SerialUnsent(unsent));
}

void TRelayCore::ToggleSerial() {
  if (WaitingForDevice()) {
    EndDeviceWait(true);
    wantOpen_ = false;
    return;
  }
  SetSerialOpen(!serialOpen_);
}

void TRelayCore::ChangeSerialSettings(const std::function<void()>& apply) {
  {
    // Network bytes held back wait for the reopened port: read now, they would be logged as
    // received and dropped although the port is closed only for a moment.
    const QScopedValueRollback reopening(reopening_, true);
    SetSerialOpen(false);
    apply();
  }
  SetSerialOpen(true);
  if (serialOpen_) ResumeNetworkReads();
}

void TRelayCore::SerialLost() {
  // The device went away under the open port: show the truth instead of an open port that
  // silently drops what the network sends. The component passes on only notices of the port
  // open now; one that finds the port closed by the operator has nothing to report.
  if (!serialOpen_) return;
  try {
    comm_.Close();
  } catch (...) {
  }
  view_.SerialStateChanged(false);
  serialOpen_ = false;
  Log(texts::SerialFailed());
  SayUnsent();
  ResumeNetworkReads();
  if (recovery_.reopen && wantOpen_ && !stopping_) WatchForDevice(true);
}

void TRelayCore::KeepSerialOpen() {
  SetSerialOpen(true);
  wantOpen_ = true;
  if (serialOpen_ || !recovery_.reopen) return;
  NoteDevice();
  WatchForDevice(false);
}

void TRelayCore::NoteDevice() {
  deviceName_ =
      StableDeviceName(comm_.CommName(), recovery_.byIdDir.empty() ? DefaultByIdDir : recovery_.byIdDir);
}

void TRelayCore::WatchForDevice(bool lost) {
  // A device lost under the open port has gone, whatever is left of its node. One that could
  // not be opened but is there (another program holds it) has not: its cause is said as the
  // open fails, and it is tried again quietly.
  deviceSaidGone_ = false;
  if (lost) {
    Log(texts::DeviceGone(deviceName_));
    deviceSaidGone_ = true;
  } else {
    SayIfDeviceGone();
  }
  deviceFailureSaid_ = false;
  deviceTimer_.start();
}

bool TRelayCore::SayIfDeviceGone() {
  if (CharacterDevicePresent(deviceName_)) return false;
  if (!deviceSaidGone_) Log(texts::DeviceGone(deviceName_));
  deviceSaidGone_ = true;
  return true;
}

void TRelayCore::LookForDevice() {
  if (serialOpen_ || !wantOpen_) {
    EndDeviceWait(false);
    return;
  }
  if (SayIfDeviceGone()) return;
  // Through the stable name: the adapter may be back under another ttyUSBn.
  comm_.SetCommName(deviceName_);
  try {
    comm_.Open();
  } catch (...) {
    // Often only for a moment (udev has not given the device its group yet): said once, then
    // tried quietly on every look.
    if (!deviceFailureSaid_) {
      const std::string cause = OperatorCauseText(CauseOf(std::current_exception()));
      Log(cause.empty() ? texts::SerialFailed() : cause);
    }
    deviceFailureSaid_ = true;
    return;
  }
  deviceTimer_.stop();
  if (deviceSaidGone_) Log(texts::DeviceBack(deviceName_));
  view_.SerialStateChanged(true);
  Log(texts::SerialOpened());
  serialOpen_ = true;
}

void TRelayCore::EndDeviceWait(bool say) {
  if (!deviceTimer_.isActive()) return;
  deviceTimer_.stop();
  if (say) Log(texts::DeviceWaitStopped());
}

}  // namespace relay

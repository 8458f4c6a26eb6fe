// What the guest's tests share: the device under test, the far end's command line, and a port
// set up the way the tests need it.
#pragma once
#include <chrono>
#include <string>

namespace uart {

// The serial device under test and the console's relay program, as the rig's runner names them
// (UART_DEVICE, UART_RELAY). A test outside the rig fails here with the reason.
std::string Device();
std::string RelayProgram();

// The far end's command line (UART_CONTROL), raw, one request and one answer at a time.
class FarEnd {
 public:
  FarEnd();
  ~FarEnd();
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  bool Usable() const { return fd_ >= 0; }
  void Send(const std::string& command);
  // The next answer if it is complete now (the caller keeps pumping meanwhile).
  bool TryReply(std::string& reply);
  // Waits for the answer while delivering the UI thread's messages; "" after `limit`.
  std::string Await(std::chrono::milliseconds limit = std::chrono::seconds(60));
  std::string Call(const std::string& command, std::chrono::milliseconds limit = std::chrono::seconds(60)) {
    Send(command);
    return Await(limit);
  }

 private:
  int fd_ = -1;
  std::string pending_;
};

// The number after "key=" in a far end's answer, or -1.
long Field(const std::string& reply, const std::string& key);

// The driver's count `field` ("tx", "rx", "oe" ...) for the device under test, from
// /proc/tty/driver/serial, or -1 when the driver does not show it.
long DriverCount(const std::string& field);

}  // namespace uart

#include "tests/uart/rig.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>

#include "tests/support/pump.h"

namespace uart {
namespace {
std::string FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    ADD_FAILURE() << name << " is not set: these tests run in the guest of scripts/test-uart";
    return "/nonexistent";
  }
  return value;
}
}  // namespace

std::string Device() { return FromEnvironment("UART_DEVICE"); }
std::string RelayProgram() { return FromEnvironment("UART_RELAY"); }

FarEnd::FarEnd() {
  const std::string path = FromEnvironment("UART_CONTROL");
  fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    ADD_FAILURE() << "cannot open the far end's line " << path << ": " << std::strerror(errno);
    return;
  }
  termios t{};
  tcgetattr(fd_, &t);
  cfmakeraw(&t);
  cfsetspeed(&t, B115200);
  tcsetattr(fd_, TCSANOW, &t);
  tcflush(fd_, TCIOFLUSH);
  // Whatever an earlier test left on its way to the far end is not this test's.
  const std::string reply = Call("drain 100");
  EXPECT_EQ(reply.rfind("ok", 0), 0u) << "the far end does not answer: " << reply;
}

FarEnd::~FarEnd() {
  if (fd_ >= 0) ::close(fd_);
}

void FarEnd::Send(const std::string& command) {
  if (fd_ < 0) return;
  const std::string line = command + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd_, line.data() + done, line.size() - done);
    if (n > 0)
      done += static_cast<std::size_t>(n);
    else if (n < 0 && errno != EAGAIN && errno != EINTR)
      return;
    else
      ::usleep(1000);
  }
}

bool FarEnd::TryReply(std::string& reply) {
  if (fd_ < 0) return false;
  char buffer[256];
  ssize_t n;
  while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) pending_.append(buffer, static_cast<std::size_t>(n));
  const auto end = pending_.find('\n');
  if (end == std::string::npos) return false;
  reply = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return true;
}

std::string FarEnd::Await(std::chrono::milliseconds limit) {
  std::string reply;
  if (!PumpUntil([&] { return TryReply(reply); }, limit)) return "";
  return reply;
}

long Field(const std::string& reply, const std::string& key) {
  const auto at = reply.find(" " + key + "=");
  if (at == std::string::npos) return -1;
  return std::strtol(reply.c_str() + at + key.size() + 2, nullptr, 10);
}

long DriverCount(const std::string& field) {
  // "/dev/ttyS1" is line "1:" of the driver's table.
  const std::string device = Device();
  const auto at = device.rfind("ttyS");
  if (at == std::string::npos) return -1;
  const std::string line = device.substr(at + 4) + ":";
  std::ifstream table("/proc/tty/driver/serial");
  std::string text;
  while (std::getline(table, text)) {
    if (text.rfind(line, 0) != 0) continue;
    const auto key = text.find(" " + field + ":");
    return key == std::string::npos ? -1 : std::strtol(text.c_str() + key + field.size() + 2, nullptr, 10);
  }
  return -1;
}

}  // namespace uart

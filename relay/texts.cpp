#include "relay/texts.h"

#include "platform/text/codepage.h"
#include "relay/consolelanguage.h"

namespace texts {
namespace {
// Converted once per language: some are used for every block.
class TCachedText {
 public:
  explicit TCachedText(const char* utf8) : utf8_(utf8) {}
  const std::string& Get() {
    if (generation_ != ConsoleLanguageGeneration() || !ready_) {
      text_ = Tr(utf8_);
      generation_ = ConsoleLanguageGeneration();
      ready_ = true;
    }
    return text_;
  }

 private:
  const char* utf8_;
  std::string text_;
  std::uint32_t generation_ = 0;
  bool ready_ = false;
};
}  // namespace

#define COMRELAY_TEXT(name, utf8)  \
  const std::string& name() {      \
    static TCachedText text(utf8); \
    return text.Get();             \
  }
COMRELAY_TEXT(Caption, "通讯转发")
COMRELAY_TEXT(SerialOpened, "系统：成功打开串口")
COMRELAY_TEXT(SerialClosed, "系统：成功关闭串口")
COMRELAY_TEXT(SerialFailed, "系统：无法操作串口")
COMRELAY_TEXT(Connected, "系统：已连接到服务器")
COMRELAY_TEXT(Disconnected, "系统：已从服务器断开")
COMRELAY_TEXT(ConnectFailed, "系统：无法连接到服务器")
COMRELAY_TEXT(SystemPrefix, "系统：")
COMRELAY_TEXT(NetToSerial, "网络->串口")
COMRELAY_TEXT(NetReceived, "网络收到")
COMRELAY_TEXT(SerialToNet, "串口->网络")
COMRELAY_TEXT(SerialReceived, "串口收到")
COMRELAY_TEXT(Bytes, "字节")
COMRELAY_TEXT(SendQueueOverflow, "系统：发送队列已满，断开服务器")
COMRELAY_TEXT(PortListError, "读取串口参数错误")
COMRELAY_TEXT(Open, "打开")
COMRELAY_TEXT(Close, "关闭")
COMRELAY_TEXT(Connect, "连接")
COMRELAY_TEXT(Disconnect, "断开")
COMRELAY_TEXT(RetriesStopped, "系统：已停止重新连接服务器")
COMRELAY_TEXT(DeviceWaitStopped, "系统：已停止等待串口设备")
#undef COMRELAY_TEXT

std::string QueueDropped(std::size_t bytes) {
  return Tr("系统：发送队列中未发出的") + std::to_string(bytes) + Tr("字节已丢弃");
}

std::string PortOutOfRange(long long port) {
  return Tr("系统：端口") + std::to_string(port) + Tr("超出范围(1-65535)");
}

std::string RetryIn(long long milliseconds, int attempt) {
  // Whole seconds as such; a shorter wait (tests use them) with its decimals.
  std::string seconds = std::to_string(milliseconds / 1000);
  if (const long long rest = milliseconds % 1000) {
    std::string frac = std::to_string(1000 + rest).substr(1);
    while (frac.back() == '0') frac.pop_back();
    seconds += "." + frac;
  }
  return Tr("系统：") + seconds + Tr("秒后第") + std::to_string(attempt) + Tr("次重新连接服务器");
}

std::string DeviceGone(const std::string& name) {
  return Tr("系统：串口设备已断开，等待其重新出现：") + name;
}

std::string DeviceBack(const std::string& name) { return Tr("系统：串口设备已重新出现：") + name; }

std::string SerialUnsent(std::size_t bytes) {
  return Tr("系统：串口发送队列中未写出的") + std::to_string(bytes) + Tr("字节已丢弃");
}
}  // namespace texts

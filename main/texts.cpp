#include "main/texts.h"

#include "platform/text/codepage.h"

namespace texts {
// Converted once: some are used for every block.
#define COMRELAY_TEXT(name, utf8)            \
  const std::string& name() {                \
    static const std::string s = Ansi(utf8); \
    return s;                                \
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
#undef COMRELAY_TEXT

std::string QueueDropped(std::size_t bytes) {
  return Ansi("系统：发送队列中未发出的") + std::to_string(bytes) + Ansi("字节已丢弃");
}

std::string PortOutOfRange(long long port) {
  return Ansi("系统：端口") + std::to_string(port) + Ansi("超出范围(1-65535)");
}
}  // namespace texts

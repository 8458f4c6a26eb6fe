// The console's own texts, as the code page holds them.
#pragma once
#include <cstddef>
#include <string>

namespace texts {
const std::string& Caption();            // 通讯转发
const std::string& SerialOpened();       // 系统：成功打开串口
const std::string& SerialClosed();       // 系统：成功关闭串口
const std::string& SerialFailed();       // 系统：无法操作串口
const std::string& Connected();          // 系统：已连接到服务器
const std::string& Disconnected();       // 系统：已从服务器断开
const std::string& ConnectFailed();      // 系统：无法连接到服务器
const std::string& SystemPrefix();       // 系统：
const std::string& NetToSerial();        // 网络->串口
const std::string& NetReceived();        // 网络收到
const std::string& SerialToNet();        // 串口->网络
const std::string& SerialReceived();     // 串口收到
const std::string& Bytes();              // 字节
const std::string& SendQueueOverflow();  // 系统：发送队列已满，断开服务器
const std::string& PortListError();      // 读取串口参数错误
const std::string& Open();               // 打开
const std::string& Close();              // 关闭
const std::string& Connect();            // 连接
const std::string& Disconnect();         // 断开

std::string QueueDropped(std::size_t bytes);  // 系统：发送队列中未发出的<n>字节已丢弃
std::string PortOutOfRange(long long port);   // 系统：端口<n>超出范围(1-65535)

// Recovery of a lost connection or device, and the service's stop.
std::string RetryIn(long long milliseconds, int attempt);  // 系统：<s>秒后第<k>次重新连接服务器
const std::string& RetriesStopped();                       // 系统：已停止重新连接服务器
std::string DeviceGone(const std::string& name);  // 系统：串口设备已断开，等待其重新出现：<name>
std::string DeviceBack(const std::string& name);  // 系统：串口设备已重新出现：<name>
const std::string& DeviceWaitStopped();           // 系统：已停止等待串口设备
std::string SerialUnsent(std::size_t bytes);  // 系统：串口发送队列中未写出的<n>字节已丢弃
}  // namespace texts

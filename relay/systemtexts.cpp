#include "relay/systemtexts.h"

#include <unordered_map>

#include "platform/text/codepage.h"
#include "platform/winsock/errortext.h"
#include "relay/consolelanguage.h"
#include "socket/socketerror.h"

namespace {
const char* ChineseText(int code) {
  static const std::unordered_map<int, const char*> texts{
      {0, "操作成功完成"},
      {8, "内存不足"},
      {87, "参数错误"},
      {1110, "未指定主机名或地址"},
      {10004, "阻塞调用被中断"},
      {10009, "文件句柄无效"},
      {10013, "拒绝访问套接字"},
      {10014, "调用中的地址无效"},
      {10022, "参数无效"},
      {10024, "打开的套接字太多"},
      {10035, "操作将被阻塞"},
      {10036, "阻塞操作正在进行"},
      {10037, "操作已在进行"},
      {10038, "句柄不是套接字"},
      {10039, "需要目标地址"},
      {10040, "消息太长"},
      {10041, "协议与套接字类型不符"},
      {10042, "未知的协议选项"},
      {10043, "不支持该协议"},
      {10044, "不支持该套接字类型"},
      {10045, "不支持该操作"},
      {10046, "不支持该协议族"},
      {10047, "不支持该地址族"},
      {10048, "地址已被使用"},
      {10049, "请求的地址无效"},
      {10050, "网络已断开"},
      {10051, "网络不可达"},
      {10052, "连接已丢失：远程主机不再应答"},
      {10053, "连接被本机中止"},
      {10054, "连接被远程主机重置"},
      {10055, "缓冲区空间不足"},
      {10056, "套接字已连接"},
      {10057, "套接字未连接"},
      {10058, "套接字已关闭"},
      {10059, "引用太多"},
      {10060, "连接超时"},
      {10061, "远程主机拒绝连接"},
      {10062, "无法转换名称"},
      {10063, "名称太长"},
      {10064, "远程主机已关闭"},
      {10065, "远程主机不可达"},
      {10066, "目录不为空"},
      {10067, "使用网络的进程太多"},
      {10068, "用户太多"},
      {10069, "超出磁盘配额"},
      {10070, "文件句柄已失效"},
      {10071, "项目位于远程"},
      {10091, "网络子系统尚未就绪"},
      {10092, "不支持此 WinSock 版本"},
      {10093, "WinSock 尚未启动"},
      {10101, "远程主机正在关闭连接"},
      {10107, "系统调用失败"},
      {11001, "找不到主机"},
      {11002, "域名服务器无应答，请稍后重试"},
      {11003, "域名服务器出错"},
      {11004, "该名称没有所需类型的地址"},
  };
  const auto it = texts.find(code);
  return it == texts.end() ? nullptr : it->second;
}
}  // namespace

std::string ConsoleErrorText(int code) {
  if (ConsoleLanguage() == TConsoleLanguage::English) return SocketSystemText(code);
  const char* text = ChineseText(code);
  // A code with an English text but no Chinese one still says something.
  return text ? Ansi(text) : SocketSystemText(code);
}

#include "main/causetext.h"

#include <cerrno>

#include "platform/text/codepage.h"

namespace {
std::string About(const std::string& subject) {
  return subject.empty() ? std::string() : Ansi("：") + subject;
}

std::string HeldBy(long holder) {
  return holder ? Ansi("端口被进程 ") + std::to_string(holder) + Ansi(" 占用") : Ansi("端口被其他程序占用");
}

std::string FromErrno(const TPlatformError& e) {
  switch (e.code) {
    case EACCES:
    case EPERM:
      // On Debian and its kin the serial devices belong to the dialout group.
      return Ansi("权限不足") + About(e.subject) + " (add the user to the dialout group)";
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return Ansi("设备不存在") + About(e.subject);
    case EBUSY:
    case EWOULDBLOCK:
      return HeldBy(e.holder);
    default:
      return {};
  }
}

std::string FromOwn(const TPlatformError& e) {
  switch (e.code) {
    case owncause::NotATerminal:
      return Ansi("不是串口设备") + About(e.subject);
    case owncause::LockFileHeld:
      return HeldBy(e.holder) + Ansi("（锁文件 ") + e.subject + Ansi("）");
    case owncause::HeldOpen:
      return HeldBy(e.holder) + Ansi("（未加锁）");
    case owncause::ByteSizeRefused:
      return Ansi("串口驱动不支持所选数据位");
    case owncause::ParityRefused:
      return Ansi("串口驱动不支持所选校验位");
    case owncause::StopBitsRefused:
      return Ansi("串口驱动不支持所选停止位");
    case owncause::FlowRefused:
      return Ansi("串口驱动不支持所选流控方式");
    case owncause::BaudRateRefused:
      return Ansi("串口驱动不支持所选波特率");
    default:
      return {};
  }
}
}  // namespace

std::string OperatorCauseText(const TPlatformError& cause) {
  if (!cause) return {};
  std::string text;
  if (cause.domain == TErrorDomain::Errno) text = FromErrno(cause);
  if (cause.domain == TErrorDomain::Own) text = FromOwn(cause);
  // Anything else in the system's own words, with its code for a search.
  return text.empty() ? Ansi("原因：") + DescribeError(cause) : text;
}

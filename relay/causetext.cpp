#include "relay/causetext.h"

#include <cerrno>

#include "platform/text/codepage.h"
#include "relay/consolelanguage.h"

namespace {
std::string About(const std::string& subject) { return subject.empty() ? std::string() : Tr("：") + subject; }

std::string HeldBy(long holder) {
  if (!holder) return Tr("端口被其他程序占用");
  std::string text = Tr("端口被进程 %1 占用");
  if (const auto at = text.find("%1"); at != std::string::npos) text.replace(at, 2, std::to_string(holder));
  return text;
}

std::string FromErrno(const TPlatformError& e) {
  switch (e.code) {
    case EACCES:
    case EPERM:
      // On Debian and its kin the serial devices belong to the dialout group.
      return Tr("权限不足") + About(e.subject) + Tr("（请将用户加入 dialout 组）");
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ENOTDIR:
      return Tr("设备不存在") + About(e.subject);
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
      return Tr("不是串口设备") + About(e.subject);
    case owncause::LockFileHeld:
      return HeldBy(e.holder) + Tr("（锁文件 ") + e.subject + Tr("）");
    case owncause::HeldOpen:
      return HeldBy(e.holder) + Tr("（未加锁）");
    case owncause::ByteSizeRefused:
      return Tr("串口驱动不支持所选数据位");
    case owncause::ParityRefused:
      return Tr("串口驱动不支持所选校验位");
    case owncause::StopBitsRefused:
      return Tr("串口驱动不支持所选停止位");
    case owncause::FlowRefused:
      return Tr("串口驱动不支持所选流控方式");
    case owncause::BaudRateRefused:
      return Tr("串口驱动不支持所选波特率");
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
  return text.empty() ? Tr("原因：") + DescribeError(cause) : text;
}

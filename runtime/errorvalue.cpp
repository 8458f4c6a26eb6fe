#include "runtime/errorvalue.h"

#include <cerrno>
#include <utility>

namespace {
struct TEntry {
  int code;
  const char* text;
};

// Every errno the serial and file facilities can meet, with the program's own short text.
constexpr TEntry kErrnoTable[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or device"},
    {ESRCH, "No such process"},
    {EINTR, "Interrupted system call"},
    {EIO, "Input/output error"},
    {ENXIO, "No such device or address"},
    {EBADF, "Bad file descriptor"},
    {EAGAIN, "Resource temporarily unavailable"},
    {ENOMEM, "Out of memory"},
    {EACCES, "Permission denied"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {ENODEV, "No such device"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {ENFILE, "Too many open files in system"},
    {EMFILE, "Too many open files"},
    {ENOTTY, "Not a terminal"},
    {ENOSPC, "No space left on device"},
    {EROFS, "Read-only file system"},
    {ENAMETOOLONG, "File name too long"},
    {ELOOP, "Too many levels of symbolic links"},
    {ETIMEDOUT, "Timed out"},
    {ESTALE, "Stale file handle"},
};

constexpr TEntry kOwnTable[] = {
    {owncause::NotATerminal, "The device is no serial port"},
    {owncause::LockFileHeld, "A lock file of another process holds the device"},
    {owncause::ByteSizeRefused, "The driver refused the data bits"},
    {owncause::ParityRefused, "The driver refused the parity"},
    {owncause::StopBitsRefused, "The driver refused the stop bits"},
    {owncause::FlowRefused, "The driver refused the flow control"},
    {owncause::BaudRateRefused, "The driver refused the baud rate"},
    {owncause::HeldOpen, "Another process has the device open"},
};

template <std::size_t N>
std::string Lookup(const TEntry (&table)[N], int code) {
  for (const TEntry& e : table)
    if (e.code == code) return e.text;
  return {};
}
}  // namespace

std::string ErrnoText(int error) { return Lookup(kErrnoTable, error); }
std::string OwnCauseText(int code) { return Lookup(kOwnTable, code); }

TPlatformError TPlatformError::FromErrno(int error, std::string subject, long holder) {
  return {TErrorDomain::Errno, error, ErrnoText(error), std::move(subject), holder};
}

TPlatformError TPlatformError::FromOwn(int code, std::string subject, long holder) {
  return {TErrorDomain::Own, code, OwnCauseText(code), std::move(subject), holder};
}

std::string DescribeError(const TPlatformError& e) {
  if (!e) return {};
  static constexpr const char* kDomains[] = {"", "errno", "WinSock", "comrelay"};
  std::string text = e.text.empty() ? "Unknown error" : e.text;
  text += " (" + std::string(kDomains[static_cast<int>(e.domain)]) + " " + std::to_string(e.code) + ")";
  if (e.holder) text += ", held by process " + std::to_string(e.holder);
  if (!e.subject.empty()) text += ": " + e.subject;
  return text;
}

TPlatformError CauseOf(std::exception_ptr error) {
  try {
    if (error) std::rethrow_exception(error);
  } catch (const ECausedError& e) {
    return e.Cause();
  } catch (...) {
  }
  return {};
}

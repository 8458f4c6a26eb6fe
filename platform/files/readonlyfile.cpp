#include "platform/files/readonlyfile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <utility>

#include "platform/files/descriptor.h"
#include "runtime/lasterror.h"

namespace {
// Kept here rather than in a shared header: other platform parts define some of these too.
constexpr DWORD kErrorFileNotFound = 2;
constexpr DWORD kErrorPathNotFound = 3;
constexpr DWORD kErrorTooManyOpenFiles = 4;
constexpr DWORD kErrorAccessDenied = 5;
constexpr DWORD kErrorHandleEof = 38;
constexpr DWORD kErrorFileInvalid = 1006;

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return kErrorPathNotFound;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
      return kErrorAccessDenied;
    case ENOMEM:
    case EOVERFLOW:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return ERROR_INVALID_PARAMETER;
  }
}

void SetErrorFromErrno() { SetLastError(ErrorFromErrno(errno)); }
}  // namespace

TReadOnlyFile::TReadOnlyFile(TReadOnlyFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

TReadOnlyFile& TReadOnlyFile::operator=(TReadOnlyFile&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TReadOnlyFile::~TReadOnlyFile() { Close(); }

TReadOnlyFile TReadOnlyFile::Open(const std::string& path) {
  TReadOnlyFile file;
  int fd;
  // Non-blocking so that a FIFO at the path cannot hang the caller; regular files ignore it.
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    SetErrorFromErrno();
    return file;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    SetLastError(kErrorAccessDenied);
    return file;
  }
  file.fd_ = fd;
  return file;
}

std::int64_t TReadOnlyFile::Size() const {
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    if (fd_ < 0) errno = EBADF;
    SetErrorFromErrno();
    return -1;
  }
  return std::int64_t(st.st_size);
}

bool TReadOnlyFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
  auto* out = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    if (offset > std::uint64_t(std::numeric_limits<off_t>::max())) {
      SetLastError(kErrorHandleEof);
      return false;
    }
    const ssize_t n = ::pread(fd_, out, count, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      SetErrorFromErrno();
      return false;
    }
    if (n == 0) {
      SetLastError(kErrorHandleEof);
      return false;
    }
    out += n;
    offset += std::uint64_t(n);
    count -= std::size_t(n);
  }
  return true;
}

void TReadOnlyFile::Close() { CloseDescriptor(fd_); }

TFileMapping TFileMapping::Create(const TReadOnlyFile& file) {
  TFileMapping mapping;
  const std::int64_t size = file.Size();
  if (size < 0) return mapping;
  if (size == 0) {
    SetLastError(kErrorFileInvalid);
    return mapping;
  }
  if (std::uint64_t(size) > std::numeric_limits<std::size_t>::max()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return mapping;
  }
  mapping.fd_ = file.Descriptor();
  mapping.size_ = std::size_t(size);
  return mapping;
}

TMappedView::TMappedView(TMappedView&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

TMappedView& TMappedView::operator=(TMappedView&& other) noexcept {
  if (this != &other) {
    Unmap();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

TMappedView::~TMappedView() { Unmap(); }

TMappedView TMappedView::Map(const TFileMapping& mapping) {
  TMappedView view;
  if (!mapping.Valid()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return view;
  }
  void* p = ::mmap(nullptr, mapping.Size(), PROT_READ, MAP_SHARED, mapping.Descriptor(), 0);
  if (p == MAP_FAILED) {
    SetErrorFromErrno();
    return view;
  }
  view.data_ = static_cast<const unsigned char*>(p);
  view.size_ = mapping.Size();
  return view;
}

void TMappedView::Unmap() {
  if (data_ != nullptr) {
    ::munmap(const_cast<unsigned char*>(data_), size_);
    data_ = nullptr;
    size_ = 0;
  }
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string GetExecutablePath() {
  std::string buffer(256, '\0');
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (std::size_t(n) < buffer.size()) {
      buffer.resize(std::size_t(n));
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string FileErrorText(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS:
      return "The operation completed successfully.";
    case kErrorFileNotFound:
      return "The system cannot find the file specified.";
    case kErrorPathNotFound:
      return "The system cannot find the path specified.";
    case kErrorTooManyOpenFiles:
      return "The system cannot open the file.";
    case kErrorAccessDenied:
      return "Access is denied.";
    case ERROR_INVALID_HANDLE:
      return "The handle is invalid.";
    case ERROR_NOT_ENOUGH_MEMORY:
      return "Not enough storage is available to process this command.";
    case kErrorHandleEof:
      return "Reached the end of the file.";
    case ERROR_INVALID_PARAMETER:
      return "The parameter is incorrect.";
    case kErrorFileInvalid:
      return "The volume for a file has been externally altered so that the opened file is no longer valid.";
    default:
      return {};
  }
}

// Read-only access to whole files for the translation layer: an open file, a mapping of all
// of it, and a view of the mapping. Each step sets the last error on failure, so the caller
// can report which step failed and why.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/wintypes.h"

// Failures set Windows error codes: 2 file not found, 3 path not found, 4 too many open files,
// 5 access denied, 8 not enough memory, 38 end of file, 87 invalid parameter, 1006 the file
// cannot be mapped (it is empty).

// An open regular file, read only, others may read it too. Closed when destroyed.
class TReadOnlyFile {
 public:
  TReadOnlyFile() = default;
  TReadOnlyFile(TReadOnlyFile&& other) noexcept;
  TReadOnlyFile& operator=(TReadOnlyFile&& other) noexcept;
  ~TReadOnlyFile();

  // An existing regular file only; invalid (and the last error set) on failure.
  static TReadOnlyFile Open(const std::string& path);

  bool Valid() const { return fd_ >= 0; }
  // Size in bytes; -1 (and the last error set) when it cannot be told.
  std::int64_t Size() const;
  // Reads exactly `count` bytes at `offset`; false (error 38) when the file ends first.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;
  void Close();
  int Descriptor() const { return fd_; }

 private:
  int fd_ = -1;
};

// A read-only mapping of a whole file. It does not keep the file open on its own: close it
// before the file, as the handles are closed on Windows.
class TFileMapping {
 public:
  TFileMapping() = default;
  // Invalid (and the last error set) when the file cannot be mapped: empty files cannot.
  static TFileMapping Create(const TReadOnlyFile& file);
  bool Valid() const { return fd_ >= 0; }
  std::size_t Size() const { return size_; }
  int Descriptor() const { return fd_; }
  void Close() {
    fd_ = -1;
    size_ = 0;
  }

 private:
  int fd_ = -1;
  std::size_t size_ = 0;
};

// A read-only view of all of a mapping. Unmapped when destroyed.
class TMappedView {
 public:
  TMappedView() = default;
  TMappedView(TMappedView&& other) noexcept;
  TMappedView& operator=(TMappedView&& other) noexcept;
  ~TMappedView();

  static TMappedView Map(const TFileMapping& mapping);

  bool Valid() const { return data_ != nullptr; }
  const unsigned char* Data() const { return data_; }
  std::size_t Size() const { return size_; }
  void Unmap();

 private:
  const unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
};

// A regular file or anything but a directory exists at `path`.
bool FileExists(const std::string& path);

// The full path of the running executable file; empty when it cannot be told.
std::string GetExecutablePath();

// Short English text for the error codes the file functions above can set; empty for others.
std::string FileErrorText(DWORD code);

// LocalAlloc/LocalFree as an owning block: whoever holds the block frees it.
#pragma once
#include <cstddef>
#include <memory>

#include "runtime/wintypes.h"

inline constexpr UINT LMEM_FIXED = 0x0000;
inline constexpr UINT LMEM_ZEROINIT = 0x0040;
inline constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;

class TLocalBlock {
 public:
  TLocalBlock() = default;
  explicit operator bool() const { return static_cast<bool>(data_); }
  char* Data() const { return data_.get(); }
  std::size_t Size() const { return size_; }

 private:
  friend TLocalBlock LocalAlloc(UINT flags, std::size_t bytes);
  std::unique_ptr<char[]> data_;
  std::size_t size_ = 0;
};

// An empty block (with ERROR_NOT_ENOUGH_MEMORY as the last error) when memory is short.
TLocalBlock LocalAlloc(UINT flags, std::size_t bytes);
// Frees the block now; the block is empty afterwards.
void LocalFree(TLocalBlock& block);

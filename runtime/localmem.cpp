#include "runtime/localmem.h"

#include <cstring>
#include <new>

#include "runtime/lasterror.h"

TLocalBlock LocalAlloc(UINT flags, std::size_t bytes) {
  TLocalBlock block;
  block.data_.reset(new (std::nothrow) char[bytes ? bytes : 1]);
  if (!block.data_) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
  }
  if (flags & LMEM_ZEROINIT) std::memset(block.data_.get(), 0, bytes ? bytes : 1);
  block.size_ = bytes;
  return block;
}

void LocalFree(TLocalBlock& block) { block = TLocalBlock(); }

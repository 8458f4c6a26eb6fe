// The chain of headers that describes catalogues appended to the executable file. Each header:
// next header's offset (8 bytes, 0 ends the chain), the file's offset (8), its length (8), then
// its name up to the next header. All little-endian.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace i18n {

struct TEmbeddedFileInfo {
  std::uint64_t FOffset = 0;
  std::uint64_t FSize = 0;
};

// Reads exactly `count` bytes at `offset`; false when it cannot.
using TChainReader = std::function<bool(std::uint64_t offset, void* buffer, std::size_t count)>;
// Takes one entry; false ends the scan (a name seen before).
using TChainSink = std::function<bool(std::string name, const TEmbeddedFileInfo& info)>;

// Walks the chain from `first` in a file of `fileSize` bytes. Stops quietly at the end of the
// chain and at the first fault: a read past the end, a header that does not lie wholly after
// the one before it (so a loop cannot form), or an entry the sink refuses.
void ScanEmbeddedChain(std::uint64_t fileSize, std::uint64_t first, const TChainReader& read,
                       const TChainSink& add);

// Strips bytes up to 32 from both ends and writes "\" as "/".
std::string NormaliseEmbeddedName(std::string_view raw);

}  // namespace i18n

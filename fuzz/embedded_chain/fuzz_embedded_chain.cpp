// Scans arbitrary bytes as an executable file with a chain of embedded catalogue headers. The
// first 8 bytes are the offset the marker would carry; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "i18n/embeddedchain.h"
#include "platform/text/textcase.h"

namespace {
void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct TCaseBlind {
  bool operator()(const std::string& a, const std::string& b) const {
    return CompareTextIgnoreCase(a, b) < 0;
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  std::uint64_t first = 0;
  for (int i = 7; i >= 0; --i) first = (first << 8) | data[i];
  // Small offsets are the interesting ones; keep most of them inside the file.
  if (size > 8 && (first >> 32) != 0) first %= size;
  const std::vector<unsigned char> file(data + 8, data + size);

  std::uint64_t lastRead = 0;
  std::size_t reads = 0;
  std::set<std::string, TCaseBlind> names;
  i18n::ScanEmbeddedChain(
      file.size(), first,
      [&](std::uint64_t offset, void* buffer, std::size_t count) {
        Check(++reads <= 3 * (file.size() / 24 + 1));  // every header is read once, forwards
        Check(offset <= file.size() && count <= file.size() - offset);
        Check(offset >= lastRead);
        lastRead = offset;
        std::memcpy(buffer, file.data() + offset, count);
        return true;
      },
      [&](std::string name, const i18n::TEmbeddedFileInfo&) {
        Check(name.find('\\') == std::string::npos);
        if (!name.empty()) {
          Check(static_cast<unsigned char>(name.front()) > 32 &&
                static_cast<unsigned char>(name.back()) > 32);
        }
        return names.insert(std::move(name)).second;
      });
  return 0;
}

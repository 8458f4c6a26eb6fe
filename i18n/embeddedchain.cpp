#include "i18n/embeddedchain.h"

namespace i18n {
namespace {
constexpr std::uint64_t kHeaderFixedSize = 24;

std::uint64_t LoadLittle64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
}  // namespace

std::string NormaliseEmbeddedName(std::string_view raw) {
  std::size_t begin = 0;
  std::size_t end = raw.size();
  while (begin < end && static_cast<unsigned char>(raw[begin]) <= 32) ++begin;
  while (end > begin && static_cast<unsigned char>(raw[end - 1]) <= 32) --end;
  std::string name(raw.substr(begin, end - begin));
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

void ScanEmbeddedChain(std::uint64_t fileSize, std::uint64_t first, const TChainReader& read,
                       const TChainSink& add) {
  std::uint64_t h = first;
  while (h != 0) {
    if (h > fileSize || fileSize - h < kHeaderFixedSize) return;
    unsigned char fixed[kHeaderFixedSize];
    if (!read(h, fixed, 8)) return;
    const std::uint64_t next = LoadLittle64(fixed);
    if (next == 0) return;
    // The name runs up to the next header, so the next one must start past this one's fixed
    // part and inside the file; anything else is a corrupt (or looping) chain.
    if (next < h + kHeaderFixedSize || next > fileSize) return;
    if (!read(h + 8, fixed + 8, 16)) return;
    TEmbeddedFileInfo info;
    info.FOffset = LoadLittle64(fixed + 8);
    info.FSize = LoadLittle64(fixed + 16);
    std::string raw(std::size_t(next - h - kHeaderFixedSize), '\0');
    if (!raw.empty() && !read(h + kHeaderFixedSize, raw.data(), raw.size())) return;
    if (!add(NormaliseEmbeddedName(raw), info)) return;
    h = next;
  }
}

}  // namespace i18n

// Opens arbitrary bytes as a catalogue and searches it. The first byte chooses where in the
// bytes the catalogue starts, as for one appended to the executable. A catalogue that declares
// a character set is rebuilt in UTF-8, and the rebuilt one must be sound and find every text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "i18n/cataloguecharset.h"
#include "i18n/mocatalogue.h"

namespace {
unsigned Limit(std::uint32_t n) {
  unsigned bits = 0;
  while (n > 1) {
    n >>= 1;
    ++bits;
  }
  return bits + 1;
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckInside(std::string_view text, const std::vector<unsigned char>& file) {
  const auto* begin = reinterpret_cast<const char*>(file.data());
  Check(text.data() >= begin && text.data() + text.size() <= begin + file.size());
}

void Search(const i18n::TMoCatalogue& mo, const std::vector<unsigned char>& file, std::string_view key) {
  unsigned comparisons = 0;
  const auto found = mo.Find(key, &comparisons);
  if (mo.Count() > 0) Check(comparisons >= 1 && comparisons <= Limit(mo.Count()));
  if (found) CheckInside(*found, file);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint64_t offset = data[0] % 16;
  // An exact-size copy: any read past the end lands in the sanitizer's red zone.
  const std::vector<unsigned char> file(data + 1, data + size);
  const auto mo = i18n::TMoCatalogue::Open(file.data(), file.size(), offset);
  if (!mo) return 0;
  const std::uint32_t shown = mo->Count() < 256 ? mo->Count() : 256;
  for (std::uint32_t i = 0; i < shown; ++i) {
    CheckInside(mo->Source(i), file);
    CheckInside(mo->Translation(i), file);
    Search(*mo, file, mo->Source(i));
  }
  if (const auto utf8 = i18n::CatalogueInUtf8(*mo)) {
    const auto rebuilt = i18n::TMoCatalogue::Open(utf8->data(), utf8->size(), 0);
    Check(rebuilt.has_value() && rebuilt->Count() == mo->Count());
    const std::uint32_t few = rebuilt->Count() < 64 ? rebuilt->Count() : 64;
    for (std::uint32_t i = 0; i < few; ++i) {
      Check(rebuilt->Find(rebuilt->Source(i)).has_value());
      Search(*rebuilt, *utf8, rebuilt->Source(i));
    }
  }
  Search(*mo, file, "");
  Search(*mo, file, "\xFF\xFF\xFF\xFF");
  Search(*mo, file, std::string_view(reinterpret_cast<const char*>(data), size < 24 ? size : 24));
  return 0;
}

#include "i18n/mocatalogue.h"

#include <cstring>

#include "runtime/bytes.h"

namespace i18n {
namespace {
constexpr std::uint64_t kHeaderSize = 20;  // magic, revision, N, O, T
constexpr std::uint64_t kEntrySize = 8;

std::uint32_t LoadLittle(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
}  // namespace

std::optional<TMoCatalogue> TMoCatalogue::Open(const unsigned char* file, std::size_t fileSize,
                                               std::uint64_t offset) {
  if (file == nullptr || offset > fileSize || fileSize - offset < kHeaderSize) return std::nullopt;
  TMoCatalogue mo;
  mo.catalogue_ = file + offset;
  mo.available_ = fileSize - offset;
  const std::uint32_t magic = LoadLittle(mo.catalogue_);
  if (magic != kMoMagic && magic != kMoMagicSwapped) return std::nullopt;
  mo.swapped_ = magic == kMoMagicSwapped;
  mo.count_ = mo.Word(8);
  mo.sourceTable_ = mo.Word(12);
  mo.translationTable_ = mo.Word(16);
  if (!mo.TableFits(mo.sourceTable_) || !mo.TableFits(mo.translationTable_)) return std::nullopt;
  return mo;
}

std::uint32_t TMoCatalogue::Word(std::uint64_t at) const {
  const std::uint32_t v = LoadLittle(catalogue_ + at);
  return swapped_ ? ByteSwap32(v) : v;
}

// Checks the table and every text it points to, once, so that lookups need no checks.
bool TMoCatalogue::TableFits(std::uint32_t table) const {
  if (std::uint64_t(table) + kEntrySize * count_ > available_) return false;
  for (std::uint32_t i = 0; i < count_; ++i) {
    const std::uint64_t entry = table + kEntrySize * i;
    const std::uint64_t length = Word(entry);
    const std::uint64_t start = Word(entry + 4);
    if (start + length > available_) return false;
  }
  return true;
}

std::string_view TMoCatalogue::Text(std::uint32_t table, std::uint32_t index) const {
  const std::uint64_t entry = table + kEntrySize * index;
  return {reinterpret_cast<const char*>(catalogue_ + Word(entry + 4)), Word(entry)};
}

std::optional<std::string_view> TMoCatalogue::Find(std::string_view key, unsigned* comparisons) const {
  if (count_ == 0) return std::nullopt;
  std::uint32_t p = 1;
  while (p <= count_ / 2) p *= 2;
  std::uint32_t s = p / 2;
  for (;;) {
    if (comparisons != nullptr) ++*comparisons;
    const std::string_view source = Source(p - 1);
    const int order = key.compare(source);
    if (order == 0) return Translation(p - 1);
    // An entry with plural forms is keyed "singular\0plural" and found by its singular, as
    // GNU gettext finds it; the answer is then the first form. Any such key sorts just after
    // its singular, so the order of the search is kept.
    if (order < 0 && source.size() > key.size() && source[key.size()] == '\0' && source.starts_with(key)) {
      const std::string_view forms = Translation(p - 1);
      return forms.substr(0, forms.find('\0'));
    }
    if (s == 0) return std::nullopt;
    if (order < 0) {
      p = p < s + 1 ? 1 : p - s;
    } else {
      p = (count_ - p < s) ? count_ : p + s;
    }
    s /= 2;
  }
}

}  // namespace i18n

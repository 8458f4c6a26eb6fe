// A GNU gettext MO catalogue held in memory: validated once when opened, then searched in
// place. Takes bytes, never paths, so the same code serves files, embedded catalogues and
// fuzzing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace i18n {

inline constexpr std::uint32_t kMoMagic = 0x950412DE;
inline constexpr std::uint32_t kMoMagicSwapped = 0xDE120495;

class TMoCatalogue {
 public:
  // `file` holds `fileSize` bytes; the catalogue starts `offset` bytes into it. Empty when the
  // magic number is neither byte order's, or when the header, either table or any text lies
  // even partly outside the file.
  static std::optional<TMoCatalogue> Open(const unsigned char* file, std::size_t fileSize,
                                          std::uint64_t offset);

  std::uint32_t Count() const { return count_; }
  bool Swapped() const { return swapped_; }
  std::string_view Source(std::uint32_t index) const { return Text(sourceTable_, index); }
  std::string_view Translation(std::uint32_t index) const { return Text(translationTable_, index); }

  // The translation of `key`, by halving over the sorted source texts: at most
  // floor(log2 Count) + 1 comparisons, counted into `comparisons` when given. A key that is
  // the singular of an entry with plural forms finds that entry's first form.
  std::optional<std::string_view> Find(std::string_view key, unsigned* comparisons = nullptr) const;

 private:
  std::uint32_t Word(std::uint64_t at) const;
  std::string_view Text(std::uint32_t table, std::uint32_t index) const;
  bool TableFits(std::uint32_t table) const;

  const unsigned char* catalogue_ = nullptr;
  std::uint64_t available_ = 0;  // bytes from the catalogue's start to the file's end
  bool swapped_ = false;
  std::uint32_t count_ = 0;
  std::uint32_t sourceTable_ = 0;
  std::uint32_t translationTable_ = 0;
};

}  // namespace i18n

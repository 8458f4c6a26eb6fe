#include "i18n/cataloguecharset.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "platform/text/charset.h"

namespace i18n {
namespace {
constexpr std::uint32_t kHashedHeaderSize = 28;  // magic, revision, N, O, T, hash size, hash offset

void PutWord(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + std::size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}
}  // namespace

std::string DeclaredCharset(const TMoCatalogue& mo) {
  const auto header = mo.Find("");
  if (!header) return {};
  const std::string_view text = header->substr(0, header->find('\0'));
  const std::size_t at = text.find("charset=");
  if (at == std::string_view::npos) return {};
  const std::string_view rest = text.substr(at + 8);
  return std::string(rest.substr(0, rest.find_first_of(" \t\r\n;")));
}

std::optional<std::vector<unsigned char>> CatalogueInUtf8(const TMoCatalogue& mo) {
  const std::string charset = DeclaredCharset(mo);
  if (charset.empty() || IsUtf8CharsetName(charset) || IsAsciiCharsetName(charset)) return std::nullopt;
  TCharsetDecoder decoder(charset);
  if (!decoder.Valid()) return std::nullopt;

  auto decoded = [&decoder](std::string_view text) {
    std::optional<std::string> utf8 = decoder.ToUtf8(text);
    return utf8 ? std::move(*utf8) : std::string(text);
  };
  std::vector<std::pair<std::string, std::string>> entries;
  entries.reserve(mo.Count());
  std::uint64_t textBytes = 0;
  for (std::uint32_t i = 0; i < mo.Count(); ++i) {
    entries.emplace_back(decoded(mo.Source(i)), decoded(mo.Translation(i)));
    textBytes += entries.back().first.size() + entries.back().second.size() + 2;
  }
  // Byte order of the new texts, which need not be the order of the old ones.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });

  const std::uint64_t count = entries.size();
  const std::uint64_t sourceTable = kHashedHeaderSize;
  const std::uint64_t translationTable = sourceTable + 8 * count;
  const std::uint64_t texts = translationTable + 8 * count;
  if (texts + textBytes > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;

  std::vector<unsigned char> out(texts, 0);
  PutWord(out, 0, kMoMagic);
  PutWord(out, 8, std::uint32_t(count));
  PutWord(out, 12, std::uint32_t(sourceTable));
  PutWord(out, 16, std::uint32_t(translationTable));
  PutWord(out, 24, std::uint32_t(texts));  // an empty hash table
  out.reserve(texts + textBytes);
  auto append = [&out](std::uint64_t entry, const std::string& text) {
    PutWord(out, entry, std::uint32_t(text.size()));
    PutWord(out, entry + 4, std::uint32_t(out.size()));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);  // terminated, as msgfmt writes texts
  };
  for (std::uint64_t i = 0; i < count; ++i) {
    append(sourceTable + 8 * i, entries[i].first);
    append(translationTable + 8 * i, entries[i].second);
  }
  return out;
}

}  // namespace i18n

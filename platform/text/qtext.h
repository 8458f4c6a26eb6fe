// Texts of the 8-bit code page (GB18030) as Qt holds them, for the widgets and the window. The
// components never see these: their texts stay std::string and std::u16string.
#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

QString AnsiToQString(std::string_view bytes);
std::string QStringToAnsi(const QString& text);

// Bytes that form no character: an invalid sequence, or a character cut off at the end.
struct TStrayByte {
  qsizetype at;  // where it stands in the decoded text
  std::uint8_t value;
  bool operator==(const TStrayByte&) const = default;
};

struct TDecodedBytes {
  QString text;
  std::vector<TStrayByte> stray;
  std::size_t used = 0;  // bytes decoded; fewer than given only when `maxUnits` was reached
};

// Decodes every byte: what forms no character is kept aside, in order, instead of being
// dropped or replaced. Stops before the character or stray byte that would make text units
// plus stray bytes exceed `maxUnits`.
TDecodedBytes DecodeAnsiBytes(std::string_view bytes, std::size_t maxUnits = std::size_t(-1));

// The 8-bit system code page: GB18030, which agrees byte for byte with GBK (code page 936)
// on every GBK character and can carry any Unicode text.
#pragma once
#include <QString>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view bytes);

QString AnsiToQString(std::string_view bytes);
std::string QStringToAnsi(const QString& text);

// UTF-8 source literals to the code page, for the console's own texts.
std::string Ansi(std::string_view utf8);

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

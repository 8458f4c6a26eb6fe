// The 8-bit system code page: GB18030, which agrees byte for byte with GBK (code page 936)
// on every GBK character and can carry any Unicode text. (Qt's strings: platform/text/qtext.h.)
#pragma once
#include <string>
#include <string_view>

std::string WideToAnsi(std::u16string_view text);
std::u16string AnsiToWide(std::string_view bytes);

// UTF-8 source literals to the code page, for the console's own texts.
std::string Ansi(std::string_view utf8);

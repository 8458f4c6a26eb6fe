// UTF-8 to and from wide (UTF-16) text, for catalogues that hold UTF-8.
#pragma once
#include <string>
#include <string_view>

// A lone surrogate becomes U+FFFD.
std::string WideToUtf8(std::u16string_view text);
void AppendWideAsUtf8(std::u16string_view text, std::string& out);

// Strict: false for anything but well-formed UTF-8 (no overlong forms, no surrogates, nothing
// above U+10FFFF), and `out` is then empty.
bool Utf8ToWide(std::string_view bytes, std::u16string& out);

#include "platform/charset.h"

#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace {
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}
}  // namespace

TCharsetDecoder::TCharsetDecoder(const std::string& charset)
    : converter_(iconv_open("UTF-8", charset.c_str())) {}

TCharsetDecoder::~TCharsetDecoder() {
  if (Valid()) iconv_close(static_cast<iconv_t>(converter_));
}

bool TCharsetDecoder::Valid() const { return static_cast<iconv_t>(converter_) != kNoConverter; }

std::optional<std::string> TCharsetDecoder::ToUtf8(std::string_view bytes) {
  if (!Valid()) return std::nullopt;
  const auto cd = static_cast<iconv_t>(converter_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // a fresh start: no state from a failed text
  // Four UTF-8 bytes cover any character of these sets; the loop below grows it if not.
  std::string out(bytes.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  std::size_t written = 0;
  for (;;) {
    char* to = out.data() + written;
    std::size_t outLeft = out.size() - written;
    const std::size_t rc = iconv(cd, &in, &inLeft, &to, &outLeft);
    written = out.size() - outLeft;
    if (rc != std::size_t(-1)) break;
    if (errno != E2BIG) return std::nullopt;  // EILSEQ, or EINVAL for a cut-off character
    out.resize(out.size() * 2);
  }
  // Flush what a stateful set keeps back, then the text is whole.
  char* to = out.data() + written;
  std::size_t outLeft = out.size() - written;
  if (iconv(cd, nullptr, nullptr, &to, &outLeft) == std::size_t(-1)) return std::nullopt;
  out.resize(out.size() - outLeft);
  return out;
}

bool IsUtf8CharsetName(std::string_view name) { return SameName(name, "UTF-8") || SameName(name, "UTF8"); }

bool IsAsciiCharsetName(std::string_view name) {
  return SameName(name, "ASCII") || SameName(name, "US-ASCII") || SameName(name, "ANSI_X3.4-1968");
}

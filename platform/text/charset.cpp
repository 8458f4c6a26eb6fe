#include "platform/text/charset.h"

#include <algorithm>
#include <cerrno>

#include "platform/text/iconvhandle.h"
#include "platform/text/textcase.h"

TCharsetDecoder::TCharsetDecoder(const std::string& charset)
    : converter_(std::make_unique<TIconv>("UTF-8", charset.c_str())) {}

TCharsetDecoder::~TCharsetDecoder() = default;

bool TCharsetDecoder::Valid() const { return converter_->Valid(); }

std::optional<std::string> TCharsetDecoder::ToUtf8(std::string_view bytes) {
  if (!Valid()) return std::nullopt;
  const iconv_t cd = converter_->Handle();
  converter_->Restart();  // a fresh start: no state from a failed text
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

bool IsUtf8CharsetName(std::string_view name) {
  return SameTextIgnoreCase(name, "UTF-8") || SameTextIgnoreCase(name, "UTF8");
}

bool IsAsciiCharsetName(std::string_view name) {
  return SameTextIgnoreCase(name, "ASCII") || SameTextIgnoreCase(name, "US-ASCII") ||
         SameTextIgnoreCase(name, "ANSI_X3.4-1968");
}

// Texts in a named character set (GBK, GB18030, Big5, ISO-8859-x ...) to UTF-8, through the
// C library's converters.
#pragma once
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class TIconv;

class TCharsetDecoder {
 public:
  // Not Valid() when the platform has no converter from `charset`.
  explicit TCharsetDecoder(const std::string& charset);
  TCharsetDecoder(const TCharsetDecoder&) = delete;
  TCharsetDecoder& operator=(const TCharsetDecoder&) = delete;
  ~TCharsetDecoder();

  bool Valid() const;
  // The bytes as UTF-8, zero bytes included; nullopt when they are not all whole characters
  // of the set.
  std::optional<std::string> ToUtf8(std::string_view bytes);

 private:
  std::unique_ptr<TIconv> converter_;
};

// UTF-8 under either of its usual spellings, letter case ignored.
bool IsUtf8CharsetName(std::string_view name);
// A name of plain ASCII, whose texts are UTF-8 as they stand.
bool IsAsciiCharsetName(std::string_view name);

#include "platform/codepage.h"

#include <iconv.h>

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <bit>
#include <cerrno>

namespace {
// Converters keep state across calls, so every conversion gets fresh ones.
QStringEncoder Encoder() { return QStringEncoder("GB18030"); }
QStringDecoder Decoder() { return QStringDecoder("GB18030"); }
}  // namespace

QString AnsiToQString(std::string_view bytes) {
  auto decoder = Decoder();
  return decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

std::string QStringToAnsi(const QString& text) {
  auto encoder = Encoder();
  QByteArray out = encoder.encode(text);
  return std::string(out.constData(), std::size_t(out.size()));
}

std::string WideToAnsi(std::u16string_view text) {
  return QStringToAnsi(QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size())));
}

std::u16string AnsiToWide(std::string_view bytes) {
  QString s = AnsiToQString(bytes);
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), std::size_t(s.size()));
}

std::string Ansi(std::string_view utf8) {
  return QStringToAnsi(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
}

namespace {
// glibc's converter says where a sequence is invalid or incomplete, which Qt's does not.
class TAnsiDecoder {
 public:
  TAnsiDecoder()
      : cd_(iconv_open(std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE", "GB18030")) {}
  ~TAnsiDecoder() {
    if (Ok()) iconv_close(cd_);
  }
  TAnsiDecoder(const TAnsiDecoder&) = delete;
  TAnsiDecoder& operator=(const TAnsiDecoder&) = delete;
  bool Ok() const { return cd_ != iconv_t(-1); }
  iconv_t Handle() const { return cd_; }

 private:
  iconv_t cd_;
};
}  // namespace

TDecodedBytes DecodeAnsiBytes(std::string_view bytes, std::size_t maxUnits) {
  TDecodedBytes out;
  thread_local TAnsiDecoder decoder;
  // Every byte gives at most one UTF-16 unit or one stray byte.
  const std::size_t cap = std::min(bytes.size(), maxUnits);
  out.text.resize(qsizetype(cap));
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char* const base = reinterpret_cast<char*>(out.text.data());
  char* outAt = base;
  auto units = [&] { return std::size_t(outAt - base) / 2; };
  if (decoder.Ok()) iconv(decoder.Handle(), nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    const std::size_t room = cap - units() - out.stray.size();
    if (room == 0) break;
    std::size_t outLeft = room * 2;
    const std::size_t r =
        decoder.Ok() ? iconv(decoder.Handle(), &in, &inLeft, &outAt, &outLeft) : std::size_t(-1);
    if (r != std::size_t(-1)) break;
    const int error = decoder.Ok() ? errno : EILSEQ;
    const std::size_t left = cap - units() - out.stray.size();
    if (error == E2BIG || left == 0) break;
    // An invalid sequence: its first byte forms no character, what follows may. A cut
    // character at the end (EINVAL): none of its bytes do.
    const std::size_t n = error == EINVAL ? std::min(inLeft, left) : 1;
    for (std::size_t k = 0; k < n; ++k) out.stray.push_back({qsizetype(units()), std::uint8_t(in[k])});
    in += n;
    inLeft -= n;
  }
  out.text.truncate(qsizetype(units()));
  out.used = bytes.size() - inLeft;
  return out;
}

#include "platform/text/codepage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include "platform/text/qtext.h"

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

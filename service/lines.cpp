#include "service/lines.h"

#include <QDateTime>
#include <cstdio>

#include "platform/text/codepage.h"
#include "platform/text/qtext.h"

namespace service {

std::string IsoStamp(std::chrono::system_clock::time_point when, int utcOffsetSeconds) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count() + 1000LL * utcOffsetSeconds;
  const auto day = floor<days>(sys_time<milliseconds>(milliseconds(ms)));
  const year_month_day date(day);
  const long long inDay = ms - duration_cast<milliseconds>(day.time_since_epoch()).count();
  const int offMin = (utcOffsetSeconds < 0 ? -utcOffsetSeconds : utcOffsetSeconds) / 60;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02lld:%02lld:%02lld.%03lld%c%02d:%02d", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), inDay / 3600000, inDay / 60000 % 60,
                inDay / 1000 % 60, inDay % 1000, utcOffsetSeconds < 0 ? '-' : '+', offMin / 60, offMin % 60);
  return buf;
}

int LocalUtcOffset(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  return QDateTime::fromMSecsSinceEpoch(duration_cast<milliseconds>(when.time_since_epoch()).count())
      .offsetFromUtc();
}

const char* ColourWord(relay::TLineKind kind) {
  switch (kind) {
    case relay::TLineKind::FromNetwork:
      return "blue";
    case relay::TLineKind::FromSerial:
      return "green";
    case relay::TLineKind::System:
      break;
  }
  return "red";
}

namespace {
void Escape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    case '\\':
      out += "\\\\";
      return;
    default:
      break;
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", byte);
  out += buf;
}
// C1 controls, the line and paragraph separators, and the format characters (the marks that
// reorder text, zero-width characters, the soft hyphen): a reader that knows Unicode would break
// the line there, show it in another order, or show nothing where a byte came.
bool ShowsFalsely(char16_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
         QChar::category(char32_t{c}) == QChar::Other_Format;
}
}  // namespace

std::string OneLineUtf8(const std::string& ansi) {
  const TDecodedBytes decoded = DecodeAnsiBytes(ansi);
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 2);
  std::size_t stray = 0;
  const QString& text = decoded.text;
  qsizetype from = 0;  // start of the run of plain characters not yet written
  auto flush = [&](qsizetype to) {
    if (to > from) out += text.mid(from, to - from).toStdString();
  };
  for (qsizetype i = 0; i <= text.size(); ++i) {
    while (stray < decoded.stray.size() && decoded.stray[stray].at == i) {
      flush(i);
      from = i;
      Escape(out, decoded.stray[stray++].value);
    }
    if (i == text.size()) break;
    const char16_t c = text[i].unicode();
    if (c < 0x20 || c == 0x7F || c == '\\') {
      flush(i);
      Escape(out, static_cast<unsigned char>(c));
      from = i + 1;
    } else if (ShowsFalsely(c)) {
      // Written as the bytes that brought it, which a reader can tell back.
      flush(i);
      for (const char byte :
           WideToAnsi(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()) + i, 1)))
        Escape(out, static_cast<unsigned char>(byte));
      from = i + 1;
    }
  }
  flush(text.size());
  return out;
}

std::string ServiceLine(const std::string& stamp, relay::TLineKind kind, const std::string& ansi) {
  return stamp + " " + ColourWord(kind) + " " + OneLineUtf8(ansi);
}

}  // namespace service

#include "widgets/exceptiontext.h"

#include <QFileInfo>

QString ApplicationTitleFromPath(const QString& executablePath) {
  QString name = QFileInfo(executablePath).fileName();
  const qsizetype dot = name.indexOf(u'.');
  if (dot >= 0) name.truncate(dot);
  if (name.isEmpty()) return name;
  // The first character may be a surrogate pair; it keeps its case either way.
  const qsizetype first = name.front().isHighSurrogate() && name.size() > 1 ? 2 : 1;
  return name.left(first) + name.mid(first).toLower();
}

std::string ExceptionBoxMessage(std::string_view message) {
  std::string shown(message);
  // Comparing the last byte is enough: in GB18030 every byte of a multi-byte character is 0x30
  // or above, so it sorts after "." just as the character does. The byte must be read unsigned,
  // or every Chinese message would lose its full stop.
  if (!shown.empty() && static_cast<unsigned char>(shown.back()) > static_cast<unsigned char>('.')) {
    shown += '.';
  }
  return shown;
}

// The texts of the application's exception box, as pure functions of their inputs.
#pragma once
#include <QString>
#include <string>
#include <string_view>

// The application's title: the executable's file name without its directory, cut at its first
// full stop, every character after the first in lower case ("/opt/ComRelay.Bin" -> "Comrelay").
QString ApplicationTitleFromPath(const QString& executablePath);
// The shown message: a full stop is appended when the message's last character sorts after ".".
// `message` is GB18030; an empty one stays empty.
std::string ExceptionBoxMessage(std::string_view message);

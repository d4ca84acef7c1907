#pragma once
// Dates and times the way the user's locale writes them, always with a
// four-digit year and with seconds (file dates on a disc are to the second).
#include <QDateTime>
#include <QLocale>
#include <QString>

namespace kestrel::app {

QString LocalDateTimeText(const QDateTime& Value, const QLocale& Locale = QLocale());

}  // namespace kestrel::app

#include "app/DateText.h"

#include <QRegularExpression>

namespace kestrel::app {

namespace {

// The locale's short date with the year written in full ("yy" -> "yyyy").
QString DateFormat(const QLocale& Locale) {
    QString format = Locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy"))) format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// The locale's short time with seconds after the minutes when it has none.
QString TimeFormat(const QLocale& Locale) {
    QString format = Locale.timeFormat(QLocale::ShortFormat);
    if (format.contains(QLatin1Char('s'))) return format;
    // The seconds follow the minutes with the separator the hours use.
    static const QRegularExpression hoursMinutes(QStringLiteral("([hH]+)([^hHm]+)(mm?)"));
    format.replace(hoursMinutes, QStringLiteral("\\1\\2\\3\\2ss"));
    return format;
}

}  // namespace

QString LocalDateTimeText(const QDateTime& Value, const QLocale& Locale) {
    return Locale.toString(Value.date(), DateFormat(Locale)) + QLatin1Char(' ') +
           Locale.toString(Value.time(), TimeFormat(Locale));
}

}  // namespace kestrel::app

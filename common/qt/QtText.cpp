#include "common/qt/QtText.h"

#include <QLocale>
#include <QStringList>
#include <cmath>
#include <cstdlib>

namespace tessel::qt {

namespace {

const QDate kOleEpoch(1899, 12, 30);
constexpr qint64 kSecondsPerDay = 86400;

// The locale that names the time formats, or empty for none (C, POSIX or unset).
QString TimeLocaleName() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (value == nullptr || *value == '\0') continue;
        const QString locale = QString::fromLatin1(value).section('.', 0, 0).section('@', 0, 0);
        if (locale == "C" || locale == "POSIX") return {};
        return locale;
    }
    return {};
}

}  // namespace

TShortFormats ShortFormats() {
    const QString name = TimeLocaleName();
    if (name.isEmpty()) return {"dd.MM.yyyy", "HH:mm:ss"};
    const QLocale locale(name);
    QString time = locale.timeFormat(QLocale::ShortFormat);
    if (!time.contains("ss")) time.replace("mm", "mm:ss");
    return {locale.dateFormat(QLocale::ShortFormat), time};
}

QString DateText(const QDate& date) {
    return date.toString(ShortFormats().date);
}

QString TimeText(const QTime& time) {
    return time.toString(ShortFormats().time);
}

QString DateTimeText(DATE value) {
    const QDateTime at = OleDateToDateTime(value);
    if (!at.isValid()) return {};
    if (at.time() == QTime(0, 0)) return DateText(at.date());
    return DateText(at.date()) + ' ' + TimeText(at.time());
}

QDateTime OleDateToDateTime(DATE value) {
    if (!std::isfinite(value)) return {};
    double days = std::trunc(value);
    qint64 seconds = std::llround(std::fabs(value - days) * kSecondsPerDay);
    if (seconds >= kSecondsPerDay) {
        // Rounded up to midnight: the next calendar day.
        seconds = 0;
        days += 1;
    }
    return QDateTime(kOleEpoch.addDays(static_cast<qint64>(days)),
                     QTime::fromMSecsSinceStartOfDay(static_cast<int>(seconds * 1000)));
}

DATE DateTimeToOleDate(const QDate& date, const QTime& time) {
    const double days = static_cast<double>(kOleEpoch.daysTo(date));
    const double fraction = time.isValid() ? time.msecsSinceStartOfDay() / (kSecondsPerDay * 1000.0) : 0.0;
    return days >= 0 ? days + fraction : days - fraction;
}

QString FileDialogFilter(const QString& pairs) {
    const QStringList parts = pairs.split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString patterns = QString(parts[i + 1]).replace(';', ' ');
        const QString& description = parts[i];
        filters << (description.contains('(' + patterns + ')') ? description
                                                               : description + " (" + patterns + ')');
    }
    return filters.join(";;");
}

}  // namespace tessel::qt

#include "tools/testerlib/QtDateForms.h"

#include "common/qt/QtText.h"

using tessel::qt::DateTimeToOleDate;
using tessel::qt::OleDateToDateTime;
using tessel::qt::ShortFormats;

namespace {

const QDate kDayZero(1899, 12, 30);
// The century a two-digit year belongs to: 00..29 the 2000s, 30..99 the 1900s, as automation reads it.
constexpr int kTwoDigitYearPivot = 1930;

QString Trimmed(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
}

}  // namespace

std::string TQtDateForms::DateText(DATE value) const {
    const QDateTime at = OleDateToDateTime(value);
    return at.isValid() ? tessel::qt::DateText(at.date()).toStdString() : std::string();
}

std::string TQtDateForms::TimeText(DATE value) const {
    const QDateTime at = OleDateToDateTime(value);
    return at.isValid() ? tessel::qt::TimeText(at.time()).toStdString() : std::string();
}

std::optional<DATE> TQtDateForms::ParseDate(std::string_view text) const {
    const QString format = ShortFormats().date;
    QDate date = QDate::fromString(Trimmed(text), format);
    if (!date.isValid()) return TCmdDateForms::ParseDate(text);
    // Qt reads a two-digit year in the 1900s.
    if (!format.contains("yyyy") && date.year() < kTwoDigitYearPivot) date = date.addYears(100);
    return DateTimeToOleDate(date, QTime());
}

std::optional<DATE> TQtDateForms::ParseTime(std::string_view text) const {
    const QTime time = QTime::fromString(Trimmed(text), ShortFormats().time);
    if (!time.isValid()) return TCmdDateForms::ParseTime(text);
    return DateTimeToOleDate(kDayZero, time);
}

DATE TQtDateForms::Now() const {
    const QDateTime now = QDateTime::currentDateTime();
    return DateTimeToOleDate(now.date(), QTime(now.time().hour(), now.time().minute(), now.time().second()));
}

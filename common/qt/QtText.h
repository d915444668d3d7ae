#pragma once
// What the Qt windows of the driver and its programs show of dates, times and file types.

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>

#include "common/com/OleAuto.h"

namespace tessel::qt {

// The system's short date and time formats: the user's locale where LC_ALL, LC_TIME or LANG names one, else
// "dd.MM.yyyy" and "HH:mm:ss", the forms of the Russian locale in which these programs are used. The time
// format always shows seconds.
struct TShortFormats {
    QString date;
    QString time;
};
TShortFormats ShortFormats();

QString DateText(const QDate& date);
QString TimeText(const QTime& time);
// The date, and the time after a blank unless it is midnight.
QString DateTimeText(DATE value);

// An OLE date (days since 30 December 1899; a negative value counts its day back and its fraction forward)
// as date and time, rounded to the second; and back.
QDateTime OleDateToDateTime(DATE value);
DATE DateTimeToOleDate(const QDate& date, const QTime& time);

// A file dialog filter given as "description|patterns|description|patterns" in the form a Qt file dialog
// takes: "description (patterns);;...". A description that already shows its patterns keeps its text.
QString FileDialogFilter(const QString& pairs);

}  // namespace tessel::qt

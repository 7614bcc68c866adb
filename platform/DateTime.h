#pragma once

#include <QDateTime>
#include <QString>

// Days since 1899-12-30 00:00 local time; the fraction is the time of day.
// Used in memory and in the note file.
using TDateTime = double;

// The one clock of the program. Tests set it; everything that asks for
// "now" goes through it.
namespace Clock {
QDateTime now();
void setNow(const QDateTime &fixed);
void advance(qint64 msecs);
void useSystemTime();
bool isFixed();
} // namespace Clock

TDateTime Now();
TDateTime toDateTime(const QDateTime &value);
QDateTime fromDateTime(TDateTime value);

// Date part (whole days) and time part (fraction) of a date-time.
TDateTime dateOf(TDateTime value);

// The locale's short date, a blank and its long time; the time is left out
// when it is exactly midnight.
QString dateTimeText(TDateTime value);
QString dateTimeText(const QDateTime &value);
QString shortDateFormat();
QString longTimeFormat();

#include "platform/DateTime.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

constexpr qint64 kMsecsPerDay = 86400000;

const QDate &epoch()
{
    static const QDate date(1899, 12, 30);
    return date;
}

std::optional<QDateTime> &fixedNow()
{
    static std::optional<QDateTime> value;
    return value;
}

} // namespace

namespace Clock {

QDateTime now()
{
    const auto &fixed = fixedNow();
    return fixed ? *fixed : QDateTime::currentDateTime();
}

void setNow(const QDateTime &fixed)
{
    fixedNow() = fixed.toLocalTime();
}

void advance(qint64 msecs)
{
    auto &fixed = fixedNow();
    if (fixed)
        fixed = fixed->addMSecs(msecs);
}

void useSystemTime()
{
    fixedNow().reset();
}

bool isFixed()
{
    return fixedNow().has_value();
}

} // namespace Clock

TDateTime Now()
{
    return toDateTime(Clock::now());
}

TDateTime toDateTime(const QDateTime &value)
{
    const QDateTime local = value.toLocalTime();
    const double days = double(epoch().daysTo(local.date()));
    const double fraction = double(local.time().msecsSinceStartOfDay()) / double(kMsecsPerDay);
    // Before the epoch the whole days are negative and the fraction still
    // counts forward into the day, as the stored format defines it.
    return days >= 0 ? days + fraction : days - fraction;
}

QDateTime fromDateTime(TDateTime value)
{
    if (!std::isfinite(value))
        return QDateTime(epoch(), QTime(0, 0));
    // Clamp to the range QDate can hold around the epoch.
    const double limited = std::clamp(value, -2.0e6, 2.9e6);
    const double whole = std::trunc(limited);
    qint64 msecs = qint64(std::llround(std::fabs(limited - whole) * double(kMsecsPerDay)));
    qint64 days = qint64(whole);
    if (msecs >= kMsecsPerDay) {
        msecs -= kMsecsPerDay;
        days += 1;
    }
    return QDateTime(epoch().addDays(days), QTime::fromMSecsSinceStartOfDay(int(msecs)));
}

TDateTime dateOf(TDateTime value)
{
    return std::trunc(value);
}

QString shortDateFormat()
{
    return QLocale::system().dateFormat(QLocale::ShortFormat);
}

QString longTimeFormat()
{
    // The toolkit's long time format names the time zone; the text form of
    // a date-time carries hours, minutes and seconds only.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?\\s*"));
    format.replace(zone, QStringLiteral(" "));
    return format.trimmed();
}

QString dateTimeText(const QDateTime &value)
{
    const QLocale locale = QLocale::system();
    QString text = locale.toString(value.date(), shortDateFormat());
    if (value.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(value.time(), longTimeFormat());
    return text;
}

QString dateTimeText(TDateTime value)
{
    return dateTimeText(fromDateTime(value));
}

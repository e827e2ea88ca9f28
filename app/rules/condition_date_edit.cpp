#include "app/rules/condition_date_edit.h"

#include "app/style/wheel_guard.h"

#include <QCalendar>
#include <QEvent>
#include <QSignalBlocker>

#include <cmath>
#include <optional>

namespace sorvik {

namespace {

    // The local time of a moment, for moments within some million years of now (a stored
    // date is any number).
    std::optional<QDateTime> localTime(Date moment)
    {
        double milliseconds = moment.unixSeconds() * 1000.0;
        if (!(std::abs(milliseconds) < 1e17))
            return std::nullopt;
        return QDateTime::fromMSecsSinceEpoch(
            static_cast<qint64>(std::llround(milliseconds)), Qt::LocalTime);
    }

    // Stored dates count days as the calendars of the time did, Julian before the Gregorian
    // reform, so the distant past is the first of January of year 1, not the 30th of December
    // of the year before as Gregorian days reckoned back would make it.
    QCalendar calendarOf(QDate day)
    {
        return day < QDate(1582, 10, 15) ? QCalendar(QCalendar::System::Julian) : QCalendar();
    }

    Date momentOf(const QDateTime& time)
    {
        return Date::fromUnixSeconds(static_cast<double>(time.toMSecsSinceEpoch()) / 1000.0);
    }

} // namespace

ConditionDateEdit::ConditionDateEdit(const QString& label, QWidget* parent)
    : QDateEdit(parent)
{
    setAccessibleName(label);
    setToolTip(label);
    setCalendarPopup(true);
    takeWheelOnlyWhenFocused(*this);
    // The lowest day a date edit takes; its own default stops at 1752.
    setMinimumDate(QDate(100, 1, 1));
    useLocaleFormat();
    connect(this, &QDateEdit::dateChanged, this, [this](QDate day) { pick(day); });
}

void ConditionDateEdit::showMoment(Date moment)
{
    m_moment = moment;
    auto local = localTime(moment);
    QSignalBlocker blocker(this);
    m_showsDay = local && local->date() >= minimumDate() && local->date() <= maximumDate();
    if (m_showsDay) {
        setSpecialValueText({});
        if (date() != local->date())
            setDate(local->date());
        return;
    }
    // The field shows its special text at its lowest day: here the moment's own date.
    setSpecialValueText(local ? dayText(local->date()) : QString::number(moment.seconds, 'f', 0));
    setDate(minimumDate());
}

QString ConditionDateEdit::dayText(QDate day) const
{
    return locale().toString(day, displayFormat(), calendarOf(day));
}

void ConditionDateEdit::changeEvent(QEvent* event)
{
    QDateEdit::changeEvent(event);
    if (event->type() == QEvent::LocaleChange) {
        useLocaleFormat();
        showMoment(m_moment);
    }
}

void ConditionDateEdit::useLocaleFormat()
{
    // Four-digit years, so that year 1 does not read as 2001.
    auto format = locale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    QSignalBlocker blocker(this);
    setDisplayFormat(format);
}

void ConditionDateEdit::pick(QDate day)
{
    auto time = m_showsDay ? localTime(m_moment)->time() : QTime(0, 0);
    QDateTime picked(day, time, Qt::LocalTime);
    // A time of day that the day skips (the clocks went forward) starts the day instead.
    if (!picked.isValid())
        picked = day.startOfDay();
    m_moment = momentOf(picked);
    m_showsDay = true;
    {
        QSignalBlocker blocker(this);
        setSpecialValueText({});
    }
    emit momentPicked(m_moment);
}

} // namespace sorvik

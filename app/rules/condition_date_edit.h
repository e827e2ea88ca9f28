#pragma once

#include "engine/model/date.h"

#include <QDateEdit>

// A day picker over a stored moment: it shows the moment's day in local time and stores a
// picked day at the shown moment's own time of day. A date edit knows only the years 100 to
// 9999, and the moments a condition starts with lie outside them (the distant past is year 1),
// so such a moment is shown as its own date, in words the field cannot step, and stays
// exactly as stored until the user picks a day; a day picked then starts at local midnight.
namespace sorvik {

class ConditionDateEdit : public QDateEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ConditionDateEdit)

public:
    explicit ConditionDateEdit(const QString& label, QWidget* parent = nullptr);

    /// Shows `moment`; nothing is reported.
    void showMoment(Date moment);
    /// The moment shown.
    Date moment() const { return m_moment; }
    /// Whether the field shows the moment's day, not its text.
    bool showsDay() const { return m_showsDay; }

signals:
    /// The user picked a day; `moment` is that day at the shown moment's time of day, or at
    /// local midnight when the field showed a moment outside its days.
    void momentPicked(sorvik::Date moment);

protected:
    void changeEvent(QEvent* event) override;

private:
    void useLocaleFormat();
    QString dayText(QDate day) const;
    void pick(QDate day);

    Date m_moment;
    bool m_showsDay = false;
};

} // namespace sorvik

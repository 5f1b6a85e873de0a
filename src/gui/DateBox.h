#pragma once

#include <QDate>
#include <QFrame>

class QCalendarWidget;
class QLineEdit;
class QToolButton;

namespace bm::gui {

// A date input that takes dates as people type them: a text box that reads what is typed as the
// grid's editor does (celltext::parseDate: "19 Nov 2010", or 19/11/2010 under a day-first
// locale) and shows a date in the short date form the grid shows, with a button that opens a
// calendar. Empty means "no date". The calendar opens on the date in the box, else on the date
// last used in it, else on the date given by setCalendarStart() (a date of the table), else on
// today. Up and Down step a day, Page Up and Page Down a month, from the same date; Alt+Down and
// F4 open the calendar. Enter emits returnPressed().
class DateBox : public QFrame
{
    Q_OBJECT
public:
    explicit DateBox(QWidget *parent = nullptr);

    // The date typed or picked; a null date when the box is empty or holds no date.
    QDate date() const;
    QString text() const;
    // Shows `date` (a null date empties the box).
    void setDate(const QDate &date);
    void clear();
    // The date the calendar and the arrow keys start from when the box is empty and no date was
    // used in it yet.
    void setCalendarStart(const QDate &date) { m_calendarStart = date; }
    // Opens the calendar under the box.
    void showCalendar();
    // Shows a date typed in another form in the grid's form (as leaving the box does), so the
    // user sees which date was understood; text that is no date is left as it is.
    void tidy();

    QLineEdit *lineEdit() const { return m_edit; }
    QToolButton *calendarButton() const { return m_button; }
    QCalendarWidget *calendar() const { return m_calendar; }

Q_SIGNALS:
    void returnPressed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // The date the calendar and the arrow keys start from.
    QDate startDate() const;
    void stepBy(int days, int months);
    void remember();

    QLineEdit *m_edit = nullptr;
    QToolButton *m_button = nullptr;
    QFrame *m_popup = nullptr;
    QCalendarWidget *m_calendar = nullptr;
    QDate m_lastUsed;
    QDate m_calendarStart;
};

} // namespace bm::gui

#include "DateBox.h"

#include "CellText.h"
#include "Tdm.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace bm::gui {

using namespace Qt::StringLiterals;

DateBox::DateBox(QWidget *parent)
    : QFrame(parent)
{
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(u"edit"_s);
    m_edit->installEventFilter(this);
    m_button = new QToolButton(this);
    m_button->setObjectName(u"calendarButton"_s);
    m_button->setArrowType(Qt::DownArrow);
    m_button->setFocusPolicy(Qt::NoFocus);
    m_button->setToolTip(u"Pick the date from a calendar (Alt+Down)"_s);
    m_button->setFixedWidth(16);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_edit, 1);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    setFocusPolicy(Qt::StrongFocus);

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setObjectName(u"calendarPopup"_s);
    m_popup->setFrameStyle(QFrame::Box | QFrame::Plain);
    m_calendar = new QCalendarWidget(m_popup);
    m_calendar->setObjectName(u"calendar"_s);
    m_calendar->setGridVisible(true);
    auto *popupLayout = new QVBoxLayout(m_popup);
    popupLayout->setContentsMargins(1, 1, 1, 1);
    popupLayout->addWidget(m_calendar);

    connect(m_button, &QToolButton::clicked, this, &DateBox::showCalendar);
    connect(m_calendar, &QCalendarWidget::clicked, this, [this](QDate picked) {
        m_popup->hide();
        setDate(picked);
        m_edit->setFocus(Qt::PopupFocusReason);
    });
    connect(m_calendar, &QCalendarWidget::activated, this, [this](QDate picked) {
        m_popup->hide();
        setDate(picked);
        m_edit->setFocus(Qt::PopupFocusReason);
    });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] {
        remember();
        Q_EMIT returnPressed();
    });
    // A date typed in another form is shown in the grid's form once the box is left, so the user
    // sees which date was understood; text that is no date stays for correction, in red.
    connect(m_edit, &QLineEdit::editingFinished, this, &DateBox::tidy);
    connect(m_edit, &QLineEdit::textChanged, this, [this](const QString &typed) {
        QPalette pal = m_edit->palette();
        const bool wrong = !typed.trimmed().isEmpty() && !date().isValid();
        pal.setColor(QPalette::Text, wrong ? QColor(0xC0, 0x00, 0x00)
                                           : QApplication::palette(m_edit).color(QPalette::Text));
        m_edit->setPalette(pal);
    });
}

QDate DateBox::date() const
{
    return celltext::parseDate(m_edit->text());
}

QString DateBox::text() const
{
    return m_edit->text();
}

void DateBox::setDate(const QDate &date)
{
    m_edit->setText(date.isValid() ? QLocale().toString(date, shortDateFormat()) : QString());
    remember();
}

void DateBox::tidy()
{
    const QDate d = date();
    if (d.isValid() && m_edit->text() != QLocale().toString(d, shortDateFormat()))
        setDate(d);
}

void DateBox::clear()
{
    m_edit->clear();
}

void DateBox::remember()
{
    const QDate d = date();
    if (d.isValid())
        m_lastUsed = d;
}

QDate DateBox::startDate() const
{
    for (const QDate &d : {date(), m_lastUsed, m_calendarStart}) {
        if (d.isValid())
            return d;
    }
    return QDate::currentDate();
}

void DateBox::showCalendar()
{
    if (!isEnabled())
        return;
    const QDate start = startDate();
    m_calendar->setSelectedDate(start);
    m_calendar->setCurrentPage(start.year(), start.month());
    m_popup->adjustSize();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (const QScreen *screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + m_popup->height() > area.bottom())
            at.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        at.setX(std::clamp(at.x(), area.left(),
                           std::max(area.left(), area.right() - m_popup->width())));
    }
    m_popup->move(at);
    m_popup->show();
    m_calendar->setFocus(Qt::PopupFocusReason);
}

void DateBox::stepBy(int days, int months)
{
    const QDate typed = date();
    if (!typed.isValid() && !m_edit->text().trimmed().isEmpty())
        return; // text that is no date is left for the user to correct
    setDate(startDate().addMonths(months).addDays(days));
    m_edit->selectAll();
}

bool DateBox::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Down && mods == Qt::AltModifier)
            || (key->key() == Qt::Key_F4 && mods == Qt::NoModifier)) {
            showCalendar();
            return true;
        }
        if (mods == Qt::NoModifier) {
            switch (key->key()) {
            case Qt::Key_Up:
                stepBy(1, 0);
                return true;
            case Qt::Key_Down:
                stepBy(-1, 0);
                return true;
            case Qt::Key_PageUp:
                stepBy(0, 1);
                return true;
            case Qt::Key_PageDown:
                stepBy(0, -1);
                return true;
            default:
                break;
            }
        }
    }
    return QFrame::eventFilter(watched, event);
}

void DateBox::changeEvent(QEvent *event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::EnabledChange && !isEnabled())
        m_popup->hide();
}

} // namespace bm::gui

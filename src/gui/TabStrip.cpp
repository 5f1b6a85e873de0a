#include "TabStrip.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <QToolTip>

namespace bm::gui {

TabStrip::TabStrip(QWidget *parent)
    : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    // The height follows the width (rows of tabs); a Fixed policy would hold it to one row.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TabStrip::setTabSize(const QSize &size)
{
    m_tabSize = size;
    updateGeometry();
    update();
}

int TabStrip::addTab(const QString &text)
{
    m_tabs << text;
    m_tips << QString();
    if (m_current < 0)
        m_current = 0;
    updateGeometry();
    update();
    return int(m_tabs.size()) - 1;
}

void TabStrip::setTabToolTip(int index, const QString &tip)
{
    if (index >= 0 && index < count())
        m_tips[index] = tip;
}

bool TabStrip::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto *help = static_cast<QHelpEvent *>(event);
        for (int i = 0; i < count(); ++i) {
            if (tabRect(i).contains(help->pos()) && !m_tips.at(i).isEmpty()) {
                QToolTip::showText(help->globalPos(), m_tips.at(i), this, tabRect(i));
                return true;
            }
        }
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    return QWidget::event(event);
}

void TabStrip::setCurrentIndex(int index)
{
    if (index < 0 || index >= count() || index == m_current)
        return;
    m_current = index;
    update();
    Q_EMIT currentChanged(index);
}

int TabStrip::tabsPerRow(int width) const
{
    return qMax(1, width / m_tabSize.width());
}

QRect TabStrip::tabRect(int index) const
{
    if (index < 0 || index >= count())
        return QRect();
    const int perRow = tabsPerRow(width());
    return QRect(
            QPoint((index % perRow) * m_tabSize.width(), (index / perRow) * m_tabSize.height()),
            m_tabSize);
}

int TabStrip::heightForWidth(int width) const
{
    const int perRow = tabsPerRow(width);
    const int rows = qMax(1, (count() + perRow - 1) / perRow);
    return rows * m_tabSize.height() + 2;
}

QSize TabStrip::sizeHint() const
{
    return QSize(count() * m_tabSize.width(), m_tabSize.height() + 2);
}

QSize TabStrip::minimumSizeHint() const
{
    return QSize(m_tabSize.width(), m_tabSize.height() + 2);
}

void TabStrip::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (height() != heightForWidth(width()))
        updateGeometry();
}

void TabStrip::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    const int perRow = tabsPerRow(width());
    // The line the tabs stand on, broken by the selected tab.
    QStyleOptionTabBarBase base;
    base.initFrom(this);
    base.shape = QTabBar::RoundedNorth;
    base.rect = QRect(0, height() - 2, width(), 2);
    base.selectedTabRect = tabRect(m_current);
    p.drawPrimitive(QStyle::PE_FrameTabBarBase, base);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab opt;
        opt.initFrom(this);
        opt.shape = QTabBar::RoundedNorth;
        opt.rect = tabRect(i);
        opt.text = m_tabs.at(i);
        const int column = i % perRow;
        const bool last = column == perRow - 1 || i == count() - 1;
        opt.position = column == 0 && last ? QStyleOptionTab::OnlyOneTab
                       : column == 0       ? QStyleOptionTab::Beginning
                       : last              ? QStyleOptionTab::End
                                           : QStyleOptionTab::Middle;
        if (i == m_current)
            opt.state |= QStyle::State_Selected;
        else
            opt.state &= ~QStyle::State_Selected;
        if (i == m_current - 1 && column != perRow - 1)
            opt.selectedPosition = QStyleOptionTab::NextIsSelected;
        else if (i == m_current + 1 && column != 0)
            opt.selectedPosition = QStyleOptionTab::PreviousIsSelected;
        p.drawControl(QStyle::CE_TabBarTab, opt);
    }
}

void TabStrip::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    for (int i = 0; i < count(); ++i) {
        if (tabRect(i).contains(event->position().toPoint())) {
            setCurrentIndex(i);
            return;
        }
    }
}

} // namespace bm::gui

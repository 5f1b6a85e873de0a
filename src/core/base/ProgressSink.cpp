#include "ProgressSink.h"

#include "Error.h"

namespace bm {

void ProgressSink::show()
{
    if (!m_visible) {
        m_visible = true;
        onVisibleChanged(true);
    }
}

void ProgressSink::hide()
{
    if (m_visible) {
        m_visible = false;
        onVisibleChanged(false);
    }
}

void ProgressSink::setStatus(const QString &text)
{
    m_status = text;
    onStatusChanged();
}

void ProgressSink::setMaximum(qint64 maximum)
{
    if (maximum < 0)
        throw Error(QStringLiteral("Property out of range"));
    m_maximum = maximum;
    if (m_position > m_maximum)
        m_position = m_maximum;
    m_lastPercent = percent();
    onGaugeChanged();
}

void ProgressSink::setPosition(qint64 position)
{
    m_position = qBound<qint64>(0, position, m_maximum);
    m_lastPercent = percent();
    onGaugeChanged();
}

void ProgressSink::step()
{
    if (m_position >= m_maximum)
        return;
    ++m_position;
    const int p = percent();
    if (p != m_lastPercent) {
        m_lastPercent = p;
        onGaugeChanged();
    }
}

int ProgressSink::percent() const
{
    if (m_maximum <= 0)
        return 0;
    return int(m_position * 100 / m_maximum);
}

void ProgressSink::setBusy(bool busy)
{
    if (busy) {
        if (++m_busy == 1)
            onBusyChanged(true);
    } else if (m_busy > 0) {
        if (--m_busy == 0)
            onBusyChanged(false);
    }
}

void ProgressSink::start(const QString &status, qint64 maximum, const QString &records)
{
    setMaximum(maximum);
    setPosition(0);
    setStatus(status);
    setRecords(records);
    repaint();
}

void ProgressSink::setRecords(const QString &text)
{
    m_records = text;
    onRecordsChanged();
}

} // namespace bm

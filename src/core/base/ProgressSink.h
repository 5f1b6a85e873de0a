#pragma once

#include <QString>
#include <QtGlobal>

namespace bm {

// The progress window as the core sees it: a status text, a gauge with a maximum and a position,
// and a record-count text. The state lives here so every front end behaves the same; a front end
// overrides the notifications to show it. The gauge runs from 0 to its maximum (100 until set).
class ProgressSink
{
public:
    virtual ~ProgressSink() = default;

    void show();
    void hide();
    bool isVisible() const { return m_visible; }

    void setStatus(const QString &text);
    const QString &status() const { return m_status; }

    // A maximum below the minimum (0) is refused with an error.
    void setMaximum(qint64 maximum);
    qint64 maximum() const { return m_maximum; }
    void setPosition(qint64 position);
    qint64 position() const { return m_position; }
    // Advance by one; the gauge stops at its maximum.
    void step();
    int percent() const;

    void setRecords(const QString &text);
    const QString &records() const { return m_records; }

    // The start of a pass over `maximum` records: the gauge at 0 of `maximum`, the status text,
    // the record count, and a repaint.
    void start(const QString &status, qint64 maximum, const QString &records);

    // Ask the front end to bring the window up to date now.
    void repaint() { onRepaint(); }

    // The wait cursor: shown while a command works without the window, between its prompts.
    // Calls nest; the normal cursor is back when every setBusy(true) has had its setBusy(false).
    void setBusy(bool busy);
    bool isBusy() const { return m_busy > 0; }

protected:
    virtual void onVisibleChanged(bool /*visible*/) {}
    virtual void onStatusChanged() {}
    virtual void onRecordsChanged() {}
    // Called when the maximum is set, the position is set, or a step changes the percentage.
    virtual void onGaugeChanged() {}
    virtual void onRepaint() {}
    // The wait cursor goes on (true) or off (false).
    virtual void onBusyChanged(bool /*busy*/) {}

private:
    bool m_visible = false;
    int m_busy = 0;
    QString m_status;
    QString m_records;
    qint64 m_maximum = 100;
    qint64 m_position = 0;
    int m_lastPercent = 0;
};

// A sink that shows nothing, for callers without a progress display.
class NullProgress final : public ProgressSink
{};

// The wait cursor for the life of this object, however the work it covers ends.
class BusyCursor
{
public:
    explicit BusyCursor(ProgressSink &progress)
        : m_progress(progress)
    {
        m_progress.setBusy(true);
    }
    ~BusyCursor() { m_progress.setBusy(false); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;

private:
    ProgressSink &m_progress;
};

// Hides the progress window when it goes out of scope (unless told not to), however the work
// it guards ends.
class HideProgressAtEnd
{
public:
    explicit HideProgressAtEnd(ProgressSink &progress, bool hide = true)
        : m_progress(progress)
        , m_hide(hide)
    {}
    ~HideProgressAtEnd()
    {
        if (m_hide)
            m_progress.hide();
    }
    HideProgressAtEnd(const HideProgressAtEnd &) = delete;
    HideProgressAtEnd &operator=(const HideProgressAtEnd &) = delete;

private:
    ProgressSink &m_progress;
    bool m_hide;
};

} // namespace bm

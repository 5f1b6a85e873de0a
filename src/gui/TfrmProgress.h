#pragma once

#include "ProgressSink.h"

#include <QWidget>

class QLabel;
class QProgressBar;

namespace bm::gui {

// The progress window: "Please Wait", a status line, a gauge and a record count. Commands drive
// it through bm::ProgressSink; show() and hide() are the sink's, so the window and the sink's
// state never disagree. It takes no input.
class TfrmProgress : public QWidget, public bm::ProgressSink
{
    Q_OBJECT
public:
    explicit TfrmProgress(QWidget *parent = nullptr);

    using bm::ProgressSink::hide;
    using bm::ProgressSink::isVisible;
    using bm::ProgressSink::repaint;
    using bm::ProgressSink::show;

    QLabel *lblStatus = nullptr;
    QProgressBar *Gauge = nullptr;
    QLabel *lblRecords = nullptr;

protected:
    void onVisibleChanged(bool visible) override;
    void onStatusChanged() override;
    void onRecordsChanged() override;
    void onGaugeChanged() override;
    void onRepaint() override;
    void onBusyChanged(bool busy) override;
};

} // namespace bm::gui

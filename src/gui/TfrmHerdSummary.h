#pragma once

#include "ChartWindow.h"
#include "HerdCharts.h"

class QCheckBox;
class QLineSeries;

namespace bm::gui {

// Herd Summary: per test date of one herd, the cows tested and the average test-day milk,
// fat %, protein % and cell count, each on an axis of its own; a box per measure shows or hides
// its line. A herd without test days gets a message in place of the chart.
class TfrmHerdSummary : public ChartWindow
{
    Q_OBJECT
public:
    TfrmHerdSummary(bm::Prompter &prompter, const QString &folder, QWidget *parent);

    // Draws the test dates of `herdCode` (the figures from the core).
    void showSummary(const QString &herdCode, const QList<bm::HerdTestDay> &days);

    // One line per measure: cows tested, milk, fat %, protein %, cell count.
    QList<QLineSeries *> series() const { return m_series; }
    QList<QCheckBox *> boxes() const { return m_boxes; }

protected:
    QString pictureName() const override;

private:
    void showMeasures();

    QString m_herd;
    QList<QLineSeries *> m_series;
    QList<QCheckBox *> m_boxes;
};

} // namespace bm::gui

#pragma once

#include "ChartWindow.h"
#include "HerdCharts.h"

class QCheckBox;
class QLineSeries;
class QValueAxis;

namespace bm::gui {

// Lactation Curves: a cow's test-day milk against days in milk, one line per lactation, with
// fat % and protein % of each lactation on a second axis while their boxes are ticked. A cow
// without test days gets a message in place of the chart.
class TfrmLactationCurves : public ChartWindow
{
    Q_OBJECT
public:
    TfrmLactationCurves(bm::Prompter &prompter, const QString &folder, QWidget *parent);

    // Draws `curves` (the figures of one cow from the core).
    void showCurves(const bm::LactationCurves &curves);
    const bm::LactationCurves &curves() const { return m_curves; }

    QCheckBox *chkFat = nullptr;
    QCheckBox *chkProtein = nullptr;

    // The series drawn per lactation, in the order of curves().lactations.
    QList<QLineSeries *> milkSeries() const { return m_milk; }
    QList<QLineSeries *> fatSeries() const { return m_fat; }
    QList<QLineSeries *> proteinSeries() const { return m_protein; }
    QValueAxis *percentAxis() const { return m_percentAxis; }

protected:
    QString pictureName() const override;

private:
    // Shows the component lines and their axis as the boxes are ticked.
    void showComponents();

    bm::LactationCurves m_curves;
    QList<QLineSeries *> m_milk;
    QList<QLineSeries *> m_fat;
    QList<QLineSeries *> m_protein;
    QValueAxis *m_percentAxis = nullptr;
};

} // namespace bm::gui

#include "TfrmHerdSummary.h"

#include "Tdm.h"

#include <QChart>
#include <QCheckBox>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>
#include <functional>
#include <optional>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// An axis of the chart; fat % and protein % share one.
struct Scale
{
    QString title;
    QColor colour;
    Qt::Alignment side;
    const char *format;
    bool fromZero; // counts, milk and cells from 0; percentages around their values
};

const QList<Scale> &scales()
{
    static const QList<Scale> list = {
            {bm::cowsTestedMeasure().caption, QColor(0x7f, 0x7f, 0x7f), Qt::AlignLeft, "%d", true},
            {bm::milkMeasure().caption, QColor(0x1f, 0x77, 0xb4), Qt::AlignLeft, "%.0f", true},
            {bm::fatMeasure().caption + u" / "_s + bm::proteinMeasure().caption,
             QColor(0x55, 0x55, 0x55), Qt::AlignRight, "%.2f", false},
            {bm::cellCountMeasure().caption, QColor(0xd6, 0x27, 0x28), Qt::AlignRight, "%.0f",
             true},
    };
    return list;
}

struct Measure
{
    const bm::ChartMeasure &measure;
    QColor colour;
    int scale; // index into scales()
    std::function<std::optional<double>(const bm::HerdTestDay &)> value;
};

const QList<Measure> &measures()
{
    static const QList<Measure> list = {
            {bm::cowsTestedMeasure(), QColor(0x7f, 0x7f, 0x7f), 0,
             [](const bm::HerdTestDay &d) {
                 return std::optional<double>(d.cowsTested);
             }},
            {bm::milkMeasure(), QColor(0x1f, 0x77, 0xb4), 1,
             [](const bm::HerdTestDay &d) {
                 return d.milk;
             }},
            {bm::fatMeasure(), QColor(0xff, 0x7f, 0x0e), 2,
             [](const bm::HerdTestDay &d) {
                 return d.fatPercent;
             }},
            {bm::proteinMeasure(), QColor(0x2c, 0xa0, 0x2c), 2,
             [](const bm::HerdTestDay &d) {
                 return d.proteinPercent;
             }},
            {bm::cellCountMeasure(), QColor(0xd6, 0x27, 0x28), 3,
             [](const bm::HerdTestDay &d) {
                 return d.cellCount;
             }},
    };
    return list;
}

} // namespace

TfrmHerdSummary::TfrmHerdSummary(bm::Prompter &prompter, const QString &folder, QWidget *parent)
    : ChartWindow(prompter, folder, parent)
{
    setObjectName(u"frmHerdSummary"_s);
    setWindowTitle(u"Herd Summary"_s);
    resize(1000, 600);
    for (const Measure &m : measures()) {
        auto *box = new QCheckBox(m.measure.caption, this);
        box->setChecked(true);
        box->setToolTip(u"Show the line of %1"_s.arg(m.measure.caption));
        options()->addWidget(box);
        connect(box, &QCheckBox::toggled, this, &TfrmHerdSummary::showMeasures);
        m_boxes << box;
    }
}

QString TfrmHerdSummary::pictureName() const
{
    return u"Herd summary "_s + m_herd;
}

void TfrmHerdSummary::showSummary(const QString &herdCode, const QList<bm::HerdTestDay> &days)
{
    m_herd = herdCode.trimmed();
    m_series.clear();
    QChart *c = chart();
    c->removeAllSeries();
    for (QAbstractAxis *axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    lblCaption->setText(u"Herd summary: herd %1, %2 test date(s)"_s.arg(m_herd).arg(days.size()));
    setWindowTitle(u"Herd Summary - herd "_s + m_herd);
    if (m_herd.isEmpty()) {
        showChart(u"The current row has no herd code."_s);
        return;
    }
    if (days.isEmpty()) {
        showChart(u"No test days for herd %1."_s.arg(m_herd));
        return;
    }

    auto *dates = new QDateTimeAxis;
    dates->setTitleText(u"Test date"_s);
    dates->setFormat(bm::shortDateFormat());
    dates->setTickCount(std::clamp(int(days.size()), 2, 10));
    c->addAxis(dates, Qt::AlignBottom);
    const qint64 first = days.first().testDate.startOfDay().toMSecsSinceEpoch();
    const qint64 last = days.last().testDate.startOfDay().toMSecsSinceEpoch();
    // A single date is shown a day either side.
    const qint64 margin = first == last ? 86'400'000 : (last - first) / 40;
    dates->setRange(QDateTime::fromMSecsSinceEpoch(first - margin),
                    QDateTime::fromMSecsSinceEpoch(last + margin));

    // The lowest and highest value on each axis.
    QList<std::optional<std::pair<double, double>>> spans(scales().size());
    for (const Measure &m : measures()) {
        for (const bm::HerdTestDay &day : days) {
            if (const std::optional<double> v = m.value(day)) {
                auto &span = spans[m.scale];
                span = span ? std::pair{std::min(span->first, *v), std::max(span->second, *v)}
                            : std::pair{*v, *v};
            }
        }
    }
    QList<QValueAxis *> axes;
    for (int i = 0; i < scales().size(); ++i) {
        const Scale &scale = scales().at(i);
        auto *axis = new QValueAxis;
        axis->setTitleText(scale.title);
        axis->setLabelFormat(QString::fromLatin1(scale.format));
        axis->setLinePenColor(scale.colour);
        axis->setLabelsColor(scale.colour);
        axis->setTitleBrush(scale.colour);
        axis->setGridLineVisible(i == 1); // the milk axis draws the grid
        const auto &span = spans.at(i);
        const double high = span ? span->second : 1;
        if (scale.fromZero)
            axis->setRange(0, high + std::max(1.0, high * 0.1));
        else
            axis->setRange(std::max(0.0, (span ? span->first : 0) - 0.3), high + 0.3);
        axis->applyNiceNumbers();
        c->addAxis(axis, scale.side);
        axes << axis;
    }
    for (const Measure &m : measures()) {
        auto *series = new QLineSeries;
        series->setName(m.measure.caption);
        QPen pen(m.colour);
        pen.setWidthF(2.2);
        series->setPen(pen);
        series->setPointsVisible(true);
        for (const bm::HerdTestDay &day : days) {
            if (const std::optional<double> v = m.value(day))
                series->append(double(day.testDate.startOfDay().toMSecsSinceEpoch()), *v);
        }
        c->addSeries(series);
        series->attachAxis(dates);
        series->attachAxis(axes.at(m.scale));
        m_series << series;
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    showChart(QString());
    showMeasures();
}

void TfrmHerdSummary::showMeasures()
{
    // An axis shows while a line drawn on it does.
    QHash<QAbstractAxis *, bool> shownAxes;
    for (int i = 0; i < m_series.size(); ++i) {
        const bool shown = m_boxes.at(i)->isChecked();
        m_series.at(i)->setVisible(shown);
        for (QAbstractAxis *axis : m_series.at(i)->attachedAxes()) {
            if (axis->orientation() == Qt::Vertical)
                shownAxes[axis] = shownAxes.value(axis) || shown;
        }
    }
    for (auto it = shownAxes.cbegin(); it != shownAxes.cend(); ++it)
        it.key()->setVisible(it.value());
    for (QLegendMarker *marker : chart()->legend()->markers())
        marker->setVisible(marker->series()->isVisible());
}

} // namespace bm::gui

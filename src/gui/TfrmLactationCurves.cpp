#include "TfrmLactationCurves.h"

#include <QChart>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>

#include <algorithm>

namespace bm::gui {

using namespace Qt::StringLiterals;

namespace {

// One colour per lactation; its milk, fat and protein lines share it.
QColor lactationColour(int index)
{
    static const QColor colours[]
            = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28), QColor(0x2c, 0xa0, 0x2c),
               QColor(0xff, 0x7f, 0x0e), QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b),
               QColor(0xe3, 0x77, 0xc2), QColor(0x17, 0xbe, 0xcf)};
    return colours[index % int(std::size(colours))];
}

QLineSeries *lineSeries(const QString &name, const QColor &colour, Qt::PenStyle style)
{
    auto *series = new QLineSeries;
    series->setName(name);
    QPen pen(colour);
    pen.setWidthF(style == Qt::SolidLine ? 2.5 : 1.8);
    pen.setStyle(style);
    series->setPen(pen);
    series->setPointsVisible(true);
    return series;
}

} // namespace

TfrmLactationCurves::TfrmLactationCurves(bm::Prompter &prompter, const QString &folder,
                                         QWidget *parent)
    : ChartWindow(prompter, folder, parent)
{
    setObjectName(u"frmLactationCurves"_s);
    setWindowTitle(u"Lactation Curves"_s);
    chkFat = new QCheckBox(bm::fatMeasure().caption, this);
    chkFat->setObjectName(u"chkFat"_s);
    chkFat->setToolTip(u"Show the fat % of each test day on the right-hand axis"_s);
    chkProtein = new QCheckBox(bm::proteinMeasure().caption, this);
    chkProtein->setObjectName(u"chkProtein"_s);
    chkProtein->setToolTip(u"Show the protein % of each test day on the right-hand axis"_s);
    options()->addWidget(chkFat);
    options()->addWidget(chkProtein);
    connect(chkFat, &QCheckBox::toggled, this, &TfrmLactationCurves::showComponents);
    connect(chkProtein, &QCheckBox::toggled, this, &TfrmLactationCurves::showComponents);
}

QString TfrmLactationCurves::pictureName() const
{
    const bm::CowIdentity &cow = m_curves.cow;
    const QString id = !cow.nationalId.trimmed().isEmpty()
                               ? cow.nationalId.trimmed()
                               : cow.herdCode.trimmed() + u' ' + cow.cowId.trimmed();
    return u"Lactation curves "_s + id;
}

void TfrmLactationCurves::showCurves(const bm::LactationCurves &curves)
{
    m_curves = curves;
    m_milk.clear();
    m_fat.clear();
    m_protein.clear();
    QChart *c = chart();
    c->removeAllSeries();
    for (QAbstractAxis *axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    m_percentAxis = nullptr;

    QString caption = u"Lactation curves: "_s + curves.cow.caption();
    lblCaption->setText(caption);
    setWindowTitle(u"Lactation Curves - "_s + curves.cow.caption());
    if (curves.cow.isEmpty()) {
        showChart(u"The current row names no cow: it has no national ID, and no cow ID with a "
                  "herd code."_s);
        return;
    }
    if (curves.isEmpty()) {
        showChart(u"No test days for %1."_s.arg(curves.cow.caption()));
        return;
    }
    if (curves.unplaced > 0)
        lblCaption->setText(
                caption
                + u"\n%1 test day(s) without days in milk or calving date not shown"_s.arg(
                        curves.unplaced));

    auto *days = new QValueAxis;
    days->setTitleText(bm::daysInMilkMeasure().caption);
    days->setLabelFormat(u"%d"_s);
    auto *milk = new QValueAxis;
    milk->setTitleText(bm::milkMeasure().caption);
    milk->setLabelFormat(u"%.0f"_s);
    m_percentAxis = new QValueAxis;
    m_percentAxis->setTitleText(bm::fatMeasure().caption + u" (dashed) / "_s
                                + bm::proteinMeasure().caption + u" (dotted)"_s);
    m_percentAxis->setLabelFormat(u"%.1f"_s);
    c->addAxis(days, Qt::AlignBottom);
    c->addAxis(milk, Qt::AlignLeft);
    c->addAxis(m_percentAxis, Qt::AlignRight);

    double minDays = 0; // a test day before its calving date stays in view
    double maxDays = 0;
    double maxMilk = 0;
    double minPercent = 1e9;
    double maxPercent = 0;
    for (int i = 0; i < curves.lactations.size(); ++i) {
        const bm::LactationSeries &lactation = curves.lactations.at(i);
        const QColor colour = lactationColour(i);
        const QString name = lactation.caption();
        QLineSeries *m = lineSeries(name, colour, Qt::SolidLine);
        QLineSeries *f
                = lineSeries(name + u": "_s + bm::fatMeasure().caption, colour, Qt::DashLine);
        QLineSeries *p
                = lineSeries(name + u": "_s + bm::proteinMeasure().caption, colour, Qt::DotLine);
        for (const bm::TestDayPoint &point : lactation.points) {
            minDays = std::min(minDays, double(point.daysInMilk));
            maxDays = std::max(maxDays, double(point.daysInMilk));
            if (point.milk) {
                m->append(point.daysInMilk, *point.milk);
                maxMilk = std::max(maxMilk, *point.milk);
            }
            for (const auto &[series, value] :
                 {std::pair{f, point.fatPercent}, std::pair{p, point.proteinPercent}}) {
                if (value) {
                    series->append(point.daysInMilk, *value);
                    minPercent = std::min(minPercent, *value);
                    maxPercent = std::max(maxPercent, *value);
                }
            }
        }
        for (QLineSeries *series : {m, f, p}) {
            c->addSeries(series);
            series->attachAxis(days);
            series->attachAxis(series == m ? milk : m_percentAxis);
        }
        m_milk << m;
        m_fat << f;
        m_protein << p;
    }
    days->setRange(minDays, std::max(maxDays, 1.0));
    days->applyNiceNumbers();
    milk->setRange(0, std::max(maxMilk, 1.0));
    milk->applyNiceNumbers();
    if (maxPercent > 0) {
        m_percentAxis->setRange(std::max(0.0, minPercent - 0.5), maxPercent + 0.5);
        m_percentAxis->applyNiceNumbers();
    } else {
        m_percentAxis->setRange(0, 6);
    }
    c->legend()->setAlignment(Qt::AlignBottom);
    showChart(QString());
    showComponents();
}

void TfrmLactationCurves::showComponents()
{
    for (QLineSeries *series : std::as_const(m_fat))
        series->setVisible(chkFat->isChecked());
    for (QLineSeries *series : std::as_const(m_protein))
        series->setVisible(chkProtein->isChecked());
    if (m_percentAxis)
        m_percentAxis->setVisible(chkFat->isChecked() || chkProtein->isChecked());
    // The legend names the lactations by their milk lines; the component lines share their
    // colour, dashed for fat and dotted for protein, as the right-hand axis says.
    for (QLegendMarker *marker : chart()->legend()->markers())
        marker->setVisible(m_milk.contains(qobject_cast<QLineSeries *>(marker->series())));
}

} // namespace bm::gui

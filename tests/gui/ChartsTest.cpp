#include "GuiFixture.h"

#include "Loader.h"
#include "TfrmHerdSummary.h"
#include "TfrmLactationCurves.h"

#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QLineSeries>
#include <QPushButton>
#include <QTemporaryDir>
#include <QValueAxis>

using namespace Qt::StringLiterals;

namespace {

// The program's windows on the sample data set, on the tab of `table`.
void loadSample(MainWindowFixture &f, const QString &table)
{
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter)
            .load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    QVERIFY(f.show());
    f.clickTab(table);
    QTRY_COMPARE(f.frmMain.currentTable(), table);
}

// The first grid row whose `column` shows `text`.
int rowOf(MainWindowFixture &f, const QString &column, const QString &text)
{
    return int(f.shown(column).indexOf(text));
}

// Opens the grid's context menu on a cell with a right click and clicks the item `action`.
void clickContextMenu(MainWindowFixture &f, int row, const char *action)
{
    const QModelIndex index = f.model()->index(row, 0);
    f.grid()->scrollTo(index);
    // Through the window, as the platform delivers a click: the context menu comes from there.
    QWidget *viewport = f.grid()->viewport();
    QTest::mouseClick(f.frmMain.windowHandle(), Qt::RightButton, {},
                      viewport->mapTo(&f.frmMain, f.grid()->visualRect(index).center()));
    auto *menu = f.child<QMenu>("pumGrid");
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(f.child<QAction>(action)).center());
    QTRY_VERIFY(!menu->isVisible());
}

// Opens the View menu with a click on its button and clicks the item `action`.
void clickViewMenu(MainWindowFixture &f, const char *action)
{
    f.clickButton("btnView");
    auto *menu = f.child<QMenu>("pumView");
    QTRY_VERIFY(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(f.child<QAction>(action)).center());
    QTRY_VERIFY(!menu->isVisible());
}

// A line's points as "x/y" texts.
QStringList pointTexts(const QLineSeries *series)
{
    QStringList texts;
    for (const QPointF &p : series->points())
        texts << u"%1/%2"_s.arg(p.x()).arg(p.y());
    return texts;
}

} // namespace

class ChartsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lactationCurvesDrawEachLactationOfTheCow();
    void aCowWithoutTestDaysIsToldSo();
    void herdSummaryDrawsEveryTestDateOfTheHerd();
    void viewMenuFollowsTheTable();
    void contextMenuFromTheKeyboardOpensOnTheCurrentRow();
};

void ChartsTest::lactationCurvesDrawEachLactationOfTheCow()
{
    MainWindowFixture f;
    loadSample(f, u"104"_s);
    const QString cow = u"HOLAUSF000041000002"_s;
    clickContextMenu(f, rowOf(f, u"NationalID"_s, cow), "LactationCurves1");
    QVERIFY(f.prompter.errors.isEmpty());
    bm::gui::TfrmLactationCurves *w = f.frmMain.frmLactationCurves();
    QVERIFY(w);
    QTRY_VERIFY(w->isVisible());

    // One milk line per calving date, its points the test days' days in milk and milk as the
    // table holds them.
    const QStringList calvings
            = f.home.rows(uR"(SELECT DISTINCT CalvingDate FROM "104" WHERE NationalID = '%1'
                              ORDER BY CalvingDate)"_s.arg(cow));
    QVERIFY(calvings.size() > 1);
    const QList<QLineSeries *> milk = w->milkSeries();
    QCOMPARE(milk.size(), calvings.size());
    for (int i = 0; i < calvings.size(); ++i) {
        const QStringList expected = f.home.rows(
                uR"(SELECT printf('%d/%g', DaysInMilk, Milk) FROM "104" WHERE NationalID = '%1'
                    AND CalvingDate = '%2' AND Milk IS NOT NULL ORDER BY DaysInMilk)"_s.arg(
                        cow, calvings.at(i)));
        QCOMPARE(pointTexts(milk.at(i)), expected);
        QVERIFY(milk.at(i)->isVisible());
        QVERIFY(!w->fatSeries().at(i)->isVisible());
    }
    QVERIFY(!w->percentAxis()->isVisible());

    // Ticking Fat % draws the fat lines on the second axis.
    QTest::mouseClick(w->chkFat, Qt::LeftButton);
    QVERIFY(w->fatSeries().first()->isVisible());
    QVERIFY(!w->proteinSeries().first()->isVisible());
    QVERIFY(w->percentAxis()->isVisible());
    QVERIFY(w->fatSeries().first()->attachedAxes().contains(w->percentAxis()));
    QCOMPARE(pointTexts(w->fatSeries().first()),
             f.home.rows(uR"(SELECT printf('%d/%g', DaysInMilk, FatPercent) FROM "104"
                             WHERE NationalID = '%1' AND CalvingDate = '%2'
                             AND FatPercent IS NOT NULL ORDER BY DaysInMilk)"_s.arg(
                     cow, calvings.first())));

    // Save As PNG writes the chart; a file that exists is replaced only on Yes.
    QTemporaryDir dir;
    const QString png = dir.filePath(u"curves.png"_s);
    f.prompter.choices = {dir.filePath(u"curves"_s)};
    QTest::mouseClick(w->btnSavePng, Qt::LeftButton);
    QVERIFY(f.prompter.errors.isEmpty());
    QImage picture(png);
    QCOMPARE(picture.size(), w->chartView->size() * w->chartView->devicePixelRatio());
    QVERIFY(f.prompter.initials.last().endsWith(u"Lactation curves HOLAUSF000041000002.png"_s));
    QFile::resize(png, 0);
    f.prompter.choices = {png};
    f.prompter.answers = {false};
    QTest::mouseClick(w->btnSavePng, Qt::LeftButton);
    QCOMPARE(QFileInfo(png).size(), 0);
    QVERIFY(f.prompter.questions.last().startsWith(u"\"curves.png\" already exists in"_s));
}

void ChartsTest::aCowWithoutTestDaysIsToldSo()
{
    MainWindowFixture f;
    loadSample(f, u"102"_s);
    // A pedigree record matching no test day by national ID or by cow and herd.
    const QStringList lonely = f.home.rows(uR"(SELECT NationalID FROM "102" p WHERE NOT EXISTS
            (SELECT 1 FROM "104" t WHERE t.NationalID = p.NationalID
             OR (t.CowID = p.CowID AND t.HerdCode = p.HerdCode)) ORDER BY rowid LIMIT 1)"_s);
    QCOMPARE(lonely.size(), 1);
    f.clickCell(rowOf(f, u"NationalID"_s, lonely.first()), u"NationalID"_s);
    clickViewMenu(f, "LactationCurves1");
    bm::gui::TfrmLactationCurves *w = f.frmMain.frmLactationCurves();
    QTRY_VERIFY(w && w->isVisible());
    QVERIFY(w->lblNoData->isVisible());
    QVERIFY(!w->chartView->isVisible());
    QVERIFY(w->lblNoData->text().startsWith(u"No test days for Cow "_s));
    QVERIFY(w->lblNoData->text().contains(lonely.first()));
    QVERIFY(!w->btnSavePng->isEnabled());
    QVERIFY(w->milkSeries().isEmpty());
}

void ChartsTest::herdSummaryDrawsEveryTestDateOfTheHerd()
{
    MainWindowFixture f;
    loadSample(f, u"103"_s);
    const int row = rowOf(f, u"HerdCode"_s, u"N208156"_s);
    QVERIFY(row >= 0);
    clickContextMenu(f, row, "HerdSummary1");
    bm::gui::TfrmHerdSummary *w = f.frmMain.frmHerdSummary();
    QTRY_VERIFY(w && w->isVisible());
    const QList<QLineSeries *> lines = w->series();
    QCOMPARE(lines.size(), 5);
    // Cows tested and average milk per test date, dates as the axis holds them.
    auto dated = [](const QLineSeries *series) {
        QStringList texts;
        for (const QPointF &p : series->points())
            texts << u"%1 %2"_s
                             .arg(QDateTime::fromMSecsSinceEpoch(qint64(p.x()))
                                          .date()
                                          .toString(Qt::ISODate))
                             .arg(p.y(), 0, 'f', 3);
        return texts;
    };
    QCOMPARE(dated(lines.at(0)),
             f.home.rows(uR"(SELECT TestDate || ' ' || printf('%.3f', count(*)) FROM "104"
                             WHERE HerdCode = 'N208156' GROUP BY TestDate ORDER BY TestDate)"_s));
    QCOMPARE(dated(lines.at(1)),
             f.home.rows(uR"(SELECT TestDate || ' ' || printf('%.3f', avg(Milk)) FROM "104"
                             WHERE HerdCode = 'N208156' GROUP BY TestDate ORDER BY TestDate)"_s));
    QCOMPARE(lines.at(4)->name(), u"Cell count ('000 cells/mL)"_s);

    // A measure's box hides its line.
    QTest::mouseClick(w->boxes().at(4), Qt::LeftButton);
    QVERIFY(!lines.at(4)->isVisible());
    QVERIFY(lines.at(1)->isVisible());
}

void ChartsTest::viewMenuFollowsTheTable()
{
    MainWindowFixture f;
    loadSample(f, u"101"_s);
    auto *curves = f.child<QAction>("LactationCurves1");
    auto *summary = f.child<QAction>("HerdSummary1");
    f.clickButton("btnView");
    QTRY_VERIFY(f.child<QMenu>("pumView")->isVisible());
    // A herd record names no cow, but a herd.
    QVERIFY(!curves->isEnabled());
    QVERIFY(summary->isEnabled());
    f.child<QMenu>("pumView")->close();
    f.clickTab(u"105"_s);
    QTRY_COMPARE(f.frmMain.currentTable(), u"105"_s);
    f.clickButton("btnView");
    QTRY_VERIFY(f.child<QMenu>("pumView")->isVisible());
    QVERIFY(!curves->isEnabled());
    QVERIFY(!summary->isEnabled());
    f.child<QMenu>("pumView")->close();
}

void ChartsTest::contextMenuFromTheKeyboardOpensOnTheCurrentRow()
{
    MainWindowFixture f;
    loadSample(f, u"104"_s);
    f.clickCell(3, u"CowID"_s);
    // The menu key as the platform delivers it: a context menu event from the keyboard, at a
    // place of its own choosing (here the first row).
    QWidget *viewport = f.grid()->viewport();
    const QPoint first = f.grid()->visualRect(f.model()->index(0, 0)).center();
    QContextMenuEvent key(QContextMenuEvent::Keyboard, first, viewport->mapToGlobal(first));
    QApplication::sendEvent(viewport, &key);
    auto *menu = f.child<QMenu>("pumGrid");
    QTRY_VERIFY(menu->isVisible());
    QCOMPARE(f.grid()->currentIndex().row(), 3);
    const QRect cell = f.grid()->visualRect(f.grid()->currentIndex());
    QVERIFY(QRect(viewport->mapToGlobal(cell.topLeft()), cell.size()).contains(menu->pos()));
    menu->close();
}

QTEST_MAIN(ChartsTest)
#include "ChartsTest.moc"

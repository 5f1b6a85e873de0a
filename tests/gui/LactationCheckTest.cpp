#include "GuiFixture.h"

#include "Loader.h"
#include "TfrmLactationCheck.h"
#include "TfrmLactationCurves.h"

#include <QApplication>
#include <QChart>
#include <QCheckBox>
#include <QClipboard>
#include <QDoubleSpinBox>
#include <QLineSeries>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using bm::gui::TfrmLactationCheck;

namespace {

void load(MainWindowFixture &f, const QString &file)
{
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter).load(file);
}

// Opens View > Lactation Check with clicks, as a user does.
TfrmLactationCheck *openCheck(MainWindowFixture &f)
{
    f.clickButton("btnView");
    auto *menu = f.child<QMenu>("pumView");
    if (!QTest::qWaitFor([menu] { return menu->isVisible(); }))
        return nullptr;
    QTest::mouseClick(menu, Qt::LeftButton, {},
                      menu->actionGeometry(f.child<QAction>("LactationCheck1")).center());
    TfrmLactationCheck *check = f.frmMain.frmLactationCheck();
    return check && QTest::qWaitForWindowExposed(check) ? check : nullptr;
}

// Save As CSV of the window into `path`, through the scripted file dialog.
void saveAs(MainWindowFixture &f, TfrmLactationCheck *check, const QString &path)
{
    f.prompter.choices.push_back(path);
    QTest::mouseClick(check->btnSave, Qt::LeftButton);
}

QByteArray yieldsOfCli(const QString &home, const QStringList &options = {})
{
    const bm::test::ProcessResult r = bm::test::runProgram(
            QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, home, u"yields"_s} + options);
    return r.exitCode == 0 ? r.out.toLatin1() : ("error: " + r.err.toUtf8());
}

// The row of the table view showing lactation `row` of the check.
int viewRow(TfrmLactationCheck *check, int row)
{
    const std::vector<int> listed = check->listedRows();
    return int(std::find(listed.begin(), listed.end(), row) - listed.begin());
}

} // namespace

class LactationCheckTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void theWindowAndTheCommandLineGiveTheSameTable_data();
    void theWindowAndTheCommandLineGiveTheSameTable();
    void toleranceFlagsFilterAndSort();
    void copyAndDoubleClickForTheCurve();
};

void LactationCheckTest::theWindowAndTheCommandLineGiveTheSameTable_data()
{
    QTest::addColumn<QString>("data");
    QTest::newRow("sample data set") << u"sample"_s;
    QTest::newRow("generated data set") << u"generated"_s;
}

void LactationCheckTest::theWindowAndTheCommandLineGiveTheSameTable()
{
    QFETCH(QString, data);
    MainWindowFixture f;
    QTemporaryDir dir;
    if (data == u"sample"_s) {
        load(f, QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    } else {
        const bm::test::ProcessResult gen = bm::test::runProgram(
                QStringLiteral(BM_GEN_PATH), {u"--home"_s, f.home.path(), u"--out-stem"_s,
                                              dir.path() + u"/herd"_s, u"--lines"_s, u"8000"_s});
        QCOMPARE(gen.exitCode, 0);
        load(f, dir.path() + u"/herd.103"_s);
    }
    QVERIFY(f.show());
    TfrmLactationCheck *check = openCheck(f);
    QVERIFY(check);
    QCOMPARE(check->model().rowCount(), int(f.home.dm().rowCount(u"103"_s)));
    QVERIFY(f.prompter.errors.isEmpty());

    const QString saved = dir.path() + u"/check.csv"_s;
    saveAs(f, check, saved);
    QVERIFY(f.prompter.errors.isEmpty());
    const QByteArray cli = yieldsOfCli(f.home.path());
    QVERIFY(cli.count('\n') > 10);
    QCOMPARE(bm::test::readFile(saved), cli);
}

void LactationCheckTest::toleranceFlagsFilterAndSort()
{
    MainWindowFixture f;
    load(f, QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    QVERIFY(f.show());
    TfrmLactationCheck *check = openCheck(f);
    QVERIFY(check);
    // At 10 % nothing in the sample data set is flagged; at 4 % some lactations are.
    QVERIFY(check->lblTitle->text().contains(u"0 flagged over 10.0 %"_s));
    check->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(check));
    check->edtTolerance->setFocus();
    check->edtTolerance->selectAll();
    QTest::keyClicks(check->edtTolerance, u"4"_s);
    QTRY_COMPARE(check->edtTolerance->value(), 4.0);
    QTest::mouseClick(check->ckbFlagged, Qt::LeftButton, {},
                      QPoint(6, check->ckbFlagged->height() / 2));
    QVERIFY(check->ckbFlagged->isChecked());
    const std::vector<int> listed = check->listedRows();
    QVERIFY(!listed.empty());
    QVERIFY(int(listed.size()) < check->model().rowCount());
    for (const int row : listed)
        QVERIFY(check->model().row(row).isFlagged(4.0));
    QVERIFY(check->lblTitle->text().contains(u"%1 listed"_s.arg(listed.size())));

    // The flagged rows are those the command line writes with the same tolerance.
    QTemporaryDir dir;
    saveAs(f, check, dir.path() + u"/flagged.csv"_s);
    QCOMPARE(bm::test::readFile(dir.path() + u"/flagged.csv"_s),
             yieldsOfCli(f.home.path(), {u"--tolerance"_s, u"4"_s, u"--flagged"_s}));

    // A click on a title sorts by it, numbers as numbers.
    QTest::mouseClick(check->ckbFlagged, Qt::LeftButton, {},
                      QPoint(6, check->ckbFlagged->height() / 2));
    QHeaderView *header = check->tblCheck->horizontalHeader();
    const int column = int(bm::CheckColumn::ComputedMilk305);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
    double previous = -1;
    for (const int row : check->listedRows()) {
        const double milk = check->model().row(row).computedMilk.value_or(-1);
        QVERIFY2(milk >= previous, qPrintable(QString::number(milk)));
        previous = milk;
    }
}

void LactationCheckTest::copyAndDoubleClickForTheCurve()
{
    MainWindowFixture f;
    load(f, QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    QVERIFY(f.show());
    TfrmLactationCheck *check = openCheck(f);
    QVERIFY(check);
    check->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(check));

    // The second lactation of the table: selected with a click, copied with Ctrl+C.
    QTableView *table = check->tblCheck;
    const QRect cell = table->visualRect(table->model()->index(viewRow(check, 1), 2));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
    const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].startsWith(u"HerdCode\tCowID\tNationalID\t"_s));
    const bm::LactationCheckRow &row = check->model().row(1);
    QCOMPARE(lines[1].split(u'\t').value(2), row.nationalId);
    QCOMPARE(lines[1].split(u'\t').value(14), u"ok"_s);

    // A double-click shows the lactation's curve with the computed yield written on it.
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    bm::gui::TfrmLactationCurves *curve = check->frmCurve();
    QVERIFY(curve);
    QTRY_VERIFY(curve->isVisible());
    QCOMPARE(curve->milkSeries().size(), 1);
    QVERIFY(curve->milkSeries().first()->count() >= row.tests);
    const QString title = curve->chart()->title();
    QVERIFY2(title.contains(u"Computed 305-day yield"_s), qPrintable(title));
    QVERIFY2(title.contains(QLocale().toString(*row.computedMilk, 'f', 1)), qPrintable(title));
    QVERIFY(f.prompter.errors.isEmpty());
}

QTEST_MAIN(LactationCheckTest)
#include "LactationCheckTest.moc"

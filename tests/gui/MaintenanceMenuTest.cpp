#include "GuiFixture.h"

#include "Loader.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace {

// Two pedigree records and five test days: two of cows not in 102, one in another letter case.
void seed(MainWindowFixture &f)
{
    bm::Tdm &dm = f.home.dm();
    dm.exec(uR"(INSERT INTO "102" (RecordType, HerdCode, CowID, NationalID) VALUES
                ('102', 'H1', 'C1', 'NZL1'), ('102', 'H2', 'C2', NULL))"_s);
    dm.exec(uR"(INSERT INTO "104" (RecordType, HerdCode, CowID, NationalID, Milk) VALUES
                ('104', 'H1', 'C1', 'NZL1', 10), ('104', 'H1', 'C7', NULL, 20),
                ('104', 'H2', 'C2', NULL, 30), ('104', 'H3', 'C9', 'X', 40),
                ('104', 'h2', 'c2', NULL, 50))"_s);
    dm.exec(uR"(INSERT INTO "105" (RecordType, NationalID) VALUES ('105', 'BULL'))"_s);
}

// Types `text` into the filter bar's start input (which turns it into capitals).
void typeStart(MainWindowFixture &f, const QString &text)
{
    auto *edtStart = f.child<QLineEdit>("edtStart");
    edtStart->clear();
    QTest::keyClicks(edtStart, text);
}

QStringList firstLines(const QStringList &texts)
{
    QStringList lines;
    for (const QString &t : texts)
        lines << t.section(u'\r', 0, 0);
    return lines;
}

} // namespace

class MaintenanceMenuTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanupKeepsTheGridsFilterAndSort();
    void anErrorIsShownAndEveryTableStaysAsItWas();
    void trimmingTakesTheFilterTheGridShows();
    void textSortsWithoutRegardToCase();
    void changeHerdcodeOffersTheCurrentRowsCode();
    void mergeKeepsTheChosenNameForTheNextDialog();
};

void MaintenanceMenuTest::cleanupKeepsTheGridsFilterAndSort()
{
    MainWindowFixture f;
    seed(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"Milk"_s);
    f.pick("cmbOperator", u"Is Greater Than"_s);
    typeStart(f, u"15"_s);
    f.clickButton("btnApply");
    f.clickTitle(u"Milk"_s);
    f.clickTitle(u"Milk"_s);
    QCOMPARE(f.shown(u"Milk"_s), (QStringList{u"50.0"_s, u"40.0"_s, u"30.0"_s, u"20.0"_s}));
    const bm::FilterQuery query = f.model()->query();

    f.clickFileSubmenu("Cleanup1", "RemoveDataForCowsNotIn1021");
    QCOMPARE(firstLines(f.prompter.questions),
             (QStringList{u"0 Unmatched records found in 103 file."_s,
                          u"2 Unmatched records found in 104 file."_s,
                          u"0 Unmatched records found in 106 file."_s,
                          u"0 Unmatched records found in 108 file."_s,
                          u"0 Unmatched records found in 112 file."_s,
                          u"0 Unmatched records found in 211 file."_s}));
    QCOMPARE(f.prompter.notices, QStringList{u"Finished Cleanup."_s});
    QVERIFY(f.prompter.errors.isEmpty());
    // The same filter and sort, the rows as they now are, the status line counting them.
    QCOMPARE(f.model()->query().sql(), query.sql());
    QCOMPARE(f.shown(u"Milk"_s), (QStringList{u"50.0"_s, u"30.0"_s}));
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!f.frmProgress.QWidget::isVisible());

    // Seven prompts for the other command; No to each keeps every row.
    f.prompter.answers = std::deque<bool>(7, false);
    f.clickFileSubmenu("Cleanup1", "RemoveCowsNotIn1031");
    QCOMPARE(f.prompter.questions.size(), 13);
    QCOMPARE(f.prompter.questions.last(),
             u"3 Records found in 104 file with no corresponding 103 record.\r\rDo you wish to "
             "remove them."_s);
    QCOMPARE(f.prompter.notices.size(), 2);
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"3"_s});
}

void MaintenanceMenuTest::anErrorIsShownAndEveryTableStaysAsItWas()
{
    MainWindowFixture f;
    seed(f);
    f.home.dm().exec(uR"(CREATE TRIGGER refuse BEFORE DELETE ON "104" BEGIN
                         SELECT RAISE(ABORT, 'test days are locked'); END)"_s);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.clickFileSubmenu("Cleanup1", "RemoveDataForCowsNotIn1021");
    QCOMPARE(f.prompter.errors, QStringList{u"test days are locked"_s});
    QCOMPARE(f.prompter.questions.size(), 2);
    QVERIFY(f.prompter.notices.isEmpty());
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"5"_s});
    QCOMPARE(f.status(), u"Test Day  :  5  Records Listed"_s);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(!f.frmProgress.QWidget::isVisible());
}

void MaintenanceMenuTest::trimmingTakesTheFilterTheGridShows()
{
    MainWindowFixture f;
    seed(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    // A value typed in capitals finds it in any letter case.
    f.pick("cmbFilter", u"HerdCode"_s);
    f.pick("cmbOperator", u"Is Equal To"_s);
    typeStart(f, u"h2"_s);
    f.clickButton("btnApply");
    QCOMPARE(f.shown(u"HerdCode"_s), (QStringList{u"H2"_s, u"h2"_s}));
    // A change to the filter bar that is not applied does not count: the grid's filter does.
    typeStart(f, u"h1"_s);

    f.clickFileSubmenu("Filter1", "ApplyFilterToCurrentTable1");
    QCOMPARE(f.prompter.questions,
             QStringList{u"This will remove 3 records from the 104 file that have been excluded "
                         "by the current filter.\r\rDo you wish to continue."_s});
    QCOMPARE(f.prompter.notices, QStringList{u"Finished."_s});
    QCOMPARE(f.home.rows(uR"(SELECT HerdCode FROM "104" ORDER BY rowid)"_s),
             (QStringList{u"H2"_s, u"h2"_s}));
    QCOMPARE(f.status(), u"Test Day  :  2  Records Listed"_s);

    f.prompter.answers = {false};
    f.clickFileSubmenu("Filter1", "RemoveFilteredDataFromCurrrentTable1");
    QCOMPARE(f.prompter.questions.last(),
             u"This will remove the 2 records displayed from the 104 file.\r\rDo you wish to "
             "continue."_s);
    QCOMPARE(f.prompter.notices.size(), 1);
    QCOMPARE(f.model()->rowCount(), 2);

    f.clickFileSubmenu("Filter1", "RemoveFilteredDataFromCurrrentTable1");
    QCOMPARE(f.prompter.notices, (QStringList{u"Finished."_s, u"Finished."_s}));
    QCOMPARE(f.home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"0"_s});
    QCOMPARE(f.status(), u"Test Day  :  0  Records Listed"_s);
}

void MaintenanceMenuTest::textSortsWithoutRegardToCase()
{
    MainWindowFixture f;
    f.home.dm().exec(uR"(INSERT INTO "102" (RecordType, CowID) VALUES
                         ('102', 'b'), ('102', 'A'), ('102', 'a'), ('102', 'B'))"_s);
    QVERIFY(f.show());
    f.clickTab(u"102"_s);
    f.clickTitle(u"CowID"_s);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"A"_s, u"a"_s, u"b"_s, u"B"_s}));
    f.clickTitle(u"CowID"_s);
    QCOMPARE(f.shown(u"CowID"_s), (QStringList{u"b"_s, u"B"_s, u"A"_s, u"a"_s}));
}

void MaintenanceMenuTest::changeHerdcodeOffersTheCurrentRowsCode()
{
    MainWindowFixture f;
    seed(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.clickCell(2, u"CowID"_s);
    f.prompter.choices = {u"NEW'HRD"_s};
    f.clickFileMenu("ChangeHerdcode1");
    QCOMPARE(f.prompter.inputs, QStringList{u"Change Herdcode|Enter New Herdcode|H2"_s});
    QVERIFY(f.prompter.errors.isEmpty());
    QCOMPARE(f.shown(u"HerdCode"_s), QStringList(5, u"NEW'HRD"_s));
    QCOMPARE(f.home.rows(uR"(SELECT DISTINCT HerdCode FROM "102")"_s), QStringList{u"NEW'HRD"_s});

    // A table without the column offers an empty code; too long a code changes nothing.
    f.clickTab(u"105"_s);
    f.prompter.choices = {u"TOOLONG1"_s};
    f.clickFileMenu("ChangeHerdcode1");
    QCOMPARE(f.prompter.inputs.last(), u"Change Herdcode|Enter New Herdcode|"_s);
    QCOMPARE(f.prompter.notices, QStringList{u"Herdcode must be less than 7 characters."_s});
    QCOMPARE(f.home.rows(uR"(SELECT DISTINCT HerdCode FROM "104")"_s), QStringList{u"NEW'HRD"_s});
}

void MaintenanceMenuTest::mergeKeepsTheChosenNameForTheNextDialog()
{
    MainWindowFixture f;
    seed(f);
    const QByteArray line = "1021" + QByteArray("H2").leftJustified(8, ' ')
                            + QByteArray("C2").leftJustified(8, ' ')
                            + QByteArray("NZL2").leftJustified(19, ' ') + "\r\n";
    const QString file = f.home.write(u"merge.102"_s, line);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    f.prompter.choices = {f.home.path() + u"merge.dif"_s};
    f.clickFileMenu("MergeNationalIDs1");
    QCOMPARE(f.prompter.filters, QStringList{u"DIF Files (*.102)"_s});
    QCOMPARE(f.prompter.notices, QStringList{u"Finished Merge."_s});
    QCOMPARE(f.shown(u"NationalID"_s),
             (QStringList{u"NZL1"_s, QString(), u"NZL2"_s, u"X"_s, u"NZL2"_s}));
    QVERIFY(!f.frmProgress.QWidget::isVisible());

    f.clickFileMenu("LoadFiles1"); // cancelled: the dialog opened on the merge file
    QCOMPARE(f.prompter.initials.last(), file);
    f.prompter.choices = {QString()};
    f.clickFileMenu("MergeNationalIDs1");
    QCOMPARE(f.prompter.initials.last(), file);
    QCOMPARE(f.prompter.notices.size(), 1);
}

QTEST_MAIN(MaintenanceMenuTest)
#include "MaintenanceMenuTest.moc"

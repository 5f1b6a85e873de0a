#include "GuiFixture.h"

#include "Layout.h"
#include "Loader.h"

#include <QDir>
#include <QLineEdit>

#include <sqlite3.h>

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

// Every row of every record-type table of a database file, read without the program.
QStringList everyRow(const QString &file)
{
    QStringList rows;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    for (const QString &table : bm::recordTypeCodes()) {
        sqlite3_stmt *stmt = nullptr;
        const QByteArray sql = "SELECT * FROM \"" + table.toLatin1() + "\" ORDER BY rowid";
        sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr);
        while (stmt && sqlite3_step(stmt) == SQLITE_ROW) {
            QString row = table;
            for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
                const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
                row += u'|' + (text ? QString::fromUtf8(text) : u"<null>"_s);
            }
            rows << row;
        }
        sqlite3_finalize(stmt);
    }
    sqlite3_close(db);
    return rows;
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
    void menuAndCommandLineGiveTheSameResults();
    void editMenuUndoesAndRedoesTheLastCommand();
    void theGridShowsTheResultBeforeTheNoticeAndTheStatusSaysWhatWasDone();
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

void MaintenanceMenuTest::menuAndCommandLineGiveTheSameResults()
{
    // The sample data set with the test days' national IDs taken away, for the merge to bring
    // back; a copy of it for the command line.
    MainWindowFixture f;
    bm::NullProgress progress;
    bm::Loader(f.home.dm(), progress, f.prompter)
            .load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.DIF"));
    f.home.dm().exec(uR"(UPDATE "104" SET NationalID = NULL)"_s);
    QTemporaryDir other;
    const QString home = other.path() + u'/';
    QVERIFY(QFile::copy(f.home.path() + u"Tembra.db"_s, home + u"Tembra.db"_s));
    const QString sample102 = QStringLiteral(BM_SOURCE_DIR "/samples/herd.102");

    QVERIFY(f.show());
    f.clickFileSubmenu("Cleanup1", "RemoveCowsNotIn1031");
    f.clickTab(u"104"_s);
    f.pick("cmbFilter", u"Milk"_s);
    f.pick("cmbOperator", u"Is Greater Than"_s);
    typeStart(f, u"20"_s);
    f.clickButton("btnApply");
    f.clickFileSubmenu("Filter1", "ApplyFilterToCurrentTable1");
    f.prompter.choices = {sample102};
    f.clickFileMenu("MergeNationalIDs1");
    f.prompter.choices = {u"ABC"_s};
    f.clickFileMenu("ChangeHerdcode1");
    QVERIFY(f.prompter.errors.isEmpty());
    QCOMPARE(f.prompter.notices,
             (QStringList{u"Finished Cleanup."_s, u"Finished."_s, u"Finished Merge."_s}));

    const auto cli = [&](const QStringList &args) {
        const bm::test::ProcessResult r = bm::test::runProgram(
                QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, home} + args);
        if (r.exitCode != 0)
            qWarning("%s: %s", qPrintable(args.join(u' ')), qPrintable(r.err));
        return r;
    };
    QCOMPARE(cli({u"--quiet"_s, u"init"_s}).exitCode, 0); // the layouts; the database stays
    const bm::test::ProcessResult cleaned = cli({u"--yes"_s, u"clean"_s, u"103"_s});
    QCOMPARE(cleaned.exitCode, 0);
    QCOMPARE(cleaned.err.split(u'\n', Qt::SkipEmptyParts).mid(0, 7),
             firstLines(f.prompter.questions).mid(0, 7));
    QCOMPARE(
            cli({u"--yes"_s, u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s, u"gt"_s, u"20"_s}).exitCode,
            0);
    QCOMPARE(cli({u"--yes"_s, u"merge"_s, sample102}).exitCode, 0);
    QCOMPARE(cli({u"--yes"_s, u"herdcode"_s, u"ABC"_s}).exitCode, 0);

    const QStringList window = everyRow(f.home.path() + u"Tembra.db"_s);
    QVERIFY(window.size() > 200);
    QVERIFY(f.home.rows(uR"(SELECT count(*) FROM "104" WHERE NationalID IS NULL)"_s)
            == QStringList{u"0"_s}); // the merge gave every test day its ID back
    QCOMPARE(everyRow(home + u"Tembra.db"_s), window);
}

// Opens the Edit menu with a click on its button; the Undo item as it shows there.
QAction *openEditMenu(MainWindowFixture &f)
{
    f.clickButton("btnEdit");
    auto *menu = f.child<QMenu>("pumEdit");
    if (!QTest::qWaitFor([&] { return menu->isVisible(); }))
        return nullptr;
    return f.child<QAction>("Undo1");
}

void clickUndo(MainWindowFixture &f)
{
    QAction *undo = openEditMenu(f);
    QVERIFY(undo && undo->isEnabled());
    auto *menu = f.child<QMenu>("pumEdit");
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(undo).center());
    QTRY_VERIFY(!menu->isVisible());
}

void MaintenanceMenuTest::editMenuUndoesAndRedoesTheLastCommand()
{
    MainWindowFixture f;
    seed(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QAction *undo = openEditMenu(f);
    QVERIFY(undo);
    QCOMPARE(undo->text(), u"&Undo"_s);
    QVERIFY(!undo->isEnabled()); // nothing to undo yet
    QTest::keyClick(f.child<QMenu>("pumEdit"), Qt::Key_Escape);

    const QStringList before = everyRow(f.home.path() + u"Tembra.db"_s);
    f.clickFileSubmenu("Cleanup1", "RemoveDataForCowsNotIn1021");
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    const QStringList cleaned = everyRow(f.home.path() + u"Tembra.db"_s);
    QCOMPARE(undo->text(), u"&Undo Remove Data For Cows Not In 102"_s);

    // It asks first; No changes nothing.
    f.prompter.answers = {false};
    clickUndo(f);
    QVERIFY(f.prompter.questions.last().startsWith(
            u"This will put the herd data back as it was before \"Remove Data For Cows Not In "
            "102\" ("_s));
    QCOMPARE(everyRow(f.home.path() + u"Tembra.db"_s), cleaned);

    // Yes: every table as before the clean-up, the grid showing it.
    clickUndo(f);
    QCOMPARE(everyRow(f.home.path() + u"Tembra.db"_s), before);
    QCOMPARE(f.status(), u"Test Day  :  5  Records Listed"_s);
    QCOMPARE(f.frmMain.message(), u"Undone: Remove Data For Cows Not In 102"_s);
    QCOMPARE(undo->text(), u"&Redo Remove Data For Cows Not In 102"_s);
    QVERIFY(f.prompter.errors.isEmpty());

    // Ctrl+Z redoes it.
    QVERIFY(f.activate());
    QTest::keyClick(&f.frmMain, Qt::Key_Z, Qt::ControlModifier);
    QTRY_COMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    QCOMPARE(everyRow(f.home.path() + u"Tembra.db"_s), cleaned);
    QCOMPARE(undo->text(), u"&Undo Remove Data For Cows Not In 102"_s);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
    QVERIFY(f.prompter.errors.isEmpty());
}

void MaintenanceMenuTest::theGridShowsTheResultBeforeTheNoticeAndTheStatusSaysWhatWasDone()
{
    MainWindowFixture f;
    seed(f);
    QVERIFY(f.show());
    f.clickTab(u"104"_s);
    QCOMPARE(f.status(), u"Test Day  :  5  Records Listed"_s);
    QStringList atNotice;
    f.prompter.onNotice = [&](const QString &notice) {
        atNotice << notice + u" | "_s + f.status() + u" | "_s + f.shown(u"CowID"_s).join(u',');
    };

    // The rows removed are gone from the grid before "Finished Cleanup." is read.
    f.clickFileSubmenu("Cleanup1", "RemoveDataForCowsNotIn1021");
    QCOMPARE(atNotice,
             QStringList{u"Finished Cleanup. | Test Day  :  3  Records Listed | C1,C2,c2"_s});
    QCOMPARE(f.frmMain.message(), u"Remove Data For Cows Not In 102: 2 records removed from 104"_s);

    // A herd-code change tells how many records of how many tables it changed.
    f.prompter.choices = {u"NEWHC"_s};
    f.clickFileMenu("ChangeHerdcode1");
    QCOMPARE(f.shown(u"HerdCode"_s), QStringList(3, u"NEWHC"_s));
    QCOMPARE(f.frmMain.message(),
             u"Change Herdcode: 5 records of 2 tables changed (102: 2, 104: 3)"_s);

    // One that ends with nothing done says so too, and the trims tell their table.
    f.prompter.answers = {false};
    f.clickFileSubmenu("Filter1", "RemoveFilteredDataFromCurrrentTable1");
    QCOMPARE(f.status(), u"Test Day  :  3  Records Listed"_s);
    f.clickFileSubmenu("Cleanup1", "RemoveDataForCowsNotIn1021");
    QCOMPARE(f.frmMain.message(), u"Remove Data For Cows Not In 102: nothing removed"_s);
    f.clickFileSubmenu("Filter1", "RemoveFilteredDataFromCurrrentTable1");
    QCOMPARE(atNotice.last(), u"Finished. | Test Day  :  0  Records Listed | "_s);
    QCOMPARE(f.frmMain.message(),
             u"Remove Displayed Data From Current Table: 3 records removed from 104"_s);
    QVERIFY(f.prompter.errors.isEmpty());
}

QTEST_MAIN(MaintenanceMenuTest)
#include "MaintenanceMenuTest.moc"

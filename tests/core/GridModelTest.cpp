#include "GridModel.h"
#include "Error.h"
#include "FilterQuery.h"
#include "Layout.h"
#include "TableExport.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QAbstractItemModelTester>
#include <QLocale>
#include <QSignalSpy>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// Counts the item-model tester's complaints.
struct TesterWarnings
{
    TesterWarnings()
    {
        s_count = 0;
        m_previous = qInstallMessageHandler(
                [](QtMsgType type, const QMessageLogContext &, const QString &message) {
                    if (type != QtDebugMsg && type != QtInfoMsg) {
                        ++s_count;
                        ADD_FAILURE() << message.toStdString();
                    }
                });
    }
    ~TesterWarnings() { qInstallMessageHandler(m_previous); }
    static inline int s_count = 0;
    QtMessageHandler m_previous;
};

// Table 104 with `n` rows: HerdCode H<i>, Milk (i * 7) % 50 + 0.25, CellCount i, TestDate
// 2021-01-01 plus i days.
void fill104(Tdm &dm, int n)
{
    Transaction t(dm);
    Stmt s = dm.prepare(u"INSERT INTO \"104\" (RecordType, HerdCode, Milk, CellCount, TestDate) "
                        "VALUES ('104', ?1, ?2, ?3, date('2021-01-01', ?4 || ' days'))"_s);
    for (int i = 0; i < n; ++i) {
        s->bindText(1, u"H"_s + QString::number(i));
        s->bindReal(2, (i * 7) % 50 + 0.25);
        s->bindInteger(3, i);
        s->bindInteger(4, i);
        s->run();
    }
    t.commit();
}

FilterQuery query104(const QString &where = {}, const QString &sort = {}, bool desc = false)
{
    FilterQuery q;
    q.table = u"104"_s;
    q.where = where;
    q.sortColumn = sort;
    q.descending = desc;
    return q;
}

QString cell(const GridModel &m, int row, const QString &column, int role = Qt::DisplayRole)
{
    return m.data(m.index(row, m.columnIndex(column)), role).toString();
}

} // namespace

TEST(GridModel, passesTheItemModelTesterThroughQueriesAndEdits)
{
    test::TestHome home;
    fill104(home.dm(), 300);
    TesterWarnings warnings;
    GridModel model(home.dm());
    QAbstractItemModelTester tester(&model,
                                    QAbstractItemModelTester::FailureReportingMode::Warning);
    model.setQuery(query104(u"WHERE \"CellCount\" >= 10 "_s, u"Milk"_s, true));
    EXPECT_EQ(model.rowCount(), 290);
    EXPECT_FALSE(cell(model, 289, u"HerdCode"_s).isEmpty());
    model.insertRowAt(5);
    ASSERT_TRUE(model.setData(model.index(5, model.columnIndex(u"HerdCode"_s)), u"NEW"_s));
    model.submitRow();
    model.deleteRow(7);
    model.insertRowAt(0);
    model.revertRow();
    home.dm().GetRecordCount(u"SELECT * FROM \"104\""_s); // re-opens the grid
    model.setQuery(query104());
    model.close();
    EXPECT_EQ(TesterWarnings::s_count, 0);
}

TEST(GridModel, readsEveryRowInTheStatementsOrderPageByPage)
{
    test::TestHome home;
    fill104(home.dm(), 1000);
    GridModel model(home.dm());
    model.setQuery(query104(u"WHERE \"Milk\" > 10 "_s, u"Milk"_s, true));
    const QStringList expected = home.rows(
            u"SELECT HerdCode FROM \"104\" WHERE Milk > 10 ORDER BY Milk DESC, rowid"_s);
    ASSERT_EQ(model.rowCount(), expected.size());
    // From the end backwards, so the rows past the first page are asked for first.
    for (int row = model.rowCount() - 1; row >= 0; --row)
        ASSERT_EQ(cell(model, row, u"HerdCode"_s), expected.at(row)) << "row " << row;
    EXPECT_EQ(model.columnNames(), home.dm().columns(u"104"_s));
}

// A jump to the end reads the last rows in the reverse order, without the order of every row;
// what it shows is exactly the end of the statement's order, ties and empty cells included.
TEST(GridModel, lastRowsAreReadWithoutTheWholeOrder)
{
    test::TestHome home;
    fill104(home.dm(), 3000);
    home.dm().exec(u"UPDATE \"104\" SET Milk = NULL WHERE CellCount % 11 = 0"_s);
    const struct
    {
        const char *name;
        QString sort;
        bool desc;
        QString order;
    } cases[] = {
            {"unsorted", QString(), false, u"rowid"_s},
            {"ascending, ties and Nulls", u"Milk"_s, false, u"Milk, rowid"_s},
            {"descending, ties and Nulls", u"Milk"_s, true, u"Milk DESC, rowid"_s},
            {"text", u"HerdCode"_s, true, u"HerdCode DESC, rowid"_s},
    };
    for (const auto &c : cases) {
        GridModel model(home.dm());
        model.setQuery(query104(u"WHERE \"CellCount\" >= 5 "_s, c.sort, c.desc));
        const QStringList expected = home.rows(
                u"SELECT HerdCode FROM \"104\" WHERE CellCount >= 5 ORDER BY %1"_s.arg(c.order));
        ASSERT_EQ(model.rowCount(), expected.size()) << c.name;
        const int last = model.rowCount() - 1;
        EXPECT_FALSE(model.rowIsCheap(last - 200)) << c.name;
        EXPECT_TRUE(model.rowIsCheap(0)) << c.name;
        // The last three pages, from the very end back.
        for (int row = last; row > last - 3 * 128; --row)
            ASSERT_EQ(cell(model, row, u"HerdCode"_s), expected.at(row)) << c.name << " " << row;
        EXPECT_TRUE(model.rowIsCheap(last - 200)) << c.name;
        EXPECT_FALSE(model.rowIsCheap(last / 2)) << c.name << ": the whole order was read";
        // A row in the middle reads the whole order once.
        model.prepareRow(last / 2);
        EXPECT_TRUE(model.rowIsCheap(last / 2)) << c.name;
        EXPECT_EQ(cell(model, last / 2, u"HerdCode"_s), expected.at(last / 2)) << c.name;
        EXPECT_EQ(cell(model, last, u"HerdCode"_s), expected.at(last)) << c.name;
    }
}

TEST(GridModel, refusedStatementLeavesTheGridEmpty)
{
    test::TestHome home;
    fill104(home.dm(), 3);
    GridModel model(home.dm());
    model.setQuery(query104());
    EXPECT_THROW(model.setQuery(query104(u"WHERE \"HerdCode\" =  "_s)), Error);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), 0);
    EXPECT_FALSE(model.isActive());
}

TEST(GridModel, displayFormatsAndDatesLeaveStoredValuesAlone)
{
    test::LocaleScope german(QLocale(QLocale::German, QLocale::Germany));
    test::TestHome home;
    fill104(home.dm(), 2);
    home.dm().exec(u"UPDATE \"104\" SET FatPercent = 4.5, ProteinPercent = 3.125"_s);
    GridModel model(home.dm());
    model.setQuery(query104());
    for (const DisplayFormat &f : displayFormats(u"104"_s))
        model.setDecimals(model.columnIndex(f.column), f.decimals);
    EXPECT_EQ(cell(model, 0, u"Milk"_s), u"0,3"_s);
    EXPECT_EQ(cell(model, 1, u"Milk"_s), u"7,3"_s);
    EXPECT_EQ(cell(model, 0, u"FatPercent"_s), u"4,50"_s);
    EXPECT_EQ(cell(model, 0, u"ProteinPercent"_s), u"3,13"_s);
    EXPECT_EQ(cell(model, 0, u"CellCount"_s), u"0"_s);
    EXPECT_EQ(cell(model, 1, u"TestDate"_s), u"02.01.2021"_s) << "four-digit year";
    // Editing shows the stored value, not the rounded one.
    EXPECT_EQ(cell(model, 0, u"ProteinPercent"_s, Qt::EditRole), u"3,125"_s);
    EXPECT_EQ(home.rows(u"SELECT Milk, ProteinPercent, TestDate FROM \"104\" WHERE rowid = 2"_s),
              QStringList{u"7.25|3.125|2021-01-02"_s});

    EXPECT_EQ(displayFormats(u"211"_s).size(), 2);
    EXPECT_TRUE(displayFormats(u"101"_s).isEmpty());
}

TEST(GridModel, editsAreCheckedAgainstTheColumnTypeAndWrittenWhenSubmitted)
{
    test::LocaleScope british(QLocale(QLocale::English, QLocale::UnitedKingdom));
    test::TestHome home;
    fill104(home.dm(), 1);
    const struct
    {
        const char *column;
        const char *typed;
        const char *stored; // nullptr: refused
    } cases[] = {
            {"CellCount", "42", "42"},
            {"CellCount", "12A", nullptr},
            {"CellCount", "4.5", nullptr},
            {"Milk", "30.5", "30.5"},
            {"Milk", "abc", nullptr},
            {"Milk", "inf", nullptr},
            {"TestDate", "05/03/2021", "2021-03-05"},
            {"TestDate", "2021-03-06", "2021-03-06"},
            {"TestDate", "31/02/2021", nullptr},
            {"TestDate", "", "<null>"},
            {"HerdCode", "O'N \"X\"", "O'N \"X\""},
            {"HerdCode", "", "<null>"},
    };
    for (const auto &c : cases) {
        GridModel model(home.dm());
        QSignalSpy refused(&model, &GridModel::editRefused);
        model.setQuery(query104());
        const QString column = QString::fromLatin1(c.column);
        const QString before = home.rows(u"SELECT \"%1\" FROM \"104\""_s.arg(column)).value(0);
        const bool accepted = model.setData(model.index(0, model.columnIndex(column)),
                                            QString::fromUtf8(c.typed));
        EXPECT_EQ(accepted, c.stored != nullptr) << c.column << " " << c.typed;
        EXPECT_EQ(refused.size(), c.stored ? 0 : 1) << c.column << " " << c.typed;
        if (!c.stored) {
            EXPECT_TRUE(refused.value(0).value(0).toString().contains(column));
            EXPECT_EQ(model.pendingRow(), -1);
            continue;
        }
        // Nothing is written until the row is left.
        EXPECT_EQ(home.rows(u"SELECT \"%1\" FROM \"104\""_s.arg(column)).value(0), before);
        model.submitRow();
        EXPECT_EQ(home.rows(u"SELECT \"%1\" FROM \"104\""_s.arg(column)).value(0),
                  QString::fromUtf8(c.stored))
                << c.column << " " << c.typed;
    }
}

// An edit that a save could not write is refused as it is typed, with the message the save gives
// for the same value in a row: the field of the layout the save writes with (104 version 2) is too
// narrow for it, or the files' code page has no character for it.
TEST(GridModel, editsASaveCouldNotWriteAreRefusedInTheSavesWords)
{
    test::LocaleScope british(QLocale(QLocale::English, QLocale::UnitedKingdom));
    test::TestHome home;
    const struct
    {
        const char *name;
        const char *column;
        const char *typed;
        const char *why; // nullptr: taken
    } cases[] = {
            {"text one wider than its field", "HerdCode", "ABCDEFGHIJKL",
             "it is wider than the field's 8 characters"},
            {"text as wide as its field", "HerdCode", "ABCDEFGH", nullptr},
            {"blanks around a text that fits", "HerdCode", "  ABCDEFGH  ", nullptr},
            {"a scaled number with too many digits", "Milk", "1234.5",
             "written as \"12345\" it is wider than the field's 4 characters"},
            {"a scaled number that fits", "Milk", "999.9", nullptr},
            {"a whole number with too many digits", "CellCount", "123456",
             "it is wider than the field's 5 characters"},
            {"a negative number one too wide", "LactationNumber", "-10",
             "it is wider than the field's 2 characters"},
            {"a character the code page lacks", "NationalID", "\xC5\x8Ctaki",
             "the files are written in the Windows-1252 code page, which has no \"\xC5\x8C\""},
            {"a character the code page has", "NationalID", "\xC3\x89MILE", nullptr},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        home.dm().exec(u"DELETE FROM \"104\""_s);
        fill104(home.dm(), 1);
        GridModel model(home.dm());
        QSignalSpy refused(&model, &GridModel::editRefused);
        model.setQuery(query104());
        const QString column = QString::fromLatin1(c.column);
        const QString typed = QString::fromUtf8(c.typed);
        const bool accepted = model.setData(model.index(0, model.columnIndex(column)), typed);
        EXPECT_EQ(accepted, c.why == nullptr);
        if (!c.why) {
            EXPECT_TRUE(refused.isEmpty());
            model.revertRow();
            continue;
        }
        ASSERT_EQ(refused.size(), 1);
        EXPECT_EQ(model.pendingRow(), -1);
        const QString message = refused.value(0).value(0).toString();
        EXPECT_EQ(message, u"The field %1 cannot hold \"%2\": %3"_s.arg(column, typed,
                                                                        QString::fromUtf8(c.why)));

        // The save meets the same value in the row with the same words.
        Stmt put = home.dm().prepare(u"UPDATE \"104\" SET \"%1\" = ?1"_s.arg(column));
        put->bindText(1, typed);
        ASSERT_EQ(put->step(), db::Step::Done);
        test::RecordingProgress progress;
        try {
            TableExport(home.dm(), progress)
                    .ExportDIF(u"SELECT * FROM \"104\""_s, home.path() + u"out.104"_s,
                               u"DIF104V2.ini"_s, true);
            ADD_FAILURE() << "saved";
        } catch (const Error &e) {
            EXPECT_EQ(e.message(), u"Cannot save table 104, row 1. "_s + message);
        }
    }
}

TEST(GridModel, editOfOneOfTwoIdenticalRowsChangesThatRowOnly)
{
    test::TestHome home;
    home.dm().exec(u"INSERT INTO \"104\" (HerdCode, Milk) VALUES ('SAME', 1), ('SAME', 1)"_s);
    GridModel model(home.dm());
    model.setQuery(query104());
    ASSERT_TRUE(model.setData(model.index(1, model.columnIndex(u"Milk"_s)), u"2"_s));
    model.submitRow();
    EXPECT_EQ(home.rows(u"SELECT Milk FROM \"104\" ORDER BY rowid"_s),
              (QStringList{u"1.0"_s, u"2.0"_s}));
}

TEST(GridModel, insertWritesANewRowAndDeleteRemovesOne)
{
    test::TestHome home;
    fill104(home.dm(), 3);
    GridModel model(home.dm());
    model.setQuery(query104());
    const int herd = model.columnIndex(u"HerdCode"_s);

    // A new row that is never edited is dropped when left.
    model.insertRowAt(1);
    EXPECT_EQ(model.rowCount(), 4);
    model.submitRow();
    EXPECT_EQ(model.rowCount(), 3);

    model.insertRowAt(1);
    ASSERT_TRUE(model.setData(model.index(1, herd), u"NEW"_s));
    EXPECT_EQ(home.dm().rowCount(u"104"_s), 3);
    model.submitRow();
    EXPECT_EQ(home.rows(u"SELECT HerdCode, Milk FROM \"104\" WHERE HerdCode = 'NEW'"_s),
              QStringList{u"NEW|<null>"_s});
    EXPECT_EQ(cell(model, 1, u"HerdCode"_s), u"NEW"_s) << "the new row stays where it was added";
    EXPECT_EQ(cell(model, 2, u"HerdCode"_s), u"H1"_s);

    // An untouched new row above is dropped when another row is edited; the edit still goes to
    // the row it was typed in.
    model.insertRowAt(0);
    ASSERT_TRUE(model.setData(model.index(3, herd), u"H1B"_s));
    model.submitRow();
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM \"104\" WHERE rowid = 2"_s), QStringList{u"H1B"_s});
    model.setData(model.index(2, herd), u"H1"_s);
    model.submitRow();

    model.deleteRow(2);
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM \"104\" ORDER BY rowid"_s),
              (QStringList{u"H0"_s, u"H2"_s, u"NEW"_s}));
    EXPECT_EQ(model.rowCount(), 3);
    EXPECT_EQ(cell(model, 2, u"HerdCode"_s), u"H2"_s);
}

TEST(GridModel, editedRowKeepsItsPlaceInASortedGrid)
{
    test::TestHome home;
    fill104(home.dm(), 400);
    GridModel model(home.dm());
    model.setQuery(query104({}, u"CellCount"_s));
    // Row 3 gets the highest count; it stays row 3 and the rows past the first page keep
    // their places too.
    ASSERT_TRUE(model.setData(model.index(3, model.columnIndex(u"CellCount"_s)), u"9999"_s));
    model.submitRow();
    EXPECT_EQ(cell(model, 3, u"HerdCode"_s), u"H3"_s);
    EXPECT_EQ(cell(model, 3, u"CellCount"_s), u"9999"_s);
    EXPECT_EQ(cell(model, 399, u"HerdCode"_s), u"H399"_s);
    EXPECT_EQ(model.rowCount(), 400);
}

TEST(GridModel, countsReopenTheGridWithTheTablesRows)
{
    test::TestHome home;
    fill104(home.dm(), 5);
    GridModel model(home.dm());
    model.setQuery(query104(u"WHERE \"CellCount\" < 3 "_s));
    model.setDecimals(model.columnIndex(u"Milk"_s), 1);
    EXPECT_EQ(model.rowCount(), 3);
    home.dm().exec(u"DELETE FROM \"104\" WHERE CellCount = 0"_s);
    EXPECT_EQ(model.rowCount(), 3) << "not re-read yet";
    QSignalSpy failed(&model, &GridModel::reopenFailed);
    EXPECT_EQ(home.dm().GetRecordCount(u"SELECT * FROM \"104\""_s), 4);
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(cell(model, 0, u"HerdCode"_s), u"H1"_s);
    EXPECT_EQ(cell(model, 0, u"Milk"_s), u"7.3"_s) << "the display decimals stay";
    EXPECT_TRUE(failed.isEmpty());
}

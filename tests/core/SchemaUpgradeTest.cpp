#include "FilterQuery.h"
#include "Schema.h"
#include "SqliteConnection.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QFile>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

const QString kRows = u"SELECT rowid, HerdCode, typeof(HerdCode), Milk, CellCount, TestDate FROM "
                      "[104] ORDER BY rowid"_s;

void fillMixedCase(Tdm &dm)
{
    dm.exec(uR"(INSERT INTO [104] (HerdCode, Milk, CellCount, TestDate) VALUES
                ('b', 1.5, 10, '2020-01-31'), ('AbC', NULL, 20, NULL), ('a', 2.25, NULL, NULL),
                ('O''Brien "x"', 0.1, 30, '1999-12-31'), ('abc', NULL, NULL, NULL),
                ('B', 3, 4, '2021-02-03'), (NULL, NULL, NULL, NULL))"_s);
}

} // namespace

TEST(Collation, textFiltersAndSortsWithoutRegardToCase)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    fillMixedCase(dm);
    // The filter bar's inputs give capitals: they find the value in any case.
    FilterState s;
    s.table = u"104"_s;
    s.field = u"HerdCode"_s;
    s.op = opEqual;
    s.startText = u"ABC"_s;
    s.endTextEnabled = false;
    const auto type = [&](const QString &f) {
        return GetFieldType(dm, u"104"_s, f);
    };
    EXPECT_EQ(home.rows(buildFilterQuery(s, type, dm.connection().caseless())
                                .sql()
                                .replace(u"*"_s, u"HerdCode"_s)),
              (QStringList{u"AbC"_s, u"abc"_s}));
    s.op = opBetween;
    s.endTextEnabled = true;
    s.startText = u"A"_s;
    s.endText = u"B"_s;
    EXPECT_EQ(home.rows(buildFilterQuery(s, type, dm.connection().caseless())
                                .sql()
                                .replace(u"*"_s, u"HerdCode"_s)),
              (QStringList{u"b"_s, u"AbC"_s, u"a"_s, u"abc"_s, u"B"_s}));
    // A sort by a text column: letter case does not order, ties stay in row order.
    FilterQuery sorted;
    sorted.table = u"104"_s;
    sorted.sortColumn = u"HerdCode"_s;
    EXPECT_EQ(
            home.rows(sorted.sql().replace(u"*"_s, u"ifnull(HerdCode, '-')"_s) + u", rowid"_s),
            (QStringList{u"-"_s, u"a"_s, u"AbC"_s, u"abc"_s, u"b"_s, u"B"_s, u"O'Brien \"x\""_s}));
}

TEST(Collation, aDatabaseOfAnEarlierBuildIsBroughtUpToDateKeepingEveryRow)
{
    test::TestHome home;
    // The schema as earlier builds made it (text columns compare with regard to case), with
    // rows of every kind, a gap in the rowids and an index.
    const QString path = home.path() + u"Tembra.db"_s;
    QFile::remove(path);
    db::SqliteConnection::createFile(path);
    const QByteArray script
            = schemaStatements(home.path(), db::SqliteConnection(path))
                      .join(u";\n"_s)
                      .replace(u" COLLATE NOCASE"_s, QString())
                      .toUtf8()
              + ";INSERT INTO \"104\" (HerdCode, Milk, CellCount, TestDate) VALUES ('gone', 1, 1, "
                "NULL);"
                "INSERT INTO \"104\" (HerdCode, Milk, CellCount, TestDate) VALUES ('b', 1.5, 10, "
                "'2020-01-31'), ('AbC', NULL, 20, NULL), ('a', 2.25, NULL, NULL), "
                "('O''Brien \"x\"', 0.1, 30, '1999-12-31'), ('abc', NULL, NULL, NULL), "
                "('B', 3, 4, '2021-02-03'), (NULL, NULL, NULL, NULL), (42, NULL, NULL, NULL);"
                "DELETE FROM \"104\" WHERE HerdCode = 'gone';"
                "CREATE INDEX herd_of_104 ON \"104\" (HerdCode, CowID);"
                "INSERT INTO \"102\" (HerdCode, CowID) VALUES ('h1', 'c1');";
    sqlite3 *raw = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &raw), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(raw, script.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
    // What it holds, read before any upgrade.
    QStringList before;
    sqlite3_stmt *stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(raw, kRows.toUtf8().constData(), -1, &stmt, nullptr), SQLITE_OK);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QStringList cells;
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
            const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
            cells << (text ? QString::fromUtf8(text) : u"<null>"_s);
        }
        before << cells.join(u'|');
    }
    sqlite3_finalize(stmt);
    sqlite3_close(raw);
    ASSERT_EQ(before.size(), 8);
    ASSERT_EQ(before.first().section(u'|', 0, 0), u"2"_s) << "the rowid gap is part of the test";

    Tdm dm(home.path());
    test::RecordingProgress progress;
    dm.ConnectDB(&progress);
    EXPECT_EQ(progress.statuses, QStringList{u"Updating Database"_s});
    EXPECT_EQ(progress.shows, 1);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.position(), progress.maximum());

    // Same rows, rowids, values and storage types; same columns and types; the index is back.
    EXPECT_EQ(home.rows(kRows), before);
    QStringList names;
    for (const SchemaColumn &c : tableColumns(home.path(), u"104"_s))
        names << c.name;
    EXPECT_EQ(dm.columns(u"104"_s), names);
    EXPECT_EQ(dm.columnTypes(u"104"_s).at(2), u"TEXT"_s);
    EXPECT_EQ(dm.columnTypes(u"104"_s).at(5), u"DATE"_s);
    EXPECT_EQ(home.rows(u"SELECT sql FROM sqlite_master WHERE name = 'herd_of_104'"_s),
              QStringList{u"CREATE INDEX herd_of_104 ON \"104\" (HerdCode, CowID)"_s});
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM [104] WHERE HerdCode = 'ABC'"_s),
              QStringList{u"2"_s});
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM [102] WHERE HerdCode = 'H1' AND CowID = 'C1'"_s),
              QStringList{u"1"_s});
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM sqlite_master WHERE name LIKE '%upgrade%'"_s),
              QStringList{u"0"_s});
    EXPECT_EQ(home.rows(u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});

    // Up to date now: the next connection changes nothing and shows nothing.
    dm.close();
    test::RecordingProgress again;
    dm.ConnectDB(&again);
    EXPECT_EQ(again.shows, 0);
    EXPECT_TRUE(again.statuses.isEmpty());
}

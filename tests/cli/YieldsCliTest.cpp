#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <array>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

// A program folder with a generated data set loaded: herds, cows, lactations and test days.
struct GeneratedHome
{
    QTemporaryDir dir;
    QString home = dir.path() + u"/home"_s;

    explicit GeneratedHome(int lines)
    {
        EXPECT_EQ(cli({u"--home"_s, home, u"init"_s}).exitCode, 0);
        const auto gen
                = bm::test::runProgram(QStringLiteral(BM_GEN_PATH),
                                       {u"--home"_s, home, u"--out-stem"_s, dir.path() + u"/herd"_s,
                                        u"--lines"_s, QString::number(lines)});
        EXPECT_EQ(gen.exitCode, 0) << gen.err.toStdString();
        const auto load
                = cli({u"--home"_s, home, u"--quiet"_s, u"load"_s, dir.path() + u"/herd.103"_s});
        EXPECT_EQ(load.exitCode, 0) << load.err.toStdString();
    }
};

QList<QStringList> csvRows(const QString &text)
{
    QList<QStringList> rows;
    for (const QString &line : text.split(u"\r\n"_s, Qt::SkipEmptyParts)) {
        QStringList cells = line.split(u',');
        for (QString &cell : cells)
            if (cell.startsWith(u'"'))
                cell = cell.mid(1, cell.size() - 2);
        rows << cells;
    }
    return rows;
}

} // namespace

// The yields command against a second computation of the same sums: the bench's window-function
// query in SQL, run by the database itself.
TEST(CliYields, agreesWithAWindowQueryOnGeneratedData)
{
    GeneratedHome g(20000);
    const auto r = cli({u"--home"_s, g.home, u"yields"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QList<QStringList> rows = csvRows(r.out);
    ASSERT_GT(rows.size(), 100);
    EXPECT_EQ(rows.first().join(u','),
              u"HerdCode,CowID,NationalID,CalvingDate,Tests,Milk305,ComputedMilk305,"
              "MilkDiffPercent,Fat305Kg,ComputedFat305Kg,FatDiffPercent,Protein305Kg,"
              "ComputedProtein305Kg,ProteinDiffPercent,Status"_s);

    bm::Tdm dm(g.home);
    dm.ConnectDB();
    QFile sql(QStringLiteral(BM_SOURCE_DIR "/bench/yields/reference.sql"));
    ASSERT_TRUE(sql.open(QIODevice::ReadOnly));
    bm::Stmt stmt = dm.prepare(QString::fromUtf8(sql.readAll()));
    QHash<qint64, std::array<double, 3>> reference;
    while (stmt->next())
        reference.insert(stmt->integer(0), {stmt->real(1), stmt->real(2), stmt->real(3)});
    QList<qint64> rowids;
    bm::Stmt ids = dm.prepare(u"SELECT rowid FROM \"103\" ORDER BY rowid"_s);
    while (ids->next())
        rowids << ids->integer(0);
    ASSERT_EQ(rowids.size(), rows.size() - 1); // one row per lactation, in table order

    int compared = 0;
    int inProgress = 0;
    for (qsizetype i = 1; i < rows.size(); ++i) {
        const QStringList &row = rows.at(i);
        ASSERT_EQ(row.size(), 15) << row.join(u',').toStdString();
        const QString status = row.at(14);
        if (status != u"ok"_s && status != u"flagged"_s && status != u"in progress"_s)
            continue;
        inProgress += status == u"in progress"_s ? 1 : 0;
        const auto found = reference.constFind(rowids.at(i - 1));
        ASSERT_NE(found, reference.constEnd()) << row.join(u',').toStdString();
        const int columns[3] = {6, 9, 12};
        for (int k = 0; k < 3; ++k) {
            if (row.at(columns[k]).isEmpty())
                continue;
            EXPECT_NEAR(row.at(columns[k]).toDouble(), (*found)[size_t(k)], 0.051)
                    << row.join(u',').toStdString();
        }
        ++compared;
    }
    EXPECT_GT(compared, 100);
    EXPECT_GT(inProgress, 0);
}

TEST(CliYields, writesTheFlaggedRowsToAFileAndRefusesBadUsage)
{
    GeneratedHome g(3000);
    const auto all = cli({u"--home"_s, g.home, u"yields"_s, u"--tolerance"_s, u"2.5"_s});
    ASSERT_EQ(all.exitCode, 0) << all.err.toStdString();
    QStringList flagged;
    for (const QStringList &row : csvRows(all.out))
        if (row.last() == u"flagged"_s)
            flagged << row.join(u',');
    ASSERT_FALSE(flagged.isEmpty());

    const QString out = g.dir.path() + u"/check.csv"_s;
    const auto r = cli(
            {u"--home"_s, g.home, u"yields"_s, u"--flagged"_s, u"--tolerance"_s, u"2.5"_s, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, out + u'\n');
    QStringList written;
    const QList<QStringList> rows = csvRows(QString::fromLatin1(bm::test::readFile(out)));
    for (qsizetype i = 1; i < rows.size(); ++i)
        written << rows.at(i).join(u',');
    EXPECT_EQ(written, flagged);

    for (const QStringList &bad : {QStringList{u"yields"_s, u"--tolerance"_s, u"ten"_s},
                                   QStringList{u"yields"_s, u"--tolerance"_s, u"-1"_s},
                                   QStringList{u"yields"_s, u"a.csv"_s, u"b.csv"_s},
                                   QStringList{u"stats"_s, u"--flagged"_s}}) {
        const auto refused = cli(QStringList{u"--home"_s, g.home} + bad);
        EXPECT_EQ(refused.exitCode, 2) << bad.join(u' ').toStdString();
    }
    EXPECT_EQ(cli({u"--home"_s, g.home, u"yields"_s, g.dir.path()}).exitCode, 1);
}

TEST(CliSaveAde, writesValidCollectionsOfGeneratedData)
{
    GeneratedHome g(3000);
    const QString out = g.dir.path() + u"/ade.json"_s;
    auto r = cli({u"--home"_s, g.home, u"save"_s, u"--ade"_s, u"--milk-density"_s, u"1.02"_s, out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString stem = g.dir.path() + u"/ade_"_s;
    EXPECT_EQ(r.out, stem + u"animals.json\n"_s + stem + u"lactations.json\n"_s + stem
                             + u"testdays.json\n"_s);
    const auto valid = bm::test::validateAde(
            {u"icarAnimalCoreCollection"_s, stem + u"animals.json"_s, u"icarLactationCollection"_s,
             stem + u"lactations.json"_s, u"icarTestDayResultEventCollection"_s,
             stem + u"testdays.json"_s});
    EXPECT_EQ(valid.exitCode, 0) << valid.out.toStdString() << valid.err.toStdString();

    // One collection; the scheme given.
    r = cli({u"--home"_s, g.home, u"save"_s, u"--ade"_s, u"--types"_s, u"104"_s, u"--id-scheme"_s,
             u"au.example"_s, g.dir.path() + u"/one.json"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, g.dir.path() + u"/one_testdays.json\n"_s);
    EXPECT_TRUE(bm::test::readFile(g.dir.path() + u"/one_testdays.json"_s)
                        .contains("\"scheme\":\"au.example\""));

    for (const QStringList &bad :
         {QStringList{u"--types"_s, u"101"_s}, QStringList{u"--milk-density"_s, u"0"_s},
          QStringList{u"--milk-density"_s, u"heavy"_s}, QStringList{u"--dif"_s},
          QStringList{u"--zip"_s, u"--id-scheme"_s, u"a\tb"_s}}) {
        const auto refused = cli(QStringList{u"--home"_s, g.home, u"save"_s, u"--ade"_s} + bad
                                 + QStringList{out});
        EXPECT_EQ(refused.exitCode, 2) << bad.join(u' ').toStdString();
    }
    EXPECT_EQ(cli({u"--home"_s, g.home, u"save"_s, u"--csv"_s, u"--milk-density"_s, u"1"_s, out})
                      .exitCode,
              2);
}

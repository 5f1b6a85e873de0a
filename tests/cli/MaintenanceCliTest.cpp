#include "TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QString &home, const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, home} + args);
}

QStringList lines(const QString &text)
{
    return text.split(u'\n', Qt::SkipEmptyParts);
}

// A program home loaded with a generated data set with planted faults, and the counts planted.
struct Planted
{
    QTemporaryDir dir;
    QString home = dir.path() + u"/home/"_s;
    std::map<QString, int> count;

    Planted()
    {
        EXPECT_EQ(cli(home, {u"--quiet"_s, u"init"_s}).exitCode, 0);
        const bm::test::ProcessResult gen = bm::test::runProgram(
                QStringLiteral(BM_GEN_PATH),
                {u"--home"_s, bm::test::sourceDataDir(), u"--out-stem"_s, dir.path() + u"/bad"_s,
                 u"--lines"_s, u"20000"_s, u"--faults"_s, u"4"_s});
        EXPECT_EQ(gen.exitCode, 0) << gen.err.toStdString();
        for (const QString &line : lines(gen.out)) {
            const QStringList words = line.split(u' ');
            if (words.size() == 3)
                count[words.at(1)] = words.at(2).toInt();
        }
        EXPECT_EQ(cli(home, {u"--quiet"_s, u"load"_s, dir.path() + u"/bad.104"_s}).exitCode, 0);
    }
    QString stats() { return cli(home, {u"stats"_s}).out; }
};

} // namespace

TEST(CliClean, removesExactlyThePlantedOrphans)
{
    Planted p;
    const QString before = p.stats();
    const auto orphans = [&](const char *code) {
        return p.count[QString::fromLatin1(code) + u"-of-cows-not-in-102"_s];
    };
    const QStringList prompts{u"%1 Unmatched records found in 103 file."_s.arg(orphans("103")),
                              u"%1 Unmatched records found in 104 file."_s.arg(orphans("104")),
                              u"%1 Unmatched records found in 106 file."_s.arg(orphans("106")),
                              u"%1 Unmatched records found in 108 file."_s.arg(orphans("108")),
                              u"%1 Unmatched records found in 112 file."_s.arg(orphans("112")),
                              u"%1 Unmatched records found in 211 file."_s.arg(orphans("211")),
                              u"Finished Cleanup."_s};
    ASSERT_GT(orphans("104"), 0);

    // Without --yes: what it would do, answered No.
    bm::test::ProcessResult r = cli(p.home, {u"clean"_s, u"102"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r.err), prompts
                                    + QStringList{u"Nothing was changed: without --yes every "
                                                  "question is answered No."_s});
    EXPECT_EQ(r.out, QString());
    EXPECT_EQ(p.stats(), before);
    r = cli(p.home, {u"--no"_s, u"clean"_s, u"102"_s});
    EXPECT_EQ(lines(r.err), prompts);
    EXPECT_EQ(p.stats(), before);

    r = cli(p.home, {u"--yes"_s, u"clean"_s, u"102"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r.err), prompts);
    QStringList removed;
    for (const char *code : {"103", "104", "106", "108", "112", "211"})
        if (orphans(code) > 0)
            removed << u"%1 %2 removed"_s.arg(QString::fromLatin1(code)).arg(orphans(code));
    EXPECT_EQ(lines(r.out), removed);

    // The test days planted without a lactation are the last step's count.
    r = cli(p.home, {u"--yes"_s, u"clean"_s, u"103"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList asked = lines(r.err);
    ASSERT_EQ(asked.size(), 8);
    EXPECT_EQ(asked.at(0),
              u"%1 Unmatched records found in 102 file."_s.arg(p.count[u"102-without-103"_s]));
    EXPECT_EQ(asked.at(6), u"%1 Records found in 104 file with no corresponding 103 record."_s.arg(
                                   p.count[u"104-without-103"_s]));
    r = cli(p.home, {u"--yes"_s, u"clean"_s, u"103"_s});
    EXPECT_EQ(r.out, QString()) << "a second clean-up finds nothing";

    EXPECT_EQ(cli(p.home, {u"clean"_s}).exitCode, 2);
    EXPECT_EQ(cli(p.home, {u"clean"_s, u"104"_s}).exitCode, 2);
}

TEST(CliTrim, keepsOrRemovesTheRowsTheFilterLists)
{
    bm::test::TestHome home;
    home.dm().exec(uR"(INSERT INTO "104" (HerdCode, Milk, TestDate) VALUES
                       ('h1', 10, '2020-01-01'), ('H1', 20, '2020-06-01'), ('H2', 30, NULL),
                       ('h2''s', 40, '2021-01-01'))"_s);
    const QString h = home.path();
    const auto count = [&] {
        return home.rows(u"SELECT count(*) FROM [104]"_s).first();
    };

    bm::test::ProcessResult r
            = cli(h, {u"trim"_s, u"keep"_s, u"104"_s, u"HerdCode"_s, u"eq"_s, u"H1"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r.err).first(), u"This will remove 2 records from the 104 file that have been "
                                    "excluded by the current filter."_s);
    EXPECT_EQ(count(), u"4"_s);

    r = cli(h, {u"--yes"_s, u"trim"_s, u"remove"_s, u"104"_s, u"HerdCode"_s, u"eq"_s, u"h2's"_s});
    EXPECT_EQ(lines(r.err), (QStringList{u"This will remove the 1 records displayed from the 104 "
                                         "file."_s,
                                         u"Finished."_s}));
    EXPECT_EQ(lines(r.out), QStringList{u"104 1 removed"_s});
    r = cli(h, {u"--yes"_s, u"trim"_s, u"keep"_s, u"104"_s, u"TestDate"_s, u"between"_s,
                u"2020-01-01"_s, u"2020-12-31"_s});
    EXPECT_EQ(lines(r.out), QStringList{u"104 1 removed"_s}) << r.err.toStdString();
    EXPECT_EQ(home.rows(u"SELECT Milk FROM [104] ORDER BY rowid"_s),
              (QStringList{u"10.0"_s, u"20.0"_s}));

    // Bad usage (exit 2) and what the filter bar refuses (exit 1) change nothing.
    for (const QStringList &args :
         {QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s},
          QStringList{u"trim"_s, u"cut"_s, u"104"_s, u"Milk"_s, u"empty"_s},
          QStringList{u"trim"_s, u"keep"_s, u"999"_s, u"Milk"_s, u"empty"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s, u"like"_s, u"1"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s, u"between"_s, u"1"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s, u"empty"_s, u"1"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"TestDate"_s, u"eq"_s, u"1/2/2020"_s}})
        EXPECT_EQ(cli(h, QStringList{u"--yes"_s} + args).exitCode, 2)
                << args.join(u' ').toStdString();
    for (const QStringList &args :
         {QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Nope"_s, u"empty"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"Milk"_s, u"gt"_s, u"ten"_s},
          QStringList{u"trim"_s, u"keep"_s, u"104"_s, u"TestDate"_s, u"contains"_s, u"2"_s}}) {
        r = cli(h, QStringList{u"--yes"_s} + args);
        EXPECT_EQ(r.exitCode, 1) << args.join(u' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    EXPECT_TRUE(r.err.contains(u"Cannot use the Contains Operator on a Date field."_s));
    EXPECT_EQ(count(), u"2"_s);
}

TEST(CliHerdcodeAndMerge, sayWhatTheyWouldDoUnlessToldYes)
{
    bm::test::TestHome home;
    home.dm().exec(uR"(INSERT INTO "102" (HerdCode, CowID, NationalID) VALUES ('H1', 'C1', 'OLD');
                       INSERT INTO "104" (HerdCode, CowID, NationalID) VALUES ('H1', 'C1', 'OLD'),
                       ('H1', 'C2', 'KEEP'))"_s);
    const QString h = home.path();
    const auto rows = [&] {
        return home.rows(u"SELECT HerdCode || '/' || CowID || '/' || NationalID FROM [104]"_s);
    };

    bm::test::ProcessResult r = cli(h, {u"herdcode"_s, u"'NEW'"_s});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(lines(r.err).first(),
              u"This will set the herd code to NEW in 3 records of 2 files."_s);
    EXPECT_EQ(rows(), (QStringList{u"H1/C1/OLD"_s, u"H1/C2/KEEP"_s}));
    r = cli(h, {u"--yes"_s, u"herdcode"_s, u"'NEW'"_s});
    EXPECT_EQ(lines(r.out), (QStringList{u"102 1 changed"_s, u"104 2 changed"_s}));
    EXPECT_EQ(rows(), (QStringList{u"NEW/C1/OLD"_s, u"NEW/C2/KEEP"_s}));
    r = cli(h, {u"--yes"_s, u"herdcode"_s, u"TOOLONG1"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.err), QStringList{u"Herdcode must be less than 7 characters."_s});
    EXPECT_EQ(cli(h, {u"herdcode"_s}).exitCode, 2);

    const QByteArray line = "1021" + QByteArray("new").leftJustified(8, ' ')
                            + QByteArray("c1").leftJustified(8, ' ')
                            + QByteArray("NZL1").leftJustified(19, ' ') + "\r\n";
    home.write(u"other.102"_s, line);
    r = cli(h, {u"merge"_s, h + u"other.txt"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(lines(r.err).first(), u"This will give 2 records of 2 files the national IDs of "
                                    "%1."_s.arg(h + u"other.102"_s));
    EXPECT_EQ(rows(), (QStringList{u"NEW/C1/OLD"_s, u"NEW/C2/KEEP"_s}));
    r = cli(h, {u"--yes"_s, u"merge"_s, h + u"other.txt"_s});
    EXPECT_EQ(lines(r.err).last(), u"Finished Merge."_s);
    EXPECT_EQ(lines(r.out), (QStringList{u"102 1 changed"_s, u"104 1 changed"_s}));
    EXPECT_EQ(rows(), (QStringList{u"NEW/C1/NZL1"_s, u"NEW/C2/KEEP"_s}));
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM MergeCow"_s), QStringList{u"0"_s});

    r = cli(h, {u"--yes"_s, u"merge"_s, h + u"missing.102"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(lines(r.err), QStringList{u"DIF 102 does not exist."_s});
}

TEST(CliList, printsTheRowsTheGridWouldShowAsCsv)
{
    bm::test::TestHome home;
    home.dm().exec(uR"(INSERT INTO "104" (HerdCode, CellCount) VALUES ('b', 2), ('A', 1),
                       ('a', 3), ('B', 4), (NULL, 5), ('x,"y"', 6))"_s);
    const QString h = home.path();
    const auto listed = [&](const QStringList &args) {
        const bm::test::ProcessResult r = cli(h, QStringList{u"list"_s, u"104"_s} + args);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        QStringList cells; // HerdCode:CellCount of each row
        const QStringList rows = r.out.split(u"\r\n"_s);
        EXPECT_TRUE(rows.first().startsWith(u"RecordType,VersionNo,HerdCode,CowID,"_s));
        EXPECT_EQ(rows.last(), QString()) << "every line ends in CR LF";
        for (const QString &row : rows.mid(1, rows.size() - 2)) {
            const QString herd = row.section(u',', 2, 2);
            cells << herd + u':'
                             + row.section(u',', 14 + (herd.startsWith(u"\"x"_s) ? 1 : 0),
                                           14 + (herd.startsWith(u"\"x"_s) ? 1 : 0));
        }
        return cells;
    };
    // Sorted without regard to case, ties in row order, Null first; text quoted as in CSV files.
    EXPECT_EQ(listed({u"--sort"_s, u"HerdCode"_s}),
              (QStringList{u":5"_s, u"\"A\":1"_s, u"\"a\":3"_s, u"\"b\":2"_s, u"\"B\":4"_s,
                           u"\"x:6"_s}));
    EXPECT_EQ(listed({u"HerdCode"_s, u"eq"_s, u"a"_s, u"--sort"_s, u"CellCount"_s, u"--desc"_s}),
              (QStringList{u"\"a\":3"_s, u"\"A\":1"_s}));
    EXPECT_EQ(listed({u"CellCount"_s, u"gt"_s, u"4"_s}), (QStringList{u":5"_s, u"\"x:6"_s}));
    EXPECT_EQ(listed({u"HerdCode"_s, u"empty"_s}), QStringList{u":5"_s});

    EXPECT_EQ(cli(h, {u"list"_s}).exitCode, 2);
    EXPECT_EQ(cli(h, {u"list"_s, u"104"_s, u"--desc"_s}).exitCode, 2);
    EXPECT_EQ(cli(h, {u"list"_s, u"104"_s, u"--sort"_s, u"Nope"_s}).exitCode, 1);
    EXPECT_EQ(cli(h, {u"stats"_s, u"--sort"_s, u"CellCount"_s}).exitCode, 2);
}

TEST(CliUndo, putsBackTheStateBeforeTheLastCommandAndRedoes)
{
    Planted p;
    const QString loaded = p.stats();
    ASSERT_EQ(cli(p.home, {u"--yes"_s, u"--quiet"_s, u"clean"_s, u"102"_s}).exitCode, 0);
    const QString cleaned = p.stats();
    ASSERT_NE(cleaned, loaded);

    // Without --yes it asks, answers No and changes nothing.
    bm::test::ProcessResult r = cli(p.home, {u"undo"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.startsWith(u"This will put the herd data back as it was before \"Remove "
                                 "Data For Cows Not In 102\" ("_s))
            << r.err.toStdString();
    EXPECT_EQ(p.stats(), cleaned);

    r = cli(p.home, {u"--yes"_s, u"undo"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"Undone: Remove Data For Cows Not In 102\n"_s);
    EXPECT_EQ(p.stats(), loaded);
    r = cli(p.home, {u"--yes"_s, u"undo"_s});
    EXPECT_EQ(r.out, u"Redone: Remove Data For Cows Not In 102\n"_s);
    EXPECT_EQ(p.stats(), cleaned);

    // A fresh folder has nothing to undo.
    QTemporaryDir fresh;
    const QString home = fresh.path() + u"/h/"_s;
    ASSERT_EQ(cli(home, {u"--quiet"_s, u"init"_s}).exitCode, 0);
    r = cli(home, {u"--yes"_s, u"undo"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, u"brindlemark-cli: There is nothing to undo.\n"_s);
}

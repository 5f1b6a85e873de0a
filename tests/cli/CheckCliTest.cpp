#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

// The rows each check listed, by title.
std::map<QString, QList<QStringList>> findingsByTitle(const QString &out, const QStringList &titles)
{
    std::map<QString, QList<QStringList>> found;
    QString title;
    const QStringList lines = out.split(u'\n', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (titles.contains(lines.at(i))) {
            title = lines.at(i);
            found[title]; // listed, even if a row were missing
            ++i;          // the header
        } else {
            found[title] << lines.at(i).split(u',');
        }
    }
    return found;
}

int sumOfLastColumn(const QList<QStringList> &rows)
{
    int sum = 0;
    for (const QStringList &row : rows)
        sum += row.last().toInt();
    return sum;
}

} // namespace

// The shipped script on a generated data set with planted faults: each check that looks for a
// planted kind lists exactly what was planted, and no other check lists anything.
TEST(CliCheck, shippedScriptFindsThePlantedFaultsOfAGeneratedDataSet)
{
    QTemporaryDir dir;
    const QString home = dir.path() + u"/home/"_s;
    ASSERT_EQ(cli({u"--home"_s, home, u"init"_s, u"--quiet"_s}).exitCode, 0);
    // init gives the home a copy of the program's own script.
    ASSERT_EQ(bm::test::readFile(home + u"FileCheck.SQL"_s),
              bm::test::readFile(bm::test::sourceDataDir() + u"FileCheck.SQL"_s));
    const bm::test::ProcessResult gen = bm::test::runProgram(
            QStringLiteral(BM_GEN_PATH),
            {u"--home"_s, bm::test::sourceDataDir(), u"--out-stem"_s, dir.path() + u"/bad"_s,
             u"--lines"_s, u"20000"_s, u"--faults"_s, u"4"_s});
    ASSERT_EQ(gen.exitCode, 0) << gen.err.toStdString();
    std::map<QString, int> planted;
    for (const QString &line : gen.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(u' ');
        if (words.size() == 3 && words.at(0) == u"faults"_s)
            planted[words.at(1)] = words.at(2).toInt();
    }
    ASSERT_EQ(planted[u"cows-not-in-102"_s], 4) << gen.out.toStdString();
    ASSERT_EQ(
            cli({u"--home"_s, home, u"--quiet"_s, u"load"_s, dir.path() + u"/bad.104"_s}).exitCode,
            0);

    const bm::test::ProcessResult r = cli({u"--home"_s, home, u"check"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.err, QString());
    const QString lactations = u"Cows with lactations but no pedigree record "_s;
    const QString testDays = u"Cows with test days but no pedigree record "_s;
    const QString noLactation = u"Test days that belong to no lactation "_s;
    const QString milk = u"Milk outside 0.5 to 80 kg "_s;
    const QString fat = u"Fat percent outside 1.5 to 9 "_s;
    const auto found
            = findingsByTitle(r.out, {lactations, testDays, noLactation, milk, fat,
                                      u"Protein percent above fat percent by more than 1 "_s});
    EXPECT_EQ(int(found.size()), 5) << r.out.toStdString();
    ASSERT_TRUE(found.count(lactations) && found.count(testDays) && found.count(noLactation)
                && found.count(milk) && found.count(fat))
            << r.out.toStdString();
    EXPECT_EQ(found.at(lactations).size(), planted[u"cows-not-in-102"_s]);
    EXPECT_EQ(sumOfLastColumn(found.at(lactations)), planted[u"103-of-cows-not-in-102"_s]);
    EXPECT_EQ(found.at(testDays).size(), planted[u"cows-not-in-102"_s]);
    EXPECT_EQ(sumOfLastColumn(found.at(testDays)), planted[u"104-of-cows-not-in-102"_s]);
    EXPECT_EQ(sumOfLastColumn(found.at(noLactation)), planted[u"104-without-103"_s]);
    int blankCalving = 0;
    for (const QStringList &row : found.at(noLactation))
        blankCalving += row.at(3).isEmpty() ? row.last().toInt() : 0;
    EXPECT_EQ(blankCalving, planted[u"104-without-103-blank-calving-date"_s]);
    EXPECT_EQ(found.at(milk).size(), planted[u"104-milk-above-99"_s]);
    for (const QStringList &row : found.at(milk))
        EXPECT_GT(row.last().toDouble(), 99) << row.join(u',').toStdString();
    EXPECT_EQ(found.at(fat).size(), planted[u"104-fat-percent-0"_s]);
    for (const QStringList &row : found.at(fat))
        EXPECT_EQ(row.last(), u"0"_s);
}

TEST(CliCheck, printsTheFindingsBeforeAStopAndExitsWithTheError)
{
    bm::test::TestHome home;
    const QStringList args{u"--home"_s, home.path(), u"check"_s};

    bm::test::ProcessResult r = cli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, QString());
    EXPECT_TRUE(r.err.contains(u"FileCheck.SQL"_s)) << r.err.toStdString();

    home.write(u"FileCheck.SQL"_s, "/ nothing to list\r\nDELETE FROM [101]\r\n");
    r = cli(args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"Fix on line 2: 0 rows changed\n"_s);
    EXPECT_EQ(r.err, QString());

    home.write(u"FileCheck.SQL"_s,
               "/! A !/ SELECT 'x,y' AS One, NULL AS Two\n/! B !/SELECT 2\n/! C !/ SELECT 3\n");
    r = cli(args);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, u"A \nOne,Two\nx,y,\n"_s);
    EXPECT_EQ(r.err,
              u"brindlemark-cli: Line 2 of FileCheck.SQL: near \"ELECT\": syntax error.\n"_s);

    EXPECT_EQ(cli({u"--home"_s, home.path(), u"check"_s, u"extra"_s}).exitCode, 2);
}

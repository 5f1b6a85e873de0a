#include "Layout.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <zip.h>

using namespace Qt::StringLiterals;

namespace {

bm::test::ProcessResult cli(const QStringList &args)
{
    return bm::test::runProgram(QStringLiteral(BM_CLI_PATH), args);
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QStringList everything(bm::test::TestHome &home)
{
    QStringList out;
    for (const QString &code : bm::recordTypeCodes())
        out << home.rows(u"SELECT * FROM [%1] ORDER BY rowid"_s.arg(code));
    return out;
}

} // namespace

TEST(CliLoad, loadsEachFormIntoTheSameTablesAndPrintsTheCounts)
{
    bm::test::TestHome home;
    QTemporaryDir dir;
    const QString d = dir.path() + u'/';
    const QByteArray l101 = "1012HERD0001\r\n";
    const QByteArray l104a = "1042HERD0001COW00001\r\n", l104b = "1042HERD0001COW00002\r\n";
    writeFile(d + u"herd.DIF"_s, l104b + l101 + l104a);
    writeFile(d + u"herd.101"_s, l101);
    writeFile(d + u"herd.104"_s, l104a + l104b);
    {
        int error = 0;
        zip_t *z = zip_open(QFile::encodeName(d + u"herd.zip"_s).constData(), ZIP_CREATE, &error);
        ASSERT_NE(z, nullptr);
        const QByteArray combined = l104b + l101 + l104a;
        zip_file_add(z, "set/herd.DIF",
                     zip_source_buffer(z, combined.constData(), zip_uint64_t(combined.size()), 0),
                     0);
        ASSERT_EQ(zip_close(z), 0);
    }

    QStringList first;
    for (const QString &file : {u"herd.DIF"_s, u"herd.104"_s, u"herd.zip"_s}) {
        const bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"load"_s, d + file});
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, u"101 1\n102 0\n103 0\n104 2\n105 0\n106 0\n107 0\n108 0\n112 0\n114 0\n"
                         "202 0\n211 0\n"_s)
                << file.toStdString();
        const QStringList now = everything(home);
        if (first.isEmpty())
            first = now;
        EXPECT_EQ(now, first) << file.toStdString();
    }
    EXPECT_EQ(first.size(), 3);
}

// The sample data set in its three forms gives the same tables: the combined file sorted by the
// split, the per-type files and the archive of them in file order, so rows are compared as sets.
TEST(CliLoad, theSampleDataSetInEveryForm)
{
    bm::test::TestHome home;
    const QString samples = QStringLiteral(BM_SOURCE_DIR "/samples/");
    QList<QStringList> loaded;
    for (const QString &file : {u"herd.DIF"_s, u"herd.103"_s, u"herd.zip"_s}) {
        const bm::test::ProcessResult r
                = cli({u"--home"_s, home.path(), u"load"_s, samples + file});
        ASSERT_EQ(r.exitCode, 0) << file.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << file.toStdString() << ": " << r.err.toStdString();
        EXPECT_TRUE(r.out.startsWith(u"101 2\n102 12\n103 21\n104 190\n"_s)) << r.out.toStdString();
        QStringList rows = everything(home);
        rows.sort();
        loaded << rows;
    }
    EXPECT_EQ(loaded.at(0).size(), 462);
    EXPECT_EQ(loaded.at(1), loaded.at(0));
    EXPECT_EQ(loaded.at(2), loaded.at(0));
}

TEST(CliLoad, errorsAndUsage)
{
    bm::test::TestHome home;
    QTemporaryDir dir;
    const QString d = dir.path() + u'/';
    writeFile(d + u"herd.101"_s, "1012HERD0001\r\n");
    ASSERT_EQ(cli({u"--home"_s, home.path(), u"load"_s, d + u"herd.101"_s}).exitCode, 0);

    writeFile(d + u"broken.zip"_s, "PK\x03\x04 broken");
    bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"load"_s, d + u"broken.zip"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Cannot open the archive"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM [101]"_s), QStringList{u"HERD0001"_s});

    // A wrong file empties nothing, and the message says so.
    writeFile(d + u"letter.DIF"_s, "Dear farmer,\r\n");
    r = cli({u"--home"_s, home.path(), u"load"_s, d + u"letter.DIF"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, u"brindlemark-cli: \"%1letter.DIF\" holds no records of any record type. The "
                     u"tables were left "
                     "as they were.\n"_s.arg(d));
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM [101]"_s), QStringList{u"HERD0001"_s});
    EXPECT_EQ(QDir(home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});

    // An archive of two data sets: the command line cannot ask which, so it refuses and names
    // them.
    bm::test::makeZip(d + u"two.zip"_s, {{u"2020/herd.101"_s, "1012OLDER\r\n"},
                                         {u"2021/herd.101"_s, "1012NEWER\r\n"}});
    r = cli({u"--home"_s, home.path(), u"load"_s, d + u"two.zip"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, u"brindlemark-cli: \"two.zip\" holds 2 data sets: 2020/herd (1 per-type "
                     "file); 2021/herd (1 per-type file). The command line cannot ask which one: "
                     "unpack it and give the file of one. The tables were left as they were.\n"_s);
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM [101]"_s), QStringList{u"HERD0001"_s});
    EXPECT_EQ(QDir(home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});

    EXPECT_EQ(cli({u"--home"_s, home.path(), u"load"_s}).exitCode, 2);
    EXPECT_EQ(cli({u"--home"_s, home.path(), u"load"_s, u"a"_s, u"b"_s}).exitCode, 2);
}

TEST(CliLoad, splitWritesThePerTypeFilesIntoTheScratchFolder)
{
    bm::test::TestHome home;
    QTemporaryDir dir;
    const QString file = dir.path() + u"/herd.DIF"_s;
    writeFile(file, "1042B\r\n1012A\r\nx\r\n1042a\r\n");
    const bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"split"_s, file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QString scratch = home.path() + u"Scratch/"_s;
    EXPECT_EQ(r.out, scratch + u"herd.101\n"_s + scratch + u"herd.104\n"_s);
    QFile f(scratch + u"herd.104"_s);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "1042a\r\n1042B\r\n");
    EXPECT_EQ(home.rows(u"SELECT * FROM [104]"_s), QStringList());
}

// import, load and merge write every line and field error to the file of --problems, the same
// list for each, also the errors no prompt was shown for.
TEST(CliProblems, importLoadAndMergeWriteTheProblemList)
{
    bm::test::TestHome home;
    const QString in = home.path() + u"in/"_s;
    QDir().mkpath(in);
    // Two test days: the second with a day count that is no number and an impossible date.
    const QByteArray good = "1042H1      C1      " + QByteArray(19, ' ') + "20210101";
    writeFile(in + u"set.104"_s,
              good + "\r\n\r\n" + good.left(39) + "20210230" + QByteArray(10, ' ') + "x1\r\n");
    // A cow whose birth date cannot be.
    writeFile(in + u"merge.102"_s, "1021H1      C1      " + QByteArray(19, ' ') + "20211301\r\n");
    const QString csv = home.path() + u"p.csv"_s;
    const QByteArray header
            = "\"File\",\"Line\",\"Record Type\",\"Field\",\"Text\",\"Message\"\r\n";
    const QByteArray testDays
            = header
              + "\"set.104\",3,\"104\",\"TestDate\",\"20210230\",\"Not a valid date: stored as "
                "empty\"\r\n"
                "\"set.104\",3,\"104\",\"DaysInMilk\",\"x1\",\"Not a number: the line was left "
                "out\"\r\n";

    for (const char *command : {"import", "load"}) {
        SCOPED_TRACE(command);
        QFile::remove(csv);
        const bm::test::ProcessResult r
                = cli({u"--home"_s, home.path(), u"--no"_s, QString::fromLatin1(command),
                       in + u"set.104"_s, u"--problems"_s, csv});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(bm::test::readFile(csv), testDays);
    }
    bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"--yes"_s, u"merge"_s,
                                     in + u"merge.102"_s, u"--problems"_s, csv});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(bm::test::readFile(csv),
              header
                      + "\"merge.102\",1,\"102\",\"BirthDate\",\"20211301\",\"Not a valid date: "
                        "stored as empty\"\r\n");

    r = cli({u"--home"_s, home.path(), u"stats"_s, u"--problems"_s, csv});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains(u"--problems belongs to the import, load and merge commands"_s));
}

// The problem list's file is checked before anything changes; should it still fail after the
// command committed, the command says that its rows are in, and exits 0, so a script does not
// import them a second time.
TEST(CliProblems, aProblemListThatCannotBeWrittenNeverHidesWhatWasDone)
{
    bm::test::TestHome home;
    const QString in = home.path() + u"in/"_s;
    QDir().mkpath(in);
    const QByteArray good = "1042H1      C1      ";
    writeFile(in + u"set.104"_s, good + "\r\n");
    bm::test::ProcessResult r = cli({u"--home"_s, home.path(), u"import"_s, in + u"set.104"_s,
                                     u"--problems"_s, home.path() + u"no/such/p.csv"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains(u"Cannot write the problem list"_s)) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"Nothing was changed"_s)) << r.err.toStdString();
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM [104]"_s), QStringList{u"0"_s});

    // A number field holding a letter Windows-1252 cannot hold: the line is left out, and its
    // problem cannot be written to the CSV file once the rows before it are in.
    writeFile(in + u"set.104"_s, good + "\r\n" + good.left(76).leftJustified(76, ' ') + "\r\n"
                                         + QByteArray("1042H2      C2      ").leftJustified(85, ' ')
                                         + "\xC5\x81" + "\r\n");
    const QString csv = home.path() + u"p.csv"_s;
    r = cli({u"--home"_s, home.path(), u"--no"_s, u"import"_s, in + u"set.104"_s, u"--problems"_s,
             csv});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"The rows were imported, but the problem list could not be "
                               "written"_s))
            << r.err.toStdString();
    EXPECT_EQ(home.rows(u"SELECT count(*) FROM [104]"_s), QStringList{u"2"_s});
    EXPECT_FALSE(QFile::exists(csv));
}

#include "Loader.h"
#include "ProgressSink.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// Runs the generator in the source tree's root folder, where the README's commands run.
test::ProcessResult generate(const QStringList &args)
{
    QProcess p;
    p.setWorkingDirectory(QStringLiteral(BM_SOURCE_DIR));
    p.start(QStringLiteral(BM_GEN_PATH), args);
    if (!p.waitForFinished(120000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The generator command of samples/README.md (its lines joined where they end in "\"), split
// into its words.
QStringList readmeCommand()
{
    const QByteArray readme = test::readFile(QStringLiteral(BM_SOURCE_DIR "/samples/README.md"));
    QString command;
    bool in = false;
    for (const QByteArray &raw : readme.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(u"build/brindlemark-gen "_s))
            in = true;
        if (!in)
            continue;
        command += line;
        if (!command.endsWith(u'\\'))
            break;
        command.chop(1);
    }
    return command.split(QRegularExpression(u"\\s+"_s), Qt::SkipEmptyParts);
}

// The counts the generator prints, by name: "faults 104-milk-above-99 2" gives
// {"104-milk-above-99": 2}.
QHash<QString, qint64> counts(const QString &out)
{
    QHash<QString, qint64> map;
    for (const QString &line : out.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList words = line.split(u' ');
        if (words.size() == 3)
            map.insert(words.at(1), words.at(2).toLongLong());
    }
    return map;
}

} // namespace

TEST(Generator, theReadmeCommandMakesTheSampleDataSetByteForByte)
{
    QStringList args = readmeCommand();
    ASSERT_GE(args.size(), 3) << "no generator command in samples/README.md";
    ASSERT_EQ(args.takeFirst(), u"build/brindlemark-gen"_s);
    // The same command, writing into a folder of its own instead of samples/.
    QTemporaryDir out;
    for (QString &arg : args)
        if (arg.startsWith(u"samples/"_s))
            arg = out.path() + arg.mid(7);
    const test::ProcessResult r = generate(args);
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();

    const QDir samples(QStringLiteral(BM_SOURCE_DIR "/samples"));
    const QStringList names = samples.entryList({u"herd.*"_s}, QDir::Files);
    ASSERT_EQ(names.size(), 14);
    for (const QString &name : names) {
        if (name == u"herd.zip"_s)
            continue; // Info-ZIP stores the file dates
        SCOPED_TRACE(name.toStdString());
        const QByteArray made = test::readFile(out.path() + u'/' + name);
        EXPECT_TRUE(made == test::readFile(samples.filePath(name)))
                << "differs from samples/" << name.toStdString();
    }
}

TEST(Generator, plantedFaultsAreWhatTheChecksFind)
{
    // The counts the generator prints for --faults are what a check for each fault alone finds
    // in the loaded data, so maintenance tests can take them as their expected results.
    QTemporaryDir out;
    const QString file = out.path() + u"/faults.DIF"_s;
    const test::ProcessResult r = generate({u"--home"_s, u"data"_s, u"--lines"_s, u"3000"_s,
                                            u"--faults"_s, u"3"_s, u"--combined"_s, file});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QHash<QString, qint64> planted = counts(r.out);
    ASSERT_EQ(planted.value(u"cows-not-in-102"_s), 3) << r.out.toStdString();

    test::TestHome home;
    test::ScriptedPrompter prompter;
    NullProgress progress;
    Loader(home.dm(), progress, prompter).load(file);
    ASSERT_TRUE(prompter.questions.isEmpty()) << prompter.questions.join(u'\n').toStdString();
    auto count = [&](const QString &sql) {
        return home.rows(sql).value(0).toLongLong();
    };
    const QString cowIn102 = u"EXISTS (SELECT 1 FROM \"102\" p WHERE p.HerdCode = t.HerdCode AND "
                             "p.CowID = t.CowID)"_s;

    EXPECT_EQ(count(u"SELECT count(*) FROM (SELECT DISTINCT HerdCode, CowID FROM \"103\" t "
                    "WHERE NOT "_s
                    + cowIn102 + u")"_s),
              planted.value(u"cows-not-in-102"_s));
    for (const QString &code : {u"103"_s, u"104"_s, u"108"_s, u"112"_s}) {
        SCOPED_TRACE(code.toStdString());
        EXPECT_EQ(count(u"SELECT count(*) FROM \"%1\" t WHERE NOT "_s.arg(code) + cowIn102),
                  planted.value(code + u"-of-cows-not-in-102"_s));
    }
    const QString without103 = u"SELECT count(*) FROM \"104\" t WHERE "_s + cowIn102
                               + u" AND NOT EXISTS (SELECT 1 FROM \"103\" l WHERE l.HerdCode = "
                                 "t.HerdCode AND l.CowID = t.CowID AND l.CalvingDate = "
                                 "t.CalvingDate)"_s;
    EXPECT_EQ(count(without103), planted.value(u"104-without-103"_s));
    EXPECT_EQ(count(without103 + u" AND t.CalvingDate IS NULL"_s),
              planted.value(u"104-without-103-blank-calving-date"_s));
    EXPECT_EQ(count(u"SELECT count(*) FROM \"104\" WHERE Milk > 99"_s),
              planted.value(u"104-milk-above-99"_s));
    EXPECT_EQ(count(u"SELECT count(*) FROM \"104\" WHERE FatPercent = 0"_s),
              planted.value(u"104-fat-percent-0"_s));
    EXPECT_EQ(count(u"SELECT count(*) FROM \"102\" t WHERE NOT EXISTS (SELECT 1 FROM \"103\" l "
                    "WHERE l.HerdCode = t.HerdCode AND l.CowID = t.CowID)"_s),
              planted.value(u"102-without-103"_s));
}

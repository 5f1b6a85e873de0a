#include "ProblemList.h"
#include "Layout.h"
#include "Loader.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>

using namespace bm;
using namespace Qt::StringLiterals;

// Every line and field error of a load is in its problem list once, named by the file the user
// chose and the line's number in it, also when the prompts were turned off.

namespace {

QList<QByteArray> sampleLines(const char *name)
{
    QList<QByteArray> lines
            = test::readFile(QStringLiteral(BM_SOURCE_DIR "/samples/") + QString::fromLatin1(name))
                      .split('\n');
    for (QByteArray &line : lines)
        line = line.trimmed();
    lines.removeAll(QByteArray());
    return lines;
}

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// `line` with `text` at the 1-based column `column`.
QByteArray put(QByteArray line, int column, const QByteArray &text)
{
    return line.replace(column - 1, text.size(), text);
}

// Test days (layout 104 version 2: TestDate at 40, CalvingDate at 48, DaysInMilk at 58) with
// planted faults, in `lines` (the sample's combined file or its test-day file): a blank line
// before the first fault, an impossible date, a day count that is no number, and one line with
// two bad dates. Returns the expected problems as "<line>|<field>|<text>|<message>".
QStringList plant(QList<QByteArray> &lines)
{
    QList<qsizetype> testDays;
    for (qsizetype i = 0; i < lines.size(); ++i)
        if (lines.at(i).startsWith("104"))
            testDays << i;
    const qsizetype a = testDays.at(3), b = testDays.at(40), c = testDays.at(120);
    lines[a] = put(lines[a], 40, "20210230");
    lines[b] = put(lines[b], 58, "x1 ");
    lines[c] = put(put(lines[c], 40, "20219999"), 48, "20210230");
    lines.insert(a, QByteArray()); // the lines after it move down by one
    const QString date = u"Not a valid date: stored as empty"_s;
    return {u"%1|TestDate|20210230|%2"_s.arg(a + 2).arg(date),
            u"%1|DaysInMilk|x1|Not a number: the line was left out"_s.arg(b + 2),
            u"%1|TestDate|20219999|%2"_s.arg(c + 2).arg(date),
            u"%1|CalvingDate|20210230|%2"_s.arg(c + 2).arg(date)};
}

} // namespace

TEST(ProblemList, aLoadListsEveryPlantedFaultOnceWithItsLineInTheChosenFile)
{
    struct Case
    {
        const char *name;
        QString chosen;   // the file loaded, in the folder "in/"
        QString fileName; // how its problems name the file
    };
    const Case cases[] = {
            {"per-type file", u"set.104"_s, u"set.104"_s},
            {"combined file", u"set.DIF"_s, u"set.DIF"_s},
            {"archive of per-type files", u"types.zip"_s, u"types.zip: set.104"_s},
            {"archive of a combined file", u"all.zip"_s, u"all.zip: set.DIF"_s},
    };
    // Also with all but the first problem in the scratch file, read back from there.
    for (const qsizetype inMemory : {ProblemList::kInMemory, qsizetype(1)})
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(inMemory);
            test::TestHome home;
            QList<QByteArray> combined = sampleLines("herd.DIF");
            const QStringList combinedFaults = plant(combined);
            QList<QByteArray> testDays = sampleLines("herd.104");
            const QStringList testDayFaults = plant(testDays);
            const bool isCombined = c.fileName.endsWith(u".DIF"_s);

            test::Entries types;
            for (const QString &code : recordTypeCodes()) {
                if (code == u"104"_s)
                    types.append({u"set.104"_s, joined(testDays)});
                else
                    types.append({u"set."_s + code,
                                  test::readFile(QStringLiteral(BM_SOURCE_DIR "/samples/herd.")
                                                 + code)});
            }
            for (const auto &[name, bytes] : std::as_const(types))
                home.write(u"in/"_s + name, bytes);
            home.write(u"in/set.DIF"_s, joined(combined));
            test::makeZip(home.path() + u"in/types.zip"_s, types);
            test::makeZip(home.path() + u"in/all.zip"_s, {{u"set.DIF"_s, joined(combined)}});

            test::ScriptedPrompter prompter;
            prompter.answers = {false}; // No to the first prompt: no more questions for the file
            test::RecordingProgress progress;
            ProblemList problems;
            problems.setMemoryLimit(inMemory);
            Loader loader(home.dm(), progress, prompter);
            loader.setProblems(&problems);
            loader.load(home.path() + u"in/"_s + c.chosen);

            EXPECT_EQ(prompter.questions.size(), 1);
            QStringList found;
            for (qsizetype i = 0; i < problems.size(); ++i) {
                const Problem p = problems.at(i);
                EXPECT_EQ(p.file, c.fileName);
                EXPECT_EQ(p.recordType, u"104"_s);
                EXPECT_TRUE(p.source.isEmpty());
                found << u"%1|%2|%3|%4"_s.arg(p.line).arg(p.field, p.text, ProblemList::cell(p, 5));
            }
            // A line's field problems come in layout order; lines in the order the load read them.
            std::stable_sort(found.begin(), found.end(), [](const QString &x, const QString &y) {
                return x.section(u'|', 0, 0).toInt() < y.section(u'|', 0, 0).toInt();
            });
            EXPECT_EQ(found, isCombined ? combinedFaults : testDayFaults);
            EXPECT_EQ(home.rows(uR"(SELECT count(*) FROM "104")"_s), QStringList{u"189"_s});
        }
}

TEST(ProblemList, csvQuotesEveryTextCell)
{
    test::TestHome home;
    ProblemList problems;
    problems.add({u"a.104"_s, 12, u"104"_s, u"Milk"_s, u"say \"x\", y"_s, u"m"_s, u"o"_s, {}});
    problems.add({u"b.104"_s, 0, u"104"_s, QString(), u"line"_s, u"n"_s, {}, {}});
    const QString path = home.path() + u"p.csv"_s;
    problems.writeCsv(path, {1, 0});
    EXPECT_EQ(test::readFile(path),
              "\"File\",\"Line\",\"Record Type\",\"Field\",\"Text\",\"Message\"\r\n"
              "\"b.104\",,\"104\",\"\",\"line\",\"n\"\r\n"
              "\"a.104\",12,\"104\",\"Milk\",\"say \"\"x\"\", y\",\"m: o\"\r\n");
}

// Past its memory the list goes on in a scratch file of the scratch folder that has no name, so
// nothing is left behind; what is read back, renamed, re-lined and marked is the same as in
// memory.
TEST(ProblemList, problemsPastTheMemoryLimitAreReadBackFromAScratchFile)
{
    test::TestHome home;
    const QString scratch = home.path() + u"Scratch/"_s;
    QDir().mkpath(scratch);
    ProblemList problems;
    problems.setSpillFolder(scratch);
    problems.setMemoryLimit(2);
    for (int i = 1; i <= 5; ++i)
        problems.add({u"set.104"_s, i, u"104"_s, u"Milk"_s, u"t\u00E9%1"_s.arg(i), u"m"_s, u"o"_s,
                      "source"});
    EXPECT_EQ(QDir(scratch).entryList(QDir::Files | QDir::Hidden), QStringList{});
    problems.setLine(3, 42);
    problems.renameFiles(1, u"set.zip: "_s, u"set.DIF"_s);
    problems.dropSources(0);
    problems.markStopped(4);
    problems.add({u"set.104"_s,
                  9,
                  u"104"_s,
                  QString(),
                  u"x"_s,
                  u"stop"_s,
                  ProblemList::stoppedHere(),
                  {}});
    QStringList rows;
    for (qsizetype i = 0; i < problems.size(); ++i) {
        const Problem p = problems.at(i);
        rows << u"%1|%2|%3|%4|%5"_s.arg(p.file).arg(p.line).arg(p.text, ProblemList::cell(p, 5),
                                                                QString::fromUtf8(p.source));
    }
    const QString stopped = ProblemList::nothingStored();
    EXPECT_EQ(rows,
              (QStringList{u"set.104|1|t\u00E91|m: o|"_s, u"set.zip: set.DIF|2|t\u00E92|m: o|"_s,
                           u"set.zip: set.DIF|3|t\u00E93|m: o|"_s,
                           u"set.zip: set.DIF|42|t\u00E94|m: o|"_s,
                           u"set.zip: set.DIF|5|t\u00E95|m: "_s + stopped + u'|',
                           u"set.104|9|x|stop: "_s + ProblemList::stoppedHere() + u'|'}));
    // Moved, as into the problem window, the list keeps reading its file.
    ProblemList moved = std::move(problems);
    EXPECT_EQ(moved.at(4).line, 5);
}

#include "Error.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "Saver.h"
#include "Tdm.h"
#include "TestSupport.h"
#include "Text.h"
#include "Zip.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// Lists an archive with Python's zipfile after testing every entry's CRC: one line per entry,
// "<name> <method> <level bits> <size>", then "ok".
QString pythonZipList(const QString &archive)
{
    const test::ProcessResult r = test::runProgram(
            u"python3"_s, {u"-c"_s,
                           u"import zipfile,sys\n"
                           "z = zipfile.ZipFile(sys.argv[1])\n"
                           "bad = z.testzip()\n"
                           "for i in z.infolist():\n"
                           "    print(i.filename, i.compress_type, i.flag_bits & 6, i.file_size)\n"
                           "print('ok' if bad is None else 'bad ' + bad)\n"_s,
                           archive});
    return r.exitCode == 0 ? r.out : u"python failed: "_s + r.err;
}

bool unzipTest(const QString &archive)
{
    return test::runProgram(u"unzip"_s, {u"-tq"_s, archive}).exitCode == 0;
}

struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;
    QString out = home.path() + u"out/"_s;

    Fixture() { QDir().mkpath(out); }

    void import(const QString &file)
    {
        const QString code = QFileInfo(file).suffix();
        Importer(home.dm(), progress, prompter).importTypeFile(file, code);
        progress.hide();
    }
    void importSamples()
    {
        for (const QString &code : recordTypeCodes())
            import(test::testDataDir() + u"roundtrip/herd."_s + code);
    }
    SaveResult save(SaveFormat format, bool zip, const QStringList &types, const QString &chosen)
    {
        Saver saver(home.dm(), progress, prompter);
        return saver.save({format, zip, types}, chosen);
    }
};

} // namespace

TEST(Save, namesOutputFilesAfterTheChosenFile)
{
    struct Case
    {
        SaveFormat format;
        const char *chosen;
        const char *expected;
    };
    const Case cases[] = {
            {SaveFormat::DIF, "/d/herd.zip", "herd.104"},
            {SaveFormat::DIF, "/d/herd", "herd.104"},
            {SaveFormat::DIF, "/d/my.herd.zip", "my.herd.104"},
            {SaveFormat::DIF, "/d.x/herd", "herd.104"},
            {SaveFormat::CSV, "/d/herd.csv", "herd_104.csv"},
            {SaveFormat::CSV, "/d/my.herd.csv", "my.herd_104.csv"},
            {SaveFormat::CSV, "/d/herd", "herd_104.csv"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Saver::outputName(c.format, QString::fromUtf8(c.chosen), u"104"_s),
                  QString::fromUtf8(c.expected))
                << c.chosen;
    EXPECT_EQ(Saver::archivePath(u"/d/herd.csv"_s), u"/d/herd.zip"_s);
    EXPECT_EQ(Saver::archivePath(u"/d.x/herd"_s), u"/d.x/herd.zip"_s);

    const SaveRequest dif{SaveFormat::DIF, false, {}};
    const SaveRequest csv{SaveFormat::CSV, false, {}};
    const SaveRequest zip{SaveFormat::CSV, true, {}};
    EXPECT_EQ(Saver::fileFilter(dif), u"DIF Files (*.1* *.2*)"_s);
    EXPECT_EQ(Saver::defaultSuffix(dif), u"zip"_s);
    EXPECT_EQ(Saver::fileFilter(csv), u"csv File (*.csv)"_s);
    EXPECT_EQ(Saver::defaultSuffix(csv), u"csv"_s);
    EXPECT_EQ(Saver::fileFilter(zip), u"zip File (*.zip)"_s);
    EXPECT_EQ(Saver::defaultSuffix(zip), u"zip"_s);
}

TEST(Save, everyTableAsDifGivesTheLoadedFilesBack)
{
    Fixture f;
    f.importSamples();
    const SaveResult r = f.save(SaveFormat::DIF, false, recordTypeCodes(), f.out + u"herd.zip"_s);
    EXPECT_EQ(r.written.size(), 12);
    for (const QString &code : recordTypeCodes()) {
        SCOPED_TRACE(code.toStdString());
        EXPECT_EQ(test::readFile(f.out + u"herd."_s + code),
                  test::readFile(test::testDataDir() + u"roundtrip/herd."_s + code));
    }
    EXPECT_FALSE(f.progress.isVisible());
    EXPECT_TRUE(f.prompter.notices.isEmpty());
}

TEST(Save, loadedCombinedFileSavesBackToTheFilesTheSplitWrote)
{
    Fixture f;
    Loader loader(f.home.dm(), f.progress, f.prompter);
    loader.load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.DIF"));
    ASSERT_EQ(loader.tables().size(), 12);
    const SaveResult r = f.save(SaveFormat::DIF, false, recordTypeCodes(), f.out + u"herd.zip"_s);
    EXPECT_EQ(r.written.size(), 12);
    // The load removed its split files when it was done; the split writes them again.
    loader.SplitDIF(QStringLiteral(BM_SOURCE_DIR "/samples/herd.DIF"));
    for (const QString &code : recordTypeCodes()) {
        SCOPED_TRACE(code.toStdString());
        const QByteArray split = test::readFile(f.home.path() + u"Scratch/herd."_s + code);
        EXPECT_GT(split.size(), 0);
        EXPECT_EQ(test::readFile(f.out + u"herd."_s + code), split);
    }
}

TEST(Save, olderLayoutIsRestampedWithSharedFieldsUnchanged)
{
    Fixture f;
    const QString older = test::testDataDir() + u"older/"_s;
    for (const QString &name : QDir(older).entryList(QDir::Files, QDir::Name))
        f.import(older + name);
    f.save(SaveFormat::DIF, false, {u"101"_s, u"104"_s, u"211"_s}, f.out + u"h"_s);

    for (const QString &code : {u"101"_s, u"104"_s, u"211"_s}) {
        SCOPED_TRACE(code.toStdString());
        const QString current = currentVersion(f.home.path(), code);
        const Layout now = readLayout(f.home.path(), layoutName(code, current));
        QStringList saved;
        TextReader savedReader(f.out + u"h."_s + code);
        while (savedReader.next())
            saved << savedReader.text();
        // The input lines in the order they were imported: the files by name, lines in order.
        qsizetype index = 0;
        for (const QString &name :
             QDir(older).entryList({u"*."_s + code}, QDir::Files, QDir::Name)) {
            TextReader reader(older + name);
            while (reader.next()) {
                ASSERT_LT(index, saved.size());
                const QString in = reader.text();
                const QString outLine = saved.at(index++);
                const Layout then = readLayout(f.home.path(), layoutName(code, in.mid(3, 1)));
                EXPECT_EQ(outLine.mid(3, 1), current);
                for (const FieldDef &old : then) {
                    if (old.name == u"VersionNo"_s)
                        continue;
                    const auto it = std::find_if(now.cbegin(), now.cend(), [&](const FieldDef &d) {
                        return d.name == old.name;
                    });
                    ASSERT_NE(it, now.cend()) << old.name.toStdString();
                    EXPECT_EQ(TrimText(outLine.mid(it->start.value() - 1, it->width.value())),
                              TrimText(in.mid(old.start.value() - 1, old.width.value())))
                            << old.name.toStdString();
                }
            }
        }
        EXPECT_EQ(index, saved.size());
        // The stamps are in the files; the tables keep the versions they were loaded with.
        EXPECT_NE(f.home.rows(u"SELECT DISTINCT VersionNo FROM \"%1\""_s.arg(code)),
                  QStringList{current});
    }
}

TEST(Save, zippedCsvLandsInOneArchiveThatOtherToolsRead)
{
    Fixture f;
    f.importSamples();
    f.home.dm().exec(u"DELETE FROM \"102\""_s);
    const QString archive = f.out + u"herd.zip"_s;
    f.home.write(archive, "not an archive");
    const SaveResult r
            = f.save(SaveFormat::CSV, true, {u"104"_s, u"101"_s, u"102"_s}, f.out + u"herd.csv"_s);
    EXPECT_EQ(r.archive, archive);
    // The files were written to the scratch folder, in tab order, and removed from there once
    // packed; an empty table still has its header line.
    const QString scratch = f.home.path() + u"Scratch/"_s;
    EXPECT_EQ(r.written, (QStringList{scratch + u"herd_101.csv"_s, scratch + u"herd_102.csv"_s,
                                      scratch + u"herd_104.csv"_s}));
    EXPECT_EQ(QDir(scratch).entryList(QDir::Hidden | QDir::Files), QStringList{});
    EXPECT_FALSE(QFile::exists(f.out + u"herd_101.csv"_s));
    EXPECT_EQ(saveSummary(r), u"Saved \"%1\" holding 3 files"_s.arg(archive));

    // The same files written beside the chosen one, for their sizes.
    const SaveResult plain
            = f.save(SaveFormat::CSV, false, {u"104"_s, u"101"_s, u"102"_s}, f.out + u"herd.csv"_s);
    EXPECT_TRUE(test::readFile(plain.written.at(1)).startsWith("RecordType,VersionNo,"));
    EXPECT_TRUE(unzipTest(archive));
    const QString listing = pythonZipList(archive);
    EXPECT_EQ(listing, u"herd_101.csv 8 0 %1\nherd_102.csv 8 0 %2\nherd_104.csv 8 0 %3\nok\n"_s
                               .arg(QFileInfo(plain.written.at(0)).size())
                               .arg(QFileInfo(plain.written.at(1)).size())
                               .arg(QFileInfo(plain.written.at(2)).size()));
    EXPECT_EQ(QDir(f.out).entryList(QDir::Hidden | QDir::Files),
              (QStringList{u"herd.zip"_s, u"herd_101.csv"_s, u"herd_102.csv"_s, u"herd_104.csv"_s}))
            << "temporary left";
}

TEST(Save, emptyTablesWriteNoDifFileAndSaySo)
{
    Fixture f;
    f.home.write(f.out + u"herd.101"_s, "old\r\n");
    const SaveResult r = f.save(SaveFormat::DIF, true, {u"101"_s}, f.out + u"herd.zip"_s);
    EXPECT_TRUE(r.written.isEmpty());
    EXPECT_EQ(r.empty, QStringList{u"101"_s});
    EXPECT_TRUE(r.archive.isEmpty());
    EXPECT_FALSE(QFile::exists(f.out + u"herd.zip"_s));
    EXPECT_EQ(f.prompter.notices.size(), 1);

    f.save(SaveFormat::DIF, false, {u"101"_s}, f.out + u"herd.zip"_s);
    EXPECT_FALSE(QFile::exists(f.out + u"herd.101"_s)) << "an out-of-date file stays";
}

// A save that fails midway leaves the set of files that was there: each file is written to a
// temporary file first, and they are put in place only when all are complete.
TEST(Save, failingTableLeavesTheOldSetOfFilesWhole)
{
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "zipped" : "plain");
        Fixture f;
        f.importSamples();
        f.save(SaveFormat::DIF, false, {u"101"_s, u"103"_s, u"104"_s}, f.out + u"herd.zip"_s);
        QMap<QString, QByteArray> before;
        for (const QString &name : QDir(f.out).entryList(QDir::Files | QDir::Hidden))
            before[name] = test::readFile(f.out + name);
        ASSERT_EQ(before.size(), 3);

        f.home.dm().exec(u"UPDATE \"101\" SET HerdCode = 'NEWHC'"_s);
        f.home.dm().exec(u"UPDATE \"103\" SET HerdCode = 'TOOLONGHERD' WHERE rowid = 2"_s);
        try {
            f.save(SaveFormat::DIF, zip, {u"101"_s, u"103"_s, u"104"_s}, f.out + u"herd.zip"_s);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"table 103, row 2. The field HerdCode"_s))
                    << e.message().toStdString();
            if (!zip) {
                EXPECT_TRUE(e.message().endsWith(u"No file was saved: the files already there "
                                                 "were left as they were."_s))
                        << e.message().toStdString();
            }
        }
        // Neither a new herd.101 beside the old herd.103 and herd.104, nor temporary files;
        // files written only to be packed are removed again, and no archive is made.
        QMap<QString, QByteArray> after;
        for (const QString &name : QDir(f.out).entryList(QDir::Files | QDir::Hidden))
            after[name] = test::readFile(f.out + name);
        EXPECT_EQ(after, before);
        EXPECT_EQ(QDir(f.home.path() + u"Scratch"_s).entryList(QDir::Files), QStringList{});
        EXPECT_FALSE(f.progress.isVisible());
    }
}

TEST(Save, versionComesOnlyFromAValidVersionEntry)
{
    struct Case
    {
        const char *name;
        QByteArray entry;
        const char *message;
    };
    const Case cases[] = {
            {"missing", "", "gives no current version"},
            {"statement text", "104=2 WHERE 0; DROP TABLE \"101\"\n", "one letter or digit"},
            {"path", "104=/\n", "one letter or digit"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.importSamples();
        f.home.write(u"Defs/DIFVersion.ini"_s, "[Version]\n" + c.entry);
        try {
            f.save(SaveFormat::DIF, false, {u"104"_s}, f.out + u"herd"_s);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(QString::fromUtf8(c.message)))
                    << e.message().toStdString();
            EXPECT_TRUE(e.message().contains(u"DIFVersion.ini"_s));
        }
        EXPECT_EQ(f.home.rows(u"SELECT count(*) FROM \"101\""_s), QStringList{u"2"_s});
        EXPECT_EQ(f.home.rows(u"SELECT DISTINCT VersionNo FROM \"104\""_s), QStringList{u"2"_s});
    }
}

TEST(Save, buttonAsksForTheFileOnlyWhenSomethingIsTicked)
{
    Fixture f;
    Saver saver(f.home.dm(), f.progress, f.prompter);
    QString last = u"start.zip"_s;

    EXPECT_EQ(saver.chooseFile({SaveFormat::DIF, false, {}}, last), std::nullopt);
    EXPECT_TRUE(f.prompter.filters.isEmpty());
    EXPECT_EQ(f.prompter.notices.size(), 1);

    EXPECT_EQ(saver.chooseFile({SaveFormat::CSV, false, {u"101"_s}}, last), std::nullopt);
    EXPECT_EQ(f.prompter.filters, QStringList{u"csv File (*.csv)"_s});
    EXPECT_EQ(last, u"start.zip"_s);

    f.prompter.choices.push_back(f.out + u"h.csv"_s);
    EXPECT_EQ(saver.chooseFile({SaveFormat::CSV, false, {u"101"_s}}, last), f.out + u"h.csv"_s);
    EXPECT_EQ(last, f.out + u"h.csv"_s);
}

TEST(Save, offersTheLastNameInTheFormOfTheSave)
{
    const struct
    {
        const char *name;
        SaveRequest request;
        QString last;
        QString offered;
    } cases[] = {
            {"DIF after a zip", {SaveFormat::DIF, false, {}}, u"/o/herd.zip"_s, u"/o/herd"_s},
            {"DIF after a CSV", {SaveFormat::DIF, false, {}}, u"/o/herd.CSV"_s, u"/o/herd"_s},
            {"DIF keeps other dots",
             {SaveFormat::DIF, false, {}},
             u"/o/my.herd"_s,
             u"/o/my.herd"_s},
            {"zip after DIF", {SaveFormat::DIF, true, {}}, u"/o/herd"_s, u"/o/herd.zip"_s},
            {"zip after CSV", {SaveFormat::CSV, true, {}}, u"/o/herd.csv"_s, u"/o/herd.zip"_s},
            {"CSV after zip", {SaveFormat::CSV, false, {}}, u"/o/h.Zip"_s, u"/o/h.csv"_s},
            {"nothing chosen yet", {SaveFormat::DIF, true, {}}, QString(), QString()},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Saver::offeredName(c.request, c.last), c.offered) << c.name;
}

TEST(Save, asksOnceBeforeReplacingFiles)
{
    Fixture f;
    f.importSamples();
    Saver saver(f.home.dm(), f.progress, f.prompter);
    const SaveRequest dif{SaveFormat::DIF, false, recordTypeCodes()};
    const QString chosen = f.out + u"herd.zip"_s;
    EXPECT_TRUE(saver.confirmReplace(dif, chosen));
    EXPECT_TRUE(f.prompter.questions.isEmpty());

    f.save(SaveFormat::DIF, false, recordTypeCodes(), chosen);
    f.home.write(f.out + u"other.101"_s, "not ours");
    f.prompter.answers = {false, true, true};
    EXPECT_FALSE(saver.confirmReplace(dif, chosen));
    EXPECT_TRUE(saver.confirmReplace({SaveFormat::DIF, false, {u"104"_s}}, chosen));
    EXPECT_TRUE(saver.confirmReplace({SaveFormat::DIF, true, {u"104"_s}}, f.out + u"herd.101"_s));
    const QString out = QDir::toNativeSeparators(QFileInfo(f.out + u"x"_s).absolutePath());
    EXPECT_EQ(f.prompter.questions,
              (QStringList{u"12 files already exist in \"%1\" and will be replaced (herd.101 ... "
                           "herd.211).\r\rDo you wish to continue."_s.arg(out),
                           u"\"herd.104\" already exists in \"%1\" and will be replaced.\r\rDo "
                           "you wish to continue."_s.arg(out)}));
    // An archive that is not there yet replaces nothing; the files beside the name do not count.
    EXPECT_EQ(Saver::replacedFiles({SaveFormat::CSV, false, {u"101"_s}}, chosen), QStringList{});
}

TEST(Save, summaryNamesWhatWasWritten)
{
    Fixture f;
    f.importSamples();
    f.home.dm().exec(u"DELETE FROM \"102\""_s);
    const SaveResult r
            = f.save(SaveFormat::DIF, false, {u"101"_s, u"102"_s, u"104"_s}, f.out + u"herd.zip"_s);
    const QString out = QDir::toNativeSeparators(QFileInfo(f.out + u"x"_s).absolutePath());
    EXPECT_EQ(saveSummary(r),
              u"Saved 2 files in \"%1\": herd.101, herd.104 (empty, no file: 102)"_s.arg(out));
}

TEST(Zip, packsBareNamesDeflatingOnlyWhatShrinks)
{
    test::TestHome home;
    test::RecordingProgress progress;
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "1042V3104527 line " + QByteArray::number(i) + "\r\n";
    QByteArray noise(50000, Qt::Uninitialized);
    QRandomGenerator generator(42);
    generator.fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QString a = home.write(u"a/herd.104"_s, text);
    const QString b = home.write(u"b/noise.bin"_s, noise);
    const QString dup = home.write(u"c/herd.104"_s, "second file of that name");
    const QString archive = home.path() + u"herd.zip"_s;

    EXPECT_EQ(ZipFileList(archive, {a, home.path() + u"missing.101"_s, b, dup}, progress), 2);
    EXPECT_EQ(progress.statuses, QStringList{u"Zipping Data."_s});
    EXPECT_TRUE(unzipTest(archive));
    EXPECT_EQ(pythonZipList(archive),
              u"herd.104 8 0 %1\nnoise.bin 0 0 50000\nok\n"_s.arg(text.size()));
    const test::ProcessResult r = test::runProgram(u"unzip"_s, {u"-p"_s, archive, u"herd.104"_s});
    EXPECT_EQ(r.out.toLatin1(), text);

    // Nothing to pack: the archive there stays as it was.
    EXPECT_EQ(ZipFileList(archive, {home.path() + u"missing.101"_s}, progress), 0);
    EXPECT_TRUE(unzipTest(archive));

    // A target that cannot be replaced leaves no temporary file behind.
    QDir().mkpath(home.path() + u"taken.zip/inside"_s);
    EXPECT_THROW(ZipFileList(home.path() + u"taken.zip"_s, {a}, progress), Error);
    EXPECT_THROW(ZipFileList(home.path() + u"no/such/folder.zip"_s, {a}, progress), Error);
    EXPECT_EQ(QDir(home.path()).entryList(QDir::Hidden | QDir::Files | QDir::NoDotAndDotDot),
              (QStringList{u"herd.zip"_s, u"Tembra.db"_s}));
}

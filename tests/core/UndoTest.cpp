#include "Undo.h"
#include "Error.h"
#include "FileCheck.h"
#include "GridModel.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "Maintenance.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>

#include <functional>

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace bm;
using namespace Qt::StringLiterals;

// The bulk commands keep the herd data as it was before them; undo puts it back as one step and
// can itself be undone once (a redo).

namespace {

const QString kSamples = QStringLiteral(BM_SOURCE_DIR "/samples/");

struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;

    // The sample data set, plus a test day of a cow without a pedigree record.
    Fixture()
    {
        Loader(home.dm(), progress, prompter).load(kSamples + u"herd.DIF"_s);
        home.dm().exec(uR"(INSERT INTO "104" (RecordType, HerdCode, CowID, Milk)
                           VALUES ('104', 'ZZ', 'NOBODY', 12.5))"_s);
    }

    // Every row of every table (MergeCow too), rowids included, values with their types.
    QStringList dump()
    {
        QStringList out;
        QStringList tables = recordTypeCodes();
        tables << u"MergeCow"_s;
        for (const QString &t : tables) {
            out << u"[%1] %2"_s.arg(t, home.dm().columns(t).join(u','));
            for (const QString &row :
                 home.rows(u"SELECT rowid, * FROM %1 ORDER BY rowid"_s.arg(Tdm::quoteId(t))))
                out << row;
        }
        return out;
    }

    Maintenance maintenance() { return Maintenance(home.dm(), progress, prompter); }

    QString caption() const
    {
        const std::optional<UndoInfo> info = undoInfo(home.path());
        return info ? info->menuText() : u"<none>"_s;
    }
};

struct NoOutput final : CheckOutput
{
    void findings(const QStringList &) override {}
};

struct Case
{
    const char *name;
    const char *caption;
    std::function<void(Fixture &)> prepare; // before the state is taken
    std::function<void(Fixture &)> command;
};

const std::vector<Case> &cases()
{
    static const std::vector<Case> all = {
            {"load",
             "Load Files",
             {},
             [](Fixture &f) {
                 Loader(f.home.dm(), f.progress, f.prompter).load(kSamples + u"herd.zip"_s);
             }},
            {"clean 102",
             "Remove Data For Cows Not In 102",
             {},
             [](Fixture &f) {
                 f.maintenance().RemoveDataForCowsNotIn102();
             }},
            {"clean 103",
             "Remove Data For Cows Not In 103",
             {},
             [](Fixture &f) {
                 f.maintenance().RemoveCowsNotIn103();
             }},
            {"apply filter",
             "Apply Filter To Current Table",
             {},
             [](Fixture &f) {
                 f.maintenance().ApplyFilterToCurrentTable(u"104"_s, u"WHERE Milk > 20 "_s);
             }},
            {"remove displayed",
             "Remove Displayed Data From Current Table",
             {},
             [](Fixture &f) {
                 f.maintenance().RemoveDisplayedData(u"104"_s, u"WHERE Milk > 20 "_s);
             }},
            {"herd code",
             "Change Herdcode",
             {},
             [](Fixture &f) {
                 f.prompter.choices = {u"NEWHC"_s};
                 f.maintenance().ChangeHerdcode(QString());
             }},
            {"merge", "Merge National ID's",
             [](Fixture &f) { f.home.dm().exec(uR"(UPDATE "102" SET NationalID = NULL)"_s); },
             [](Fixture &f) {
                 f.prompter.choices = {kSamples + u"herd.102"_s};
                 f.maintenance().MergeNationalIDs(QString());
             }},
            {"file check", "File Check",
             [](Fixture &f) {
                 f.home.write(u"FileCheck.SQL"_s,
                              "/ fixes and a check\r\n"
                              "UPDATE [104] SET Milk = Milk + 1 WHERE Milk < 20\r\n"
                              "/! Big !/ SELECT CowID FROM [104] WHERE Milk > 40\r\n");
             },
             [](Fixture &f) {
                 NoOutput output;
                 runFileCheck(f.home.dm(), output);
             }},
    };
    return all;
}

} // namespace

TEST(UndoTest, everyBulkCommandCanBeUndoneAndRedone)
{
    for (const Case &c : cases()) {
        SCOPED_TRACE(c.name);
        Fixture f;
        if (c.prepare)
            c.prepare(f);
        const QStringList before = f.dump();
        c.command(f);
        const QStringList after = f.dump();
        ASSERT_NE(before, after);
        EXPECT_EQ(f.caption(), u"Undo "_s + QString::fromLatin1(c.caption));

        const UndoInfo undone = undoLastCommand(f.home.dm(), f.progress).undone;
        EXPECT_FALSE(undone.redo);
        EXPECT_EQ(f.dump(), before);
        EXPECT_EQ(f.caption(), u"Redo "_s + QString::fromLatin1(c.caption));

        undoLastCommand(f.home.dm(), f.progress);
        EXPECT_EQ(f.dump(), after);
        EXPECT_EQ(f.caption(), u"Undo "_s + QString::fromLatin1(c.caption));
        EXPECT_TRUE(QDir(f.home.path()).entryList({u"Undo.db.*"_s}).isEmpty());
    }
}

TEST(UndoTest, aCommandThatFailsOrChangesNothingLeavesThePreviousUndo)
{
    Fixture f;
    const QStringList beforeHerdcode = f.dump();
    f.prompter.choices = {u"NEWHC"_s};
    f.maintenance().ChangeHerdcode(QString());
    const QStringList afterHerdcode = f.dump();

    // A failure of the database rolls the clean-up back: nothing to undo but the herd code.
    f.home.dm().exec(u"PRAGMA query_only = 1"_s);
    EXPECT_THROW(f.maintenance().RemoveDataForCowsNotIn102(), Error);
    f.home.dm().exec(u"PRAGMA query_only = 0"_s);
    // Answered No, a clean-up changes nothing; a cancelled trim neither.
    f.prompter.answers = {false, false, false, false, false, false};
    f.maintenance().RemoveDataForCowsNotIn102();
    f.prompter.answers = {false};
    f.maintenance().RemoveDisplayedData(u"104"_s, QString());
    // A load that ends with an error (a line far longer than any record) leaves every table,
    // and the undo, as they were.
    const QString bad = f.home.write(u"in/bad.104"_s, "1042" + QByteArray(70000, 'x') + "\r\n");
    EXPECT_THROW(Loader(f.home.dm(), f.progress, f.prompter).load(bad), Error);
    // A file check whose fixes roll back or match nothing, and a merge that matches no cow.
    f.home.write(u"FileCheck.SQL"_s, "UPDATE [104] SET Milk = 1; INSERT INTO [nosuch] VALUES (1)\n"
                                     "DELETE FROM [104] WHERE 0\n"
                                     "/! Cows !/ SELECT count(*) FROM [102]\n");
    NoOutput output;
    runFileCheck(f.home.dm(), output);
    QByteArray stranger = test::readFile(kSamples + u"herd.102"_s).split('\n').first();
    stranger.replace(4, 8, "ZZZZZZZ ");
    f.prompter.choices = {f.home.write(u"in/strangers.102"_s, stranger + '\n')};
    f.maintenance().MergeNationalIDs(QString());
    ASSERT_EQ(f.prompter.notices.last(), u"Finished Merge."_s);

    EXPECT_EQ(f.dump(), afterHerdcode);
    EXPECT_EQ(f.caption(), u"Undo Change Herdcode"_s);
    undoLastCommand(f.home.dm(), f.progress);
    EXPECT_EQ(f.dump(), beforeHerdcode);
    EXPECT_TRUE(QDir(f.home.path()).entryList({u"Undo.db.*"_s}).isEmpty());
}

TEST(UndoTest, aStateKeptUnderOtherLayoutsIsRefused)
{
    Fixture f;
    f.prompter.choices = {u"NEWHC"_s};
    f.maintenance().ChangeHerdcode(QString());
    const QStringList after = f.dump();

    // What the state belongs to survives a restart of the program.
    Tdm again(f.home.path());
    again.ConnectDB();
    ASSERT_EQ(undoInfo(f.home.path())->caption, u"Change Herdcode"_s);

    QFile defs(defsFolder(f.home.path()) + u"DIFVersion.ini"_s);
    ASSERT_TRUE(defs.open(QIODevice::Append));
    defs.write("; changed\r\n");
    defs.close();
    try {
        undoLastCommand(again, f.progress);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"no longer fits the record layouts"_s)) << e.what();
        EXPECT_TRUE(e.message().contains(u"Change Herdcode"_s)) << e.what();
    }
    EXPECT_EQ(f.dump(), after);
    EXPECT_EQ(f.caption(), u"Undo Change Herdcode"_s);

    EXPECT_THROW(undoLastCommand(test::TestHome().dm(), f.progress), Error); // nothing to undo
}

TEST(UndoTest, aFullDiskWhileKeepingTheStateStopsTheCommand)
{
    Fixture f;
    const QStringList before = f.dump();
    const qint64 size = QFileInfo(f.home.dm().databasePath()).size();
    ASSERT_GT(size, 16384);

    // Files may grow to half the database's size: the copy fills the "disk".
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limited = saved;
    limited.rlim_cur = rlim_t(size / 2 + 100);
    setrlimit(RLIMIT_FSIZE, &limited);
    QString message;
    try {
        f.prompter.choices = {u"NEWHC"_s};
        f.maintenance().ChangeHerdcode(QString());
    } catch (const Error &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_TRUE(message.startsWith(u"Cannot keep the herd data for undo: "_s))
            << message.toStdString();
    EXPECT_TRUE(message.endsWith(u"Change Herdcode was not run"_s)) << message.toStdString();
    EXPECT_EQ(f.dump(), before);
    EXPECT_TRUE(QDir(f.home.path()).entryList({u"Undo.db.*"_s}).isEmpty());
    EXPECT_EQ(f.caption(), u"Undo Load Files"_s); // the undo of the load stays

    // An undo that cannot keep the data it would replace says so, and changes nothing.
    f.prompter.choices = {u"NEWHC"_s};
    f.maintenance().ChangeHerdcode(QString());
    const QStringList changed = f.dump();
    setrlimit(RLIMIT_FSIZE, &limited);
    message.clear();
    try {
        undoLastCommand(f.home.dm(), f.progress);
    } catch (const Error &e) {
        message = e.message();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_TRUE(message.startsWith(u"Cannot undo \"Change Herdcode\": the herd data as it is now "
                                   "cannot be kept to redo it ("_s))
            << message.toStdString();
    EXPECT_TRUE(message.endsWith(u"). Nothing was changed"_s)) << message.toStdString();
    EXPECT_EQ(f.dump(), changed);
    EXPECT_EQ(f.caption(), u"Undo Change Herdcode"_s);
}

TEST(UndoTest, aDamagedKeptStateNeverReplacesTheData)
{
    Fixture f;
    f.prompter.choices = {u"NEWHC"_s};
    f.maintenance().ChangeHerdcode(QString());
    const QStringList after = f.dump();
    // Pages of the copy overwritten, as a crash of the system before they reached the disk may
    // leave them; its size stays.
    QFile kept(f.home.path() + u"Undo.db"_s);
    ASSERT_TRUE(kept.open(QIODevice::ReadWrite));
    ASSERT_TRUE(kept.seek(4096));
    kept.write(QByteArray(3 * 4096, '\x5a'));
    kept.close();
    try {
        undoLastCommand(f.home.dm(), f.progress);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"is damaged"_s)) << e.what();
    }
    EXPECT_EQ(f.dump(), after);
}

// Undo never discards work done after the command it would undo: whatever changed the herd data
// since, an import, an edit, an insert or a delete in the grid, a file-check fix or a statement
// of another program's own, undo is refused with what changed, and the data stays.
TEST(UndoTest, isRefusedOnceTheDataChangedSince)
{
    struct Later
    {
        const char *name;
        std::function<void(Fixture &)> change;
        const char *named; // how the refusal names the last change
    };
    const auto gridOf104 = [](Fixture &f, const std::function<void(GridModel &)> &edit) {
        GridModel grid(f.home.dm());
        FilterQuery q;
        q.table = u"104"_s;
        grid.setQuery(q);
        edit(grid);
    };
    const Later cases[] = {
            {"import",
             [](Fixture &f) {
                 const ChangeSource source(f.home.dm(), u"Import \"herd.104\""_s);
                 Importer(f.home.dm(), f.progress, f.prompter)
                         .importTypeFile(kSamples + u"herd.104"_s, u"104"_s);
             },
             "Import \"herd.104\""},
            {"grid edit",
             [&](Fixture &f) {
                 gridOf104(f, [](GridModel &g) {
                     g.setData(g.index(0, g.columnIndex(u"CowID"_s)), u"EDITED"_s);
                     g.submitRow();
                 });
             },
             "Edit in table 104"},
            {"grid insert",
             [&](Fixture &f) {
                 gridOf104(f, [](GridModel &g) {
                     g.insertRowAt(0);
                     g.setData(g.index(0, g.columnIndex(u"CowID"_s)), u"NEW"_s);
                     g.submitRow();
                 });
             },
             "Insert into table 104"},
            {"grid delete", [&](Fixture &f) { gridOf104(f, [](GridModel &g) { g.deleteRow(0); }); },
             "Delete in table 104"},
            {"statement", [](Fixture &f) { f.home.dm().exec(uR"(DELETE FROM "101")"_s); },
             "a change"},
    };
    for (const Later &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        f.prompter.choices = {u"NEWHC"_s};
        f.maintenance().ChangeHerdcode(QString());
        c.change(f);
        const QStringList later = f.dump();
        const QString caption = f.caption();
        try {
            undoLastCommand(f.home.dm(), f.progress);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"has changed since (1 change, the last: %1)"_s.arg(
                    QString::fromUtf8(c.named))))
                    << e.what();
        }
        EXPECT_EQ(f.dump(), later);
        EXPECT_EQ(f.caption(), caption);
    }
}

// The redo is held to the same rule; a later command that is kept for undo takes its place.
TEST(UndoTest, aRedoIsRefusedOnceTheDataChangedAndALaterCommandTakesItsPlace)
{
    Fixture f;
    f.prompter.choices = {u"NEWHC"_s};
    f.maintenance().ChangeHerdcode(QString());
    const QStringList changed = f.dump();
    undoLastCommand(f.home.dm(), f.progress);
    ASSERT_EQ(f.caption(), u"Redo Change Herdcode"_s);
    f.home.dm().exec(uR"(UPDATE "101" SET OwnerName = 'later')"_s);
    const QStringList later = f.dump();
    try {
        undoLastCommand(f.home.dm(), f.progress);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().startsWith(u"Cannot redo \"Change Herdcode\": the herd data has "
                                           "changed since"_s))
                << e.what();
    }
    EXPECT_EQ(f.dump(), later);

    f.home.write(u"FileCheck.SQL"_s, "UPDATE [104] SET Milk = 1\n");
    NoOutput output;
    runFileCheck(f.home.dm(), output);
    ASSERT_EQ(f.caption(), u"Undo File Check"_s);
    undoLastCommand(f.home.dm(), f.progress);
    EXPECT_EQ(f.dump(), later);
    EXPECT_NE(f.dump(), changed);
}

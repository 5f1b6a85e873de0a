#include "Error.h"
#include "Importer.h"
#include "Layout.h"
#include "Loader.h"
#include "Maintenance.h"
#include "Saver.h"
#include "SqliteConnection.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QDir>

#include <functional>
#include <vector>

#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace bm;
using namespace Qt::StringLiterals;

// A failure of the database itself (full, read-only) is never a line error: it ends the command,
// the command is rolled back as a whole, and the message names the cause.

namespace {

struct Fixture
{
    test::TestHome home;
    test::ScriptedPrompter prompter;
    test::RecordingProgress progress;
    QString samples = QStringLiteral(BM_SOURCE_DIR "/samples/");

    Fixture() { Loader(home.dm(), progress, prompter).load(samples + u"herd.DIF"_s); }

    // Many more test-day lines than the sample holds: every sample line a hundred times.
    QString bigTestDayFile(const QString &name)
    {
        const QByteArray sample = test::readFile(samples + u"herd.104"_s);
        QByteArray bytes;
        for (int i = 0; i < 100; ++i)
            bytes += sample;
        return home.write(u"in/"_s + name, bytes);
    }

    // The database can grow by a few pages only: the next bulk insert fills it.
    void nearlyFull()
    {
        Stmt stmt = home.dm().prepare(u"PRAGMA page_count"_s);
        ASSERT_TRUE(stmt->next());
        const qint64 pages = stmt->integer(0);
        home.dm().exec(u"PRAGMA max_page_count = %1"_s.arg(pages + 4));
    }
    void readOnly() { home.dm().exec(u"PRAGMA query_only = 1"_s); }

    // Every table as "<code> <rows> <digest of the rows in row order>".
    QStringList everything()
    {
        QStringList out;
        for (const QString &code : recordTypeCodes()) {
            const QStringList rows = home.rows(u"SELECT * FROM [%1] ORDER BY rowid"_s.arg(code));
            const QByteArray digest
                    = QCryptographicHash::hash(rows.join(u'\n').toUtf8(), QCryptographicHash::Sha1);
            out << u"%1 %2 %3"_s.arg(code)
                            .arg(rows.size())
                            .arg(QString::fromLatin1(digest.toHex().left(12)));
        }
        return out;
    }
    QStringList integrity() { return home.rows(u"PRAGMA integrity_check"_s); }

    // Runs `command`, which must raise an error whose message contains `cause`; the tables
    // must then be as they were, and no line may have been reported as a line error.
    template<class F>
    void expectEndedBy(const QString &cause, F command, bool questionsAllowed = false)
    {
        const QStringList before = everything();
        try {
            command();
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(cause, Qt::CaseInsensitive))
                    << e.message().toStdString();
            EXPECT_EQ(e.message().count(u"left as"_s), 1) << e.message().toStdString();
        }
        EXPECT_TRUE(questionsAllowed || prompter.questions.isEmpty())
                << "line errors: " << prompter.questions.size() << ", first "
                << prompter.questions.value(0).toStdString();
        EXPECT_EQ(everything(), before);
        EXPECT_EQ(integrity(), QStringList{u"ok"_s});
        EXPECT_FALSE(home.dm().inTransaction()) << "a transaction is left open";
    }
};

const QString kFull = u"database or disk is full"_s;
const QString kReadOnly = u"the herd database is read-only"_s;

} // namespace

TEST(DatabaseFailure, loadIntoAFullOrReadOnlyDatabaseChangesNoTable)
{
    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "full" : "read-only");
        Fixture f;
        const QString file = f.bigTestDayFile(u"big.104"_s);
        full ? f.nearlyFull() : f.readOnly();
        f.expectEndedBy(full ? kFull : kReadOnly,
                        [&] { Loader(f.home.dm(), f.progress, f.prompter).load(file); });
    }
}

TEST(DatabaseFailure, importIntoAFullDatabaseIsNoLineError)
{
    for (const bool full : {true, false}) {
        SCOPED_TRACE(full ? "full" : "read-only");
        Fixture f;
        const QString file = f.bigTestDayFile(u"big.104"_s);
        full ? f.nearlyFull() : f.readOnly();
        f.expectEndedBy(full ? kFull : kReadOnly, [&] {
            Importer importer(f.home.dm(), f.progress, f.prompter);
            Transaction transaction(f.home.dm());
            importer.ImportFile(file, u"104"_s, layoutName(u"104"_s, GetDIFVersion(file)));
            transaction.commit();
        });
    }
}

// A DIF save only reads the database: the current version goes into the files, so a read-only
// database saves, and its tables keep their versions.
TEST(DatabaseFailure, saveOfAReadOnlyDatabaseWritesTheStampsIntoTheFiles)
{
    Fixture f;
    f.home.dm().exec(u"UPDATE [104] SET VersionNo = 1"_s);
    f.readOnly();
    const QString out = f.home.path() + u"out/"_s;
    QDir().mkpath(out);
    Saver(f.home.dm(), f.progress, f.prompter)
            .save({SaveFormat::DIF, false, {u"104"_s}}, out + u"herd.zip"_s);
    const QByteArray saved = test::readFile(out + u"herd.104"_s);
    EXPECT_TRUE(saved.startsWith("1042")) << saved.left(40).constData();
    EXPECT_FALSE(saved.contains("\n1041"));
    EXPECT_EQ(f.home.rows(u"SELECT DISTINCT VersionNo FROM [104]"_s), QStringList{u"1"_s});
}

// A statement's own failure inside a transaction that SQLite has already rolled back must not
// let the command go on: every later statement would commit on its own.
TEST(DatabaseFailure, aTransactionRolledBackUnderTheCommandEndsIt)
{
    Fixture f;
    Tdm &dm = f.home.dm();
    const QStringList before = f.everything();
    try {
        Transaction transaction(dm);
        dm.exec(u"DELETE FROM [104]"_s);
        // Rolls the transaction back behind the command's back, as SQLite does after a full
        // disk; the DELETE is undone with it.
        sqlite3_exec(db::sqliteHandle(dm.connection()), "ROLLBACK", nullptr, nullptr, nullptr);
        dm.exec(u"DELETE FROM [103]"_s);
        transaction.commit();
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"rolled back"_s)) << e.message().toStdString();
    }
    EXPECT_EQ(f.everything(), before);
}

// The statement runner reports a statement's own failure with false, as before, but a failure
// of the database itself is never swallowed.
TEST(DatabaseFailure, runSqlRaisesOnlyForTheDatabaseItself)
{
    Fixture f;
    Tdm &dm = f.home.dm();
    EXPECT_FALSE(dm.RunSQL(u"DELETE FROM [999]"_s));
    f.readOnly();
    try {
        dm.RunSQL(u"DELETE FROM [104]"_s);
        ADD_FAILURE() << "no error";
    } catch (const DatabaseError &e) {
        EXPECT_EQ(e.cause(), kReadOnly);
    }
    EXPECT_EQ(dm.rowCount(u"104"_s), 190);
}

// Every maintenance command, answered Yes throughout, ends with the database's own cause and
// leaves every table as it was: a deleting step or an update never carries on without its
// transaction. A full database is tried where the command writes new pages (the merge's import).
TEST(DatabaseFailure, maintenanceCommandsEndWithTheCauseAndChangeNothing)
{
    struct Case
    {
        const char *name;
        bool full;
        std::function<void(Fixture &, Maintenance &)> run;
    };
    const auto remove104 = [](Fixture &, Maintenance &m) {
        m.RemoveDisplayedData(u"104"_s, QString());
    };
    const auto keep104 = [](Fixture &, Maintenance &m) {
        m.ApplyFilterToCurrentTable(u"104"_s, u"WHERE HerdCode = 'none' "_s);
    };
    const auto merge = [](Fixture &f, Maintenance &m) {
        QByteArray pedigree;
        for (int i = 0; i < 50; ++i)
            pedigree += test::readFile(f.samples + u"herd.102"_s);
        f.home.write(u"in/merge.102"_s, pedigree);
        f.prompter.choices = {f.home.path() + u"in/merge.102"_s};
        m.MergeNationalIDs(QString());
    };
    const std::vector<Case> cases{
            {"clean102", false,
             [](Fixture &, Maintenance &m) {
                 m.RemoveDataForCowsNotIn102();
             }},
            {"clean103", false,
             [](Fixture &, Maintenance &m) {
                 m.RemoveCowsNotIn103();
             }},
            {"removeDisplayed", false, remove104},
            {"applyFilter", false, keep104},
            {"herdcode", false,
             [](Fixture &f, Maintenance &m) {
                 f.prompter.choices = {u"NEW1"_s};
                 m.ChangeHerdcode(u"H1"_s);
             }},
            {"mergeReadOnly", false, merge},
            {"mergeFull", true, merge},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f;
        // Orphans in every client table, so each clean-up step has rows to delete.
        f.home.dm().exec(u"UPDATE [102] SET NationalID = 'X' || NationalID, CowID = 'X' || CowID "
                         "WHERE rowid % 2 = 0"_s);
        f.prompter.answers = std::deque<bool>(20, true);
        Maintenance maintenance(f.home.dm(), f.progress, f.prompter);
        c.full ? f.nearlyFull() : f.readOnly();
        f.expectEndedBy(
                c.full ? kFull : kReadOnly, [&] { c.run(f, maintenance); }, true);
        EXPECT_TRUE(f.prompter.errors.isEmpty()) << f.prompter.errors.value(0).toStdString();
    }
}

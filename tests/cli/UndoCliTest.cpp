#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>

#include <sqlite3.h>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

// Undo from the command line, as a script or a hurried user drives it: it never discards later
// work, every step survives a kill, and it can put back a herd database the program cannot open.

namespace {

const QString kSamples = QStringLiteral(BM_SOURCE_DIR "/samples/");

// Runs the command-line program on `home`; with `killAt`, the program kills itself at that step
// of keeping or putting back a state (exit code -1: it died).
bm::test::ProcessResult cli(const QString &home, const QStringList &args,
                            const QString &killAt = QString())
{
    QProcess p;
    if (!killAt.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"BRINDLEMARK_KILL_AT"_s, killAt);
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(BM_CLI_PATH), QStringList{u"--home"_s, home} + args);
    if (!p.waitForFinished(120000))
        p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The herd data as the user sees it: the row counts and the herd table.
QString data(const QString &home)
{
    return cli(home, {u"stats"_s}).out + cli(home, {u"list"_s, u"101"_s}).out;
}

QStringList undoFiles(const QString &home)
{
    return QDir(home).entryList({u"Undo.db.*"_s, u"*.part"_s}, QDir::Files);
}

} // namespace

// The run that lost 1,807 test days: a herd-code change, an import, then undo.
TEST(CliUndo, neverDiscardsAnImportMadeAfterTheCommand)
{
    bm::test::TestHome home;
    const QString h = home.path();
    ASSERT_EQ(cli(h, {u"--quiet"_s, u"load"_s, kSamples + u"herd.DIF"_s}).exitCode, 0);
    ASSERT_EQ(cli(h, {u"--yes"_s, u"--quiet"_s, u"herdcode"_s, u"NEWHC"_s}).exitCode, 0);
    ASSERT_EQ(cli(h, {u"--quiet"_s, u"import"_s, kSamples + u"herd.104"_s}).exitCode, 0);
    const QString imported = data(h);

    const bm::test::ProcessResult r = cli(h, {u"--yes"_s, u"undo"_s});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err,
              u"brindlemark-cli: Cannot undo \"Change Herdcode\": the herd data has changed "
              "since (1 change, the last: Import \"herd.104\"). Putting it back as it was "
              "before \"Change Herdcode\" would lose those changes. Nothing was changed.\n"_s);
    EXPECT_EQ(data(h), imported);
}

// The program killed at a step of keeping or putting back a state: the next command finishes
// what was done, or rolls it back, and undo and redo then go on as if nothing had happened.
// Every step is swept by tools/undo-kill-sweep.sh; these are one of each kind.
TEST(CliUndo, aKillAtAnyStepIsFinishedByTheNextCommand)
{
    struct Step
    {
        const char *step;
        bool duringUndo;      // killed in an undo after the herd-code change, or in the change
        bool changeCommitted; // the data is that of the herd-code change
        const char *next;     // what the next undo says
    };
    const Step steps[] = {
            {"keep:noted", false, false, "Undone: Load Files\n"},
            {"keep:renamed", false, true, "Undone: Change Herdcode\n"},
            {"undo:noted", true, true, "Undone: Change Herdcode\n"},
            {"undo:restored", true, false, "Redone: Change Herdcode\n"},
    };
    for (const Step &s : steps) {
        SCOPED_TRACE(s.step);
        bm::test::TestHome home;
        const QString h = home.path();
        ASSERT_EQ(cli(h, {u"--quiet"_s, u"load"_s, kSamples + u"herd.DIF"_s}).exitCode, 0);
        const QString loaded = data(h);
        const QStringList herdcode{u"--yes"_s, u"--quiet"_s, u"herdcode"_s, u"NEWHC"_s};
        const QString step = QString::fromLatin1(s.step);
        if (s.duringUndo) {
            ASSERT_EQ(cli(h, herdcode).exitCode, 0);
            const QString changed = data(h);
            ASSERT_EQ(cli(h, {u"--yes"_s, u"undo"_s}, step).exitCode, -1);
            EXPECT_EQ(data(h), s.changeCommitted ? changed : loaded);
        } else {
            ASSERT_EQ(cli(h, herdcode, step).exitCode, -1);
        }
        const QString afterKill = data(h);
        EXPECT_EQ(afterKill == loaded, !s.changeCommitted);

        const bm::test::ProcessResult next = cli(h, {u"--yes"_s, u"undo"_s});
        EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
        EXPECT_EQ(next.out, QString::fromLatin1(s.next));
        EXPECT_NE(data(h), afterKill);
        EXPECT_EQ(undoFiles(h), QStringList()); // no pending copy, note or half-written file
        // And back again: the state the undo replaced was kept.
        const bm::test::ProcessResult back = cli(h, {u"--yes"_s, u"undo"_s});
        EXPECT_EQ(back.exitCode, 0) << back.err.toStdString();
        EXPECT_EQ(data(h), afterKill);
    }
}

// A command that committed but whose undo could not be kept (here Undo.ini cannot be written)
// says exactly that and succeeds; there is then nothing to undo, rather than a wrong undo.
TEST(CliUndo, aCommandWhoseUndoCannotBeKeptSaysSoAndSucceeds)
{
    bm::test::TestHome home;
    const QString h = home.path();
    ASSERT_EQ(cli(h, {u"--quiet"_s, u"load"_s, kSamples + u"herd.DIF"_s}).exitCode, 0);
    const QString loaded = data(h);
    ASSERT_TRUE(QDir(h).mkdir(u"Undo.ini.part"_s));

    const bm::test::ProcessResult r = cli(h, {u"--yes"_s, u"herdcode"_s, u"NEWHC"_s});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(u"Change Herdcode was done, but the herd data as it was before it "
                               "could not be kept for undo (Cannot write \""_s))
            << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(u"101 2 changed"_s)) << r.out.toStdString();
    EXPECT_NE(data(h), loaded);
    EXPECT_EQ(cli(h, {u"--yes"_s, u"undo"_s}).err,
              u"brindlemark-cli: There is nothing to undo.\n"_s);
}

// A herd database that cannot be opened (its schema damaged, or no database at all) is replaced
// whole by the state kept before the command; the question says what will happen.
TEST(CliUndo, putsBackAKeptStateOverADatabaseThatCannotBeOpened)
{
    const struct
    {
        const char *name;
        std::function<void(const QString &database)> damage;
    } cases[] = {
            {"damaged schema",
             [](const QString &database) {
                 sqlite3 *db = nullptr;
                 ASSERT_EQ(sqlite3_open(QFile::encodeName(database).constData(), &db), SQLITE_OK);
                 EXPECT_EQ(sqlite3_exec(db,
                                        "PRAGMA writable_schema = ON; UPDATE sqlite_master SET "
                                        "sql = 'CREATE TABLE \"101\" (broken' WHERE name = '101'",
                                        nullptr, nullptr, nullptr),
                           SQLITE_OK);
                 sqlite3_close(db);
             }},
            {"no database",
             [](const QString &database) {
                 QFile file(database);
                 ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
                 file.write(QByteArray(8192, 'x'));
             }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        bm::test::TestHome home;
        const QString h = home.path();
        ASSERT_EQ(cli(h, {u"--quiet"_s, u"load"_s, kSamples + u"herd.DIF"_s}).exitCode, 0);
        const QString loaded = data(h);
        ASSERT_EQ(cli(h, {u"--yes"_s, u"--quiet"_s, u"herdcode"_s, u"NEWHC"_s}).exitCode, 0);
        c.damage(h + u"Tembra.db"_s);
        ASSERT_EQ(cli(h, {u"stats"_s}).exitCode, 1);

        bm::test::ProcessResult r = cli(h, {u"undo"_s});
        EXPECT_TRUE(r.err.startsWith(u"The herd database cannot be read ("_s))
                << r.err.toStdString();
        r = cli(h, {u"--yes"_s, u"undo"_s});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(r.out, u"Undone: Change Herdcode\n"_s);
        EXPECT_EQ(data(h), loaded);
        // The state it replaced cannot be read: kept, but never put back.
        r = cli(h, {u"--yes"_s, u"undo"_s});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains(u"is damaged"_s)) << r.err.toStdString();
        EXPECT_EQ(data(h), loaded);
    }
}

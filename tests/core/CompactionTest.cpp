#include "Compaction.h"
#include "Error.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

QByteArray bytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The rows of table 104 in a database file.
QStringList rowsOf(const QString &folder, const QString &file)
{
    test::TestHome probe;
    QFile::remove(probe.path() + u"Tembra.db"_s);
    QFile::copy(folder + file, probe.path() + u"Tembra.db"_s);
    return probe.rows(u"SELECT HerdCode, Milk FROM \"104\" ORDER BY rowid"_s);
}

// Files that a compaction may leave behind besides the database and its backup.
QStringList leftovers(const QString &folder)
{
    return QDir(folder).entryList({u"Tembra.compact-*"_s, u"*-journal"_s}, QDir::Files);
}

// Five rows in table 104 of a database with many free pages (3,000 rows written, most deleted),
// its connection closed as at the end of the program.
void fillWithFreePages(Tdm &dm)
{
    dm.exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "INSERT INTO \"104\" (HerdCode, Milk) SELECT printf('H%05d', i), i FROM n"_s);
    dm.exec(u"DELETE FROM \"104\" WHERE Milk > 5"_s);
    dm.close();
}

} // namespace

TEST(Compaction, backupHoldsTheStateAtCloseAndTheCompactedFileTheSameRows)
{
    test::TestHome home;
    const QString db = home.path() + u"Tembra.db"_s;
    fillWithFreePages(home.dm());
    const QByteArray atClose = bytes(db);
    const QStringList rows = rowsOf(home.path(), u"Tembra.db"_s);
    ASSERT_EQ(rows.size(), 5);

    test::RecordingProgress progress;
    EXPECT_TRUE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s, &progress));
    // The progress window shows the compaction, its gauge full at the end (of about the pages
    // in use); the caller hides it.
    EXPECT_EQ(progress.statuses, QStringList{u"Compacting Database"_s});
    EXPECT_EQ(progress.shows, 1);
    EXPECT_EQ(progress.percent(), 100);
    EXPECT_GE(progress.maximum(), QFileInfo(db).size() / 2);
    EXPECT_LE(progress.maximum(), atClose.size());
    EXPECT_EQ(bytes(home.path() + u"Backup.db"_s), atClose);
    EXPECT_LT(QFileInfo(db).size(), atClose.size());
    EXPECT_EQ(rowsOf(home.path(), u"Tembra.db"_s), rows);
    EXPECT_TRUE(leftovers(home.path()).isEmpty())
            << leftovers(home.path()).join(u' ').toStdString();

    // A second close replaces the backup with the state at that close.
    {
        Tdm dm(home.path());
        dm.ConnectDB();
        dm.exec(u"INSERT INTO \"104\" (HerdCode) VALUES ('SECOND')"_s);
    }
    const QByteArray second = bytes(db);
    EXPECT_TRUE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s));
    EXPECT_EQ(bytes(home.path() + u"Backup.db"_s), second);
    EXPECT_EQ(rowsOf(home.path(), u"Tembra.db"_s).last(), u"SECOND|<null>"_s);
}

TEST(Compaction, withoutADatabaseTheBackupIsLeftAlone)
{
    test::TestHome home;
    const QString db = home.path() + u"Tembra.db"_s;
    ASSERT_TRUE(QFile::rename(db, home.path() + u"Backup.db"_s));
    const QByteArray backup = bytes(home.path() + u"Backup.db"_s);
    EXPECT_FALSE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s));
    EXPECT_EQ(bytes(home.path() + u"Backup.db"_s), backup);
    EXPECT_FALSE(QFile::exists(db));
}

TEST(Compaction, failureKeepsTheDatabaseAsItWasAtClose)
{
    // A damaged database cannot be compacted; a folder in the backup's place cannot be replaced.
    for (const bool damaged : {true, false}) {
        test::TestHome home;
        const QString db = home.path() + u"Tembra.db"_s;
        home.dm().exec(u"INSERT INTO \"104\" (HerdCode) VALUES ('KEEP')"_s);
        home.dm().close();
        if (damaged) {
            QByteArray junk = bytes(db);
            junk.replace(0, 16, "not a database!!");
            home.write(u"Tembra.db"_s, junk);
            home.write(u"Backup.db"_s, "old backup");
        } else {
            ASSERT_TRUE(QDir().mkpath(home.path() + u"Backup.db/inside"_s));
        }
        const QByteArray atClose = bytes(db);

        EXPECT_THROW(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s), Error) << damaged;
        EXPECT_EQ(bytes(db), atClose) << damaged;
        EXPECT_TRUE(leftovers(home.path()).isEmpty()) << damaged;
        if (damaged)
            EXPECT_EQ(bytes(home.path() + u"Backup.db"_s), QByteArray("old backup"));
        else
            EXPECT_EQ(rowsOf(home.path(), u"Tembra.db"_s), QStringList{u"KEEP|<null>"_s});
    }
}

TEST(Compaction, theCompactedDatabaseKeepsThePermissionsOfTheOldOne)
{
    test::TestHome home;
    const QString db = home.path() + u"Tembra.db"_s;
    for (const mode_t mode : {mode_t(0664), mode_t(0640), mode_t(0600)}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(QFile::encodeName(db).constData(), mode), 0);
        ASSERT_TRUE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s));
        struct stat st;
        ASSERT_EQ(::stat(QFile::encodeName(db).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
    }
}

// A herd database that is a symbolic link stays one: the file it points to gets the compacted
// data and keeps its place; the backup is a copy of it as it was at close.
TEST(Compaction, aLinkedDatabaseStaysALinkToTheCompactedData)
{
    test::TestHome home;
    QTemporaryDir elsewhere;
    const QString target = elsewhere.path() + u"/herd.db"_s;
    const QString db = home.path() + u"Tembra.db"_s;
    fillWithFreePages(home.dm());
    ASSERT_TRUE(QFile::rename(db, target));
    ASSERT_TRUE(QFile::link(target, db));
    const QByteArray atClose = bytes(target);
    const QStringList rows = rowsOf(elsewhere.path() + u'/', u"herd.db"_s);
    ASSERT_EQ(rows.size(), 5);

    EXPECT_TRUE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s));
    EXPECT_TRUE(QFileInfo(db).isSymLink());
    EXPECT_EQ(QFileInfo(db).symLinkTarget(), target);
    EXPECT_LT(QFileInfo(target).size(), atClose.size());
    EXPECT_EQ(rowsOf(elsewhere.path() + u'/', u"herd.db"_s), rows);
    EXPECT_EQ(bytes(home.path() + u"Backup.db"_s), atClose);
    EXPECT_FALSE(QFileInfo(home.path() + u"Backup.db"_s).isSymLink());
    EXPECT_EQ(leftovers(home.path()), QStringList());
    EXPECT_EQ(leftovers(elsewhere.path()), QStringList());
}

// A new herd database has 16 KB pages; one made with smaller pages (as earlier builds made it)
// gets them at its next compaction, keeping every row.
TEST(Compaction, aDatabaseWithSmallerPagesMovesToSixteenKilobytePages)
{
    test::TestHome home;
    EXPECT_EQ(home.rows(u"PRAGMA page_size"_s), QStringList{u"16384"_s});
    home.dm().exec(u"PRAGMA page_size = 4096"_s);
    home.dm().exec(u"VACUUM"_s);
    fillWithFreePages(home.dm());
    home.dm().ConnectDB();
    EXPECT_EQ(home.rows(u"PRAGMA page_size"_s), QStringList{u"4096"_s});
    home.dm().close();
    const QStringList rows = rowsOf(home.path(), u"Tembra.db"_s);
    ASSERT_EQ(rows.size(), 5);

    ASSERT_TRUE(compactDatabase(home.path(), u"Tembra"_s, u"Backup"_s));
    home.dm().ConnectDB();
    EXPECT_EQ(home.rows(u"PRAGMA page_size"_s), QStringList{u"16384"_s});
    EXPECT_EQ(rowsOf(home.path(), u"Tembra.db"_s), rows);
    EXPECT_EQ(home.rows(u"PRAGMA integrity_check"_s), QStringList{u"ok"_s});
}

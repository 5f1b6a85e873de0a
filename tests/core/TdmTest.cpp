#include "Tdm.h"
#include "Error.h"
#include "Schema.h"
#include "TestSupport.h"

#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

TEST(Schema, tablesFollowTheLayouts)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    // Current version's fields first, then the fields only older versions have.
    const QStringList cols = dm.columns(u"104"_s);
    EXPECT_EQ(cols.first(), u"RecordType"_s);
    EXPECT_EQ(cols.at(23), u"RecordingDevice"_s);
    EXPECT_EQ(dm.columnTypes(u"104"_s).at(5), u"DATE"_s);
    EXPECT_EQ(dm.columnTypes(u"104"_s).at(9), u"REAL"_s);
    EXPECT_EQ(dm.columnTypes(u"104"_s).at(14), u"INTEGER"_s);
    EXPECT_EQ(dm.columns(u"MergeCow"_s), dm.columns(u"102"_s));
    for (const QString &code : {u"101"_s, u"211"_s})
        EXPECT_FALSE(dm.columns(code).isEmpty()) << code.toStdString();
}

TEST(Schema, existingDatabaseIsNeverReplaced)
{
    test::TestHome home;
    ASSERT_TRUE(home.dm().RunSQL(u"INSERT INTO [101] (HerdCode) VALUES ('H1')"_s));
    EXPECT_FALSE(createDatabase(home.path()));
    EXPECT_EQ(home.rows(u"SELECT HerdCode FROM [101]"_s), QStringList{u"H1"_s});
}

TEST(Tdm, connectRefusesMissingOrDamagedFile)
{
    test::TestHome home;
    QFile::remove(home.path() + u"Tembra.db"_s);
    Tdm dm(home.path());
    EXPECT_THROW(dm.ConnectDB(), Error);
    EXPECT_FALSE(QFile::exists(home.path() + u"Tembra.db"_s)) << "ConnectDB created a database";
    home.write(u"Tembra.db"_s, QByteArray(4096, 'x'));
    EXPECT_THROW(dm.ConnectDB(), Error);
}

TEST(Tdm, runSqlReportsFailureWithoutRaising)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    EXPECT_FALSE(dm.RunSQL(u"DELETE FROM [999]"_s));
    EXPECT_FALSE(dm.lastError().isEmpty());
    EXPECT_TRUE(dm.RunSQL(u"DELETE FROM [104]"_s));
    EXPECT_TRUE(dm.RunSQL(u"UPDATE \"104\" SET VersionNo = 2"_s));
}

TEST(Tdm, fieldExistsProbesTableAndColumn)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    EXPECT_TRUE(dm.FieldExists(u"104"_s, u"Milk"_s));
    EXPECT_TRUE(dm.FieldExists(u"104"_s, u"milk"_s)); // names compare without regard to case
    EXPECT_FALSE(dm.FieldExists(u"104"_s, u"NoSuchColumn"_s));
    EXPECT_FALSE(dm.FieldExists(u"999"_s, u"Milk"_s));
    EXPECT_FALSE(dm.FieldExists(u"104"_s, u"Milk\" FROM \"101"_s));
}

TEST(Tdm, getRecordCountCountsAndAsksForReopen)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    for (int i = 0; i < 3; ++i)
        dm.RunSQL(u"INSERT INTO [104] (CowID, Milk) VALUES ('C%1', %2)"_s.arg(i).arg(10 * i));
    QSignalSpy reopen(&dm, &Tdm::browseReopenRequested);
    EXPECT_EQ(dm.GetRecordCount(u"SELECT * FROM [104] WHERE Milk > 5"_s), 2);
    EXPECT_EQ(reopen.count(), 1);
    EXPECT_THROW(dm.GetRecordCount(u"SELECT * FROM [999]"_s), Error);
    EXPECT_EQ(reopen.count(), 1);
}

TEST(Tdm, transactionRollsBackUnlessCommitted)
{
    test::TestHome home;
    Tdm &dm = home.dm();
    {
        Transaction t(dm);
        dm.RunSQL(u"INSERT INTO [101] (HerdCode) VALUES ('A')"_s);
    }
    EXPECT_EQ(dm.rowCount(u"101"_s), 0);
    {
        Transaction t(dm);
        dm.RunSQL(u"INSERT INTO [101] (HerdCode) VALUES ('A')"_s);
        t.commit();
    }
    EXPECT_EQ(dm.rowCount(u"101"_s), 1);
}

TEST(Dates, usaAndSqlForms)
{
    EXPECT_EQ(USADate(QDate(2021, 3, 5)), u"3/5/2021"_s);
    EXPECT_EQ(USADate(QDate(2021, 12, 15)), u"12/15/2021"_s);
    EXPECT_EQ(USADate(QDate(2000, 1, 1)), u"1/1/2000"_s);
    EXPECT_EQ(SQLDate(QDate(2021, 3, 5)), u"'2021-03-05'"_s);
    EXPECT_EQ(SQLDate(QDate(999, 12, 31)), u"'0999-12-31'"_s);
    // The literal compares with stored dates as dates do.
    test::TestHome home;
    home.dm().RunSQL(u"INSERT INTO [103] (CalvingDate) VALUES ('2021-03-05'), ('2021-12-15')"_s);
    EXPECT_EQ(home.dm().GetRecordCount(u"SELECT * FROM [103] WHERE CalvingDate BETWEEN "_s
                                       + SQLDate(QDate(2021, 3, 1)) + u" and "_s
                                       + SQLDate(QDate(2021, 6, 30))),
              1);
}

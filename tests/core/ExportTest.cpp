#include "Error.h"
#include "TableExport.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

// A program folder with a table "t" and the layout DIF999V1.ini for it; the record type named
// in messages is therefore 999.
struct Fixture
{
    test::TestHome home;
    test::RecordingProgress progress;
    QString target = home.path() + u"out.999"_s;

    void table(const QString &columns, const QStringList &values)
    {
        home.dm().exec(u"DROP TABLE IF EXISTS t"_s);
        home.dm().exec(u"CREATE TABLE t (%1)"_s.arg(columns));
        for (const QString &v : values)
            home.dm().exec(u"INSERT INTO t VALUES (%1)"_s.arg(v));
    }
    void layout(const QByteArray &records)
    {
        home.writeLayout(u"DIF999V1.ini"_s, "[Records]\n" + records);
    }
    qint64 dif()
    {
        TableExport writer(home.dm(), progress);
        return writer.ExportDIF(u"SELECT * FROM t"_s, target, u"DIF999V1.ini"_s, true);
    }
    qint64 csv(const QString &path)
    {
        TableExport writer(home.dm(), progress);
        return writer.ExportCSV(u"SELECT * FROM t"_s, path, true, true);
    }
};

} // namespace

TEST(ExportDif, writesEachFieldByItsType)
{
    struct Case
    {
        const char *name;
        const char *declared; // the column's type
        const char *value;    // SQL literal
        const char *field;    // type,start,width[,scale[,decimals]]
        QByteArray expected;
    };
    const Case cases[] = {
            {"string padded right", "TEXT", "'AB'", "String,1,6", "AB    "},
            {"string trimmed", "TEXT", "' AB'||char(9)", "String,1,4", "AB  "},
            {"string null", "TEXT", "NULL", "String,1,4", "    "},
            {"string in Windows-1252", "TEXT", "'Zoë'", "String,1,4", "Zo\xEB "},
            {"number padded left", "INTEGER", "212", "Number,1,5", "  212"},
            {"number negative", "INTEGER", "-12", "Number,1,3", "-12"},
            {"number with a fraction", "INTEGER", "1.5", "Number,1,4", " 1.5"},
            {"number null", "INTEGER", "NULL", "Number,1,3", "   "},
            {"float with decimals", "REAL", "3.14159", "Float,1,8,,2", "    3.14"},
            {"float with scale", "REAL", "12.25", "Float,1,5,10", "  123"},
            {"float half away from zero", "REAL", "-1.5", "Float,1,3,1", " -2"},
            {"decimals win over scale", "REAL", "1.5", "Float,1,4,10,1", " 1.5"},
            {"exact half", "REAL", "2.5", "Float,1,2,,0", " 3"},
            {"2.675 lies below the half", "REAL", "2.675", "Float,1,5,,2", " 2.67"},
            {"0.125 is exact", "REAL", "0.125", "Float,1,5,,2", " 0.13"},
            {"scaled product just below", "REAL", "0.29", "Float,1,4,100", "  29"},
            {"no negative zero", "REAL", "-0.04", "Float,1,3,10", "  0"},
            {"float null stays blank", "REAL", "NULL", "Float,1,4,10", "    "},
            {"float plain shortest", "REAL", "0.3", "Float,1,6", "   0.3"},
            {"float plain exact", "REAL", "0.1+0.2", "Float,1,20", " 0.30000000000000004"},
            {"float plain whole", "REAL", "250", "Float,1,4", " 250"},
            {"date", "DATE", "'2021-03-05'", "Date,1,8", "20210305"},
            {"date before 1000", "DATE", "'0999-01-31'", "Date,1,8", "09990131"},
            {"date with a time", "DATE", "'2021-03-05 13:00:00'", "Date,1,8", "20210305"},
            {"date null", "DATE", "NULL", "Date,1,8", "        "},
            {"date null in a wider field", "DATE", "NULL", "Date,1,10", "          "},
    };
    Fixture f;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        f.table(u"V "_s + QString::fromLatin1(c.declared), {QString::fromUtf8(c.value)});
        f.layout("01=V," + QByteArray(c.field) + "\n");
        EXPECT_EQ(f.dif(), 1);
        EXPECT_EQ(test::readFile(f.target), c.expected + "\r\n");
    }
}

TEST(ExportDif, placesFieldsAtTheirColumnsAndFindsColumnsWithoutCase)
{
    Fixture f;
    f.table(u"a TEXT, b INTEGER"_s, {u"'x', 7"_s, u"'yy', NULL"_s});
    // Columns 3 and 4 belong to no field; names differ from the columns in case only.
    f.layout("02=B,Number,5,2\n01=A,String,1,2\n");
    EXPECT_EQ(f.dif(), 2);
    EXPECT_EQ(test::readFile(f.target), QByteArray("x    7\r\nyy    \r\n"));
    EXPECT_EQ(f.progress.statuses, QStringList{u"Exporting DIF 999"_s});
    EXPECT_EQ(f.progress.records(), u"2"_s);
    EXPECT_FALSE(f.progress.isVisible());
}

TEST(ExportDif, refusesWhatCouldNotBeReadBackAndKeepsTheOldFile)
{
    struct Case
    {
        const char *name;
        const char *declared;
        const char *value; // in row 2, after a good row
        QByteArray field;
        QStringList message; // parts the message must hold
    };
    const Case cases[] = {
            {"wider text",
             "TEXT",
             "'ABCDEFGHI'",
             "01=V,String,1,8\n",
             {u"table 999"_s, u"row 2"_s, u"field V"_s, u"ABCDEFGHI"_s, u"wider"_s}},
            {"wider number",
             "INTEGER",
             "123456",
             "01=V,Number,1,5\n",
             {u"row 2"_s, u"field V"_s, u"123456"_s, u"wider"_s}},
            {"wider scaled float",
             "REAL",
             "12345.6",
             "01=V,Float,1,5,10\n",
             {u"row 2"_s, u"123456"_s, u"wider"_s}},
            {"no date", "DATE", "'5/3/2021'", "01=V,Date,1,8\n", {u"row 2"_s, u"not a date"_s}},
            {"impossible date", "DATE", "'2021-02-30'", "01=V,Date,1,8\n", {u"not a date"_s}},
            {"date wider than its field", "DATE", "'2021-02-03'", "01=V,Date,1,6\n", {u"wider"_s}},
            {"character outside Windows-1252",
             "TEXT",
             "'Жук'",
             "01=V,String,1,8\n",
             {u"row 2"_s, u"Windows-1252"_s}},
            {"line break", "TEXT", "'A'||char(10)||'B'", "01=V,String,1,8\n", {u"line break"_s}},
            {"text in a number column",
             "INTEGER",
             "'abc'",
             "01=V,Number,1,8\n",
             {u"not a number"_s}},
            {"no such column", "TEXT", "'A'", "01=W,String,1,8\n", {u"no column W"_s}},
            {"overlapping fields",
             "TEXT",
             "'A'",
             "01=V,String,1,4\n02=V,String,3,2\n",
             {u"inside the field V"_s}},
            {"layout without fields", "TEXT", "'A'", "", {u"describes no fields"_s}},
            {"width that is no number",
             "TEXT",
             "'A'",
             "01=V,String,1,x\n",
             {u"'x' is not a valid integer value"_s}},
    };
    Fixture f;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        f.table(u"V "_s + QString::fromLatin1(c.declared), {u"NULL"_s, QString::fromUtf8(c.value)});
        f.layout(c.field);
        f.home.write(f.target, "old\r\n");
        try {
            f.dif();
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            for (const QString &part : c.message)
                EXPECT_TRUE(e.message().contains(part)) << e.message().toStdString();
        }
        EXPECT_EQ(test::readFile(f.target), QByteArray("old\r\n"));
        EXPECT_FALSE(f.progress.isVisible());
    }

    QFile::remove(f.home.path() + u"Defs/DIF999V1.ini"_s);
    try {
        f.dif(); // no layout file at all
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"DIF999V1.ini\" does not exist"_s))
                << e.message().toStdString();
    }
}

TEST(ExportDif, emptyQueryRemovesTheOldFileAndWritesNone)
{
    Fixture f;
    f.table(u"V TEXT"_s, {});
    f.layout("01=V,String,1,3\n");
    f.home.write(f.target, "old\r\n");
    EXPECT_EQ(f.dif(), 0);
    EXPECT_FALSE(QFile::exists(f.target));
    EXPECT_EQ(f.progress.shows, 0);
}

TEST(ExportCsv, writesCellsByDeclaredType)
{
    Fixture f;
    f.table(u"T TEXT, I INTEGER, R REAL, D DATE, B BOOLEAN, N NUMERIC"_s,
            {u"'plain', 42, 3.14159, '2021-03-05', 1, 7"_s,
             u"'say \"hi\", ok', -3, 2.675, '2021-03-05 13:04:05', 0, 2.5"_s,
             u"'\"quoted\"', 1.5, 0.125, '0999-01-31', NULL, 'text'"_s,
             u"NULL, NULL, NULL, NULL, NULL, NULL"_s, u"'', 0, 100.0, 'someday', 2, 1e15"_s,
             u"'Zoë', 0, -0.001, NULL, NULL, NULL"_s, u"NULL, NULL, 1e15, NULL, NULL, NULL"_s});
    const QString path = f.home.path() + u"t.csv"_s;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::Australia));
    EXPECT_EQ(f.csv(path), 7);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(test::readFile(path),
              QByteArray("T,I,R,D,B,N\r\n"
                         "\"plain\",42,3.14,\"5/3/2021\",True,7\r\n"
                         "\"say \"\"hi\"\", ok\",-3,2.67,\"5/3/2021 1:04:05 PM\","
                         "False,2.5\r\n"
                         "\"\"\"quoted\"\"\",1.5,0.13,\"31/1/0999\",,\"text\"\r\n"
                         ",,,,,\r\n"
                         ",0,100,\"someday\",True,1000000000000000\r\n"
                         "\"Zo\xEB\",0,0,,,\r\n"
                         ",,1E15,,,\r\n"));
    EXPECT_EQ(f.progress.statuses.last(), u"Exporting Data."_s);
    EXPECT_FALSE(f.progress.isVisible());
}

TEST(ExportCsv, numbersKeepTheDotInAnyLocale)
{
    Fixture f;
    f.table(u"R REAL, D DATE"_s, {u"1234.5, '2021-03-05'"_s});
    const QString path = f.home.path() + u"t.csv"_s;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    f.csv(path);
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(test::readFile(path), QByteArray("R,D\r\n1234.5,\"05.03.2021\"\r\n"));
}

TEST(ExportCsv, readsBackWithPythonsCsvModule)
{
    Fixture f;
    f.table(u"Name TEXT, Count INTEGER, Milk REAL"_s,
            {u"'a, b', 1, 12.5"_s, u"'He said \"no\"', -2, 0.25"_s,
             u"'two'||char(13)||char(10)||'lines', 3, 100"_s, u"'Zoë ''s', 4, -7.75"_s});
    const QString path = f.home.path() + u"t.csv"_s;
    f.csv(path);
    const test::ProcessResult r = test::runProgram(
            u"python3"_s, {u"-c"_s,
                           u"import csv,sys\n"
                           "with open(sys.argv[1], newline='', encoding='cp1252') as f:\n"
                           "    for row in csv.reader(f): print(repr(row))\n"_s,
                           path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, u"['Name', 'Count', 'Milk']\n"
                     "['a, b', '1', '12.5']\n"
                     "['He said \"no\"', '-2', '0.25']\n"
                     "['two\\r\\nlines', '3', '100']\n"
                     "[\"Zoë 's\", '4', '-7.75']\n"_s);
}

TEST(ExportCsv, emptyTableWritesTheHeaderAndErrorsKeepTheOldFile)
{
    Fixture f;
    f.table(u"A TEXT, B INTEGER"_s, {});
    const QString path = f.home.path() + u"t.csv"_s;
    f.home.write(path, "old\r\n");
    EXPECT_EQ(f.csv(path), 0);
    EXPECT_EQ(test::readFile(path), QByteArray("A,B\r\n"));

    f.home.write(path, "old\r\n");
    f.table(u"A TEXT, B INTEGER"_s, {u"'ok', 1"_s, u"'Жук', 2"_s});
    try {
        f.csv(path);
        ADD_FAILURE() << "no error";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"row 2, column A"_s)) << e.message().toStdString();
    }
    EXPECT_EQ(test::readFile(path), QByteArray("old\r\n"));
    EXPECT_FALSE(f.progress.isVisible());
}

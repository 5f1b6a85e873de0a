#include "Layout.h"
#include "Error.h"
#include "Importer.h"
#include "TableExport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

TEST(RecordTypes, twelveInTabOrder)
{
    EXPECT_EQ(recordTypeCodes().join(u','), u"101,102,103,104,105,106,107,108,112,114,202,211"_s);
    EXPECT_EQ(recordTypes().at(7).description, u"Mating && Preg Test"_s);
    EXPECT_EQ(displayDescription(recordTypes().at(7).description), u"Mating & Preg Test"_s);
    EXPECT_EQ(recordTypeIndex(u"112"_s), 8);
    EXPECT_EQ(recordTypeIndex(u"999"_s), -1);
}

TEST(Layouts, keysInNumberOrderWhateverTheLineOrder)
{
    test::TestHome home;
    home.writeLayout(u"DIF999V1.ini"_s, "; comment\r\n[records]\r\n03 = C,Date,9,8\r\n"
                                        "01=A,String,1,3\r\n02=B,Float,4,5,10\r\n[Other]\r\n"
                                        "04=X,String,1,1\r\n");
    const Layout l = readLayout(home.path(), u"DIF999V1.ini"_s);
    ASSERT_EQ(l.size(), 3);
    EXPECT_EQ(l[0].name, u"A"_s);
    EXPECT_EQ(l[1].scale.value(), 10);
    EXPECT_FALSE(l[1].decimals.isGiven());
    EXPECT_EQ(l[2].name, u"C"_s);
    EXPECT_EQ(l[2].type, FieldType::Date);
}

TEST(Layouts, itemsScaleAndDecimals)
{
    test::TestHome home;
    home.writeLayout(u"DIF999V1.ini"_s, "[Records]\n01=A,Float,1,3\n02=B,Float,4,3,\n"
                                        "03=C,Float,7,3,10\n04=D,Float,10,3,,2\n"
                                        "05=E,String,13,1,1,2,ignored\n");
    const Layout l = readLayout(home.path(), u"DIF999V1.ini"_s);
    ASSERT_EQ(l.size(), 5);
    EXPECT_TRUE(l[0].scale.text().isEmpty() && l[0].decimals.text().isEmpty());
    EXPECT_TRUE(l[1].scale.text().isEmpty() && l[1].decimals.text().isEmpty());
    EXPECT_EQ(l[2].scale.value(), 10);
    EXPECT_TRUE(l[3].scale.text().isEmpty());
    EXPECT_EQ(l[3].decimals.value(), 2);
    EXPECT_EQ(l[4].decimals.value(), 2);
}

TEST(Layouts, twoDigitKeysFromTenOn)
{
    test::TestHome home;
    QByteArray ini = "[Records]\n";
    for (int i = 1; i <= 12; ++i)
        ini += QByteArray::number(100 + i).right(2) + "=F" + QByteArray::number(i) + ",String,"
               + QByteArray::number(i) + ",1\n";
    home.writeLayout(u"DIF999V1.ini"_s, ini);
    const Layout l = readLayout(home.path(), u"DIF999V1.ini"_s);
    ASSERT_EQ(l.size(), 12);
    EXPECT_EQ(l[8].name, u"F9"_s);
    EXPECT_EQ(l[9].name, u"F10"_s);
}

TEST(Layouts, missingFileOrSectionGivesNoFields)
{
    test::TestHome home;
    EXPECT_TRUE(readLayout(home.path(), u"DIF999V9.ini"_s).isEmpty());
    home.writeLayout(u"DIF999V1.ini"_s, "[Other]\n01=A,String,1,3\n");
    EXPECT_TRUE(readLayout(home.path(), u"DIF999V1.ini"_s).isEmpty());
}

TEST(Layouts, refusedWithClearErrors)
{
    test::TestHome home;
    QByteArray hundred = "[Records]\n";
    for (int i = 1; i <= 100; ++i)
        hundred += QByteArray::number(i) + "=F,String,1,1\n";
    const struct
    {
        const char *name;
        QByteArray ini;
        QString message;
    } cases[] = {
            {"too few items", "[Records]\n01=A,String,1\n",
             u"key 01, holds fewer than four items (name, type, start, width): List index out of "
             "bounds (3)"_s},
            {"missing key", "[Records]\n01=A,String,1,3\n03=C,String,4,1\n",
             u"has no key 02 (its keys run from 01 to 02 without a gap): List index out of bounds "
             "(1)"_s},
            {"unknown type", "[Records]\n01=A,string,1,3\n", u"type \"string\""_s},
            {"scale of 0", "[Records]\n01=A,Float,1,3,0\n", u"scale of 0"_s},
            {"more than 99", hundred, u"at most 99"_s},
    };
    for (const auto &c : cases) {
        home.writeLayout(u"DIF999V1.ini"_s, c.ini);
        try {
            readLayout(home.path(), u"DIF999V1.ini"_s);
            ADD_FAILURE() << c.name << ": accepted";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(c.message)) << c.name << ": " << e.what();
            EXPECT_TRUE(e.message().contains(u"DIF999V1.ini"_s)) << c.name;
        }
    }
}

TEST(Layouts, currentVersionsOfTheShippedLayouts)
{
    test::TestHome home;
    EXPECT_EQ(currentVersion(home.path(), u"104"_s), u"2"_s);
    EXPECT_EQ(currentVersion(home.path(), u"211"_s), u"3"_s);
    EXPECT_EQ(currentVersion(home.path(), u"999"_s), u""_s);
    // Every shipped layout reads, starts with RecordType and VersionNo, and is contiguous.
    for (const RecordType &t : recordTypes()) {
        const Layout l
                = readLayout(home.path(), layoutName(t.code, currentVersion(home.path(), t.code)));
        ASSERT_GE(l.size(), 2) << t.code.toStdString();
        EXPECT_EQ(l[0].name, u"RecordType"_s);
        EXPECT_EQ(l[1].name, u"VersionNo"_s);
        int next = 1;
        for (const FieldDef &f : l) {
            EXPECT_EQ(f.start.value(), next) << t.code.toStdString() << " " << f.name.toStdString();
            next = f.start.value() + f.width.value();
        }
    }
}

TEST(GetDIFVersion, characterFourOfTheFirstLine)
{
    test::TestHome home;
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString version;
    } cases[] = {
            {"plain", "1024ABC\r\n1031\r\n", u"4"_s},
            {"empty", "", u""_s},
            {"three characters", "104\r\n1042\r\n", u""_s},
            {"utf8 bom skipped",
             "\xEF\xBB\xBF"
             "1042xyz",
             u"2"_s},
            {"utf16 bom skipped",
             QByteArray("\xFF\xFE"
                        "1\0"
                        "0\0"
                        "4\0"
                        "2\0",
                        10),
             u"2"_s},
            {"cr only", "1043\r1042", u"3"_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(GetDIFVersion(home.write(u"v.104"_s, c.bytes)), c.version) << c.name;
    EXPECT_THROW(GetDIFVersion(home.path() + u"missing.104"_s), Error);
}

TEST(Layouts, blankScaleIsNoScaleForTheWriterAndTheImporterAlike)
{
    // A scale item of blanks is no scale: the field is written in its plain form and read back
    // as the number itself, so a saved file imports again.
    test::TestHome home;
    test::ScriptedPrompter prompter;
    NullProgress progress;
    home.writeLayout(u"DIF999V1.ini"_s,
                     "[Records]\n01=RecordType,String,1,3\n02=VersionNo,Number,4,1\n"
                     "03=Milk,Float,5,6, ,\n");
    home.dm().exec(u"CREATE TABLE t (RecordType TEXT, VersionNo INTEGER, Milk REAL)"_s);
    home.dm().exec(u"INSERT INTO t VALUES ('999', 1, 12.5), ('999', 1, 0.3), ('999', 1, 250), "
                   "('999', 1, NULL)"_s);
    const QString file = home.path() + u"t.999"_s;
    TableExport(home.dm(), progress).ExportDIF(u"SELECT * FROM t"_s, file, u"DIF999V1.ini"_s, true);
    EXPECT_EQ(test::readFile(file), QByteArray("9991  12.5\r\n9991   0.3\r\n9991   250\r\n"
                                               "9991      \r\n"));

    home.dm().exec(u"DELETE FROM t"_s);
    Importer importer(home.dm(), progress, prompter);
    importer.importTypeFile(file, u"999"_s, u"t"_s);
    EXPECT_EQ(home.rows(u"SELECT Milk FROM t ORDER BY rowid"_s),
              (QStringList{u"12.5"_s, u"0.3"_s, u"250.0"_s, u"<null>"_s}));
    EXPECT_TRUE(prompter.questions.isEmpty());
}

TEST(Layouts, startsAndWidthsBeyondAnyLineAreRefusedWhenRead)
{
    test::TestHome home;
    const struct
    {
        const char *name;
        QByteArray field;
    } cases[] = {
            {"start", "02=B,String,2147483647,1\n"},
            {"width", "02=B,String,2,2147483647\n"},
            {"end", "02=B,String,60000,6000\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        home.writeLayout(u"DIF999V1.ini"_s, "[Records]\n01=A,String,1,1\n" + c.field);
        try {
            readLayout(home.path(), u"DIF999V1.ini"_s);
            ADD_FAILURE() << "accepted";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"DIF999V1.ini"_s)) << e.what();
            EXPECT_TRUE(e.message().contains(u"field B"_s)) << e.what();
        }
    }
    // The widest field a line can hold is accepted.
    home.writeLayout(u"DIF999V1.ini"_s, "[Records]\n01=A,String,1,65536\n");
    EXPECT_EQ(readLayout(home.path(), u"DIF999V1.ini"_s).size(), 1);
}

TEST(Layouts, aFileOfManyKeysIsRefusedWithoutReadingItWhole)
{
    // A million keys: reading them all, each checked against the ones before, would take hours.
    test::TestHome home;
    QByteArray ini = "[Records]\n";
    ini.reserve(12'000'000);
    for (int i = 1; i <= 1'000'000; ++i)
        ini += QByteArray::number(i) + "=F,String,1,1\n";
    home.writeLayout(u"DIF999V1.ini"_s, ini);
    try {
        readLayout(home.path(), u"DIF999V1.ini"_s);
        ADD_FAILURE() << "accepted";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"DIF999V1.ini"_s)) << e.what();
        EXPECT_TRUE(e.message().contains(u"at most 99"_s)) << e.what();
    }
}

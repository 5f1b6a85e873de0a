#include "Layout.h"
#include "Error.h"
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
    EXPECT_EQ(l[1].scale, u"10"_s);
    EXPECT_EQ(l[1].decimals, u""_s);
    EXPECT_EQ(l[2].name, u"C"_s);
    EXPECT_EQ(l[2].type, u"Date"_s);
}

TEST(Layouts, itemsScaleAndDecimals)
{
    test::TestHome home;
    home.writeLayout(u"DIF999V1.ini"_s, "[Records]\n01=A,Float,1,3\n02=B,Float,4,3,\n"
                                        "03=C,Float,7,3,10\n04=D,Float,10,3,,2\n"
                                        "05=E,String,13,1,1,2,ignored\n");
    const Layout l = readLayout(home.path(), u"DIF999V1.ini"_s);
    ASSERT_EQ(l.size(), 5);
    EXPECT_TRUE(l[0].scale.isEmpty() && l[0].decimals.isEmpty());
    EXPECT_TRUE(l[1].scale.isEmpty() && l[1].decimals.isEmpty());
    EXPECT_EQ(l[2].scale, u"10"_s);
    EXPECT_TRUE(l[3].scale.isEmpty());
    EXPECT_EQ(l[3].decimals, u"2"_s);
    EXPECT_EQ(l[4].decimals, u"2"_s);
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
            {"too few items", "[Records]\n01=A,String,1\n", u"List index out of bounds (3)"_s},
            {"missing key", "[Records]\n01=A,String,1,3\n03=C,String,4,1\n",
             u"List index out of bounds (1)"_s},
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
            if (QByteArray(c.name) != "too few items" && QByteArray(c.name) != "missing key") {
                EXPECT_TRUE(e.message().contains(u"DIF999V1.ini"_s)) << c.name;
            }
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
            EXPECT_EQ(f.start.toInt(), next) << t.code.toStdString() << " " << f.name.toStdString();
            next = f.start.toInt() + f.width.toInt();
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

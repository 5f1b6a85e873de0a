#include "AdeJson.h"
#include "Error.h"
#include "Loader.h"
#include "Saver.h"
#include "Tdm.h"
#include "TestSupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

namespace {

const QStringList kCollections = {u"icarAnimalCoreCollection"_s, u"icarLactationCollection"_s,
                                  u"icarTestDayResultEventCollection"_s};

// The three files of a save, each with its collection schema, for the validator.
QStringList validationPairs(const QStringList &files)
{
    QStringList pairs;
    for (qsizetype i = 0; i < files.size(); ++i)
        pairs << kCollections.at(i) << files.at(i);
    return pairs;
}

QJsonArray membersOf(const QString &path)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(test::readFile(path), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << path.toStdString();
    const QJsonArray members = doc.object().value(u"member"_s).toArray();
    EXPECT_EQ(doc.object().value(u"view"_s).toObject().value(u"totalItems"_s).toInt(-1),
              members.size());
    return members;
}

SaveResult saveAde(test::TestHome &home, const AdeSettings &settings, const QString &out)
{
    NullProgress progress;
    test::ScriptedPrompter prompter;
    Saver saver(home.dm(), progress, prompter);
    saver.setAdeSettings(settings);
    return saver.save({SaveFormat::ADE, false, recordTypeCodes()}, out);
}

// Animals, lactations and test days that hold what the JSON must carry whole: quotes, a
// backslash, a tab and letters beyond ASCII in texts; a cow without a national ID.
void seedHerd(Tdm &dm)
{
    dm.exec(uR"(INSERT INTO "102" (HerdCode, CowID, NationalID, BirthDate, BreedCode,
                RegisteredName, SireNationalID, DamNationalID, HerdExitDate, ExitReason) VALUES
        ('H1', '7"\', 'HOLAUSF000000000001', '2015-02-03', 'HOL', 'Zoë "Star"' || char(9) || 'x',
         'HOLUSAM000000000009', NULL, '2019-05-01', 'DD'),
        ('H1', '8', NULL, '2016-01-01', 'JER', NULL, NULL, NULL, NULL, NULL),
        ('H1', '9', 'JERAUSF000000000002', NULL, NULL, NULL, NULL, 'JERAUSF000000000001', NULL,
         NULL))"_s);
    dm.exec(uR"(INSERT INTO "103" (NationalID, CalvingDate, LactationNumber, LactationEndDate,
                DaysInMilk, LactationMilk, LactationFatKg, Milk305, Fat305Kg, Protein305Kg,
                MilkingsPerDay, RecordStatus) VALUES
        ('HOLAUSF000000000001', '2017-03-04', 1, '2018-01-20', 322, 7000, 280.5, 6000, 250.1,
         200.2, 2, 'O'),
        ('HOLAUSF000000000001', '2018-03-01', 2, NULL, 120, 3000, NULL, NULL, NULL, NULL, 9, 'E'))"_s);
    dm.exec(uR"(INSERT INTO "104" (NationalID, TestDate, Milk, FatPercent, ProteinPercent,
                CellCount, TestStatus, Bhb) VALUES
        ('HOLAUSF000000000001', '2017-04-01', 28.5, 4.55, NULL, 212, 'S', 0.06),
        ('HOLAUSF000000000001', NULL, NULL, NULL, NULL, NULL, 'N', NULL))"_s);
}

} // namespace

TEST(AdeJsonTest, shouldWriteTheSampleDataSetAsValidCollections)
{
    test::TestHome home;
    NullProgress progress;
    test::ScriptedPrompter prompter;
    Loader(home.dm(), progress, prompter).load(QStringLiteral(BM_SOURCE_DIR "/samples/herd.zip"));
    const SaveResult result = saveAde(home, AdeSettings(), home.path() + u"herd.json"_s);
    const QStringList files
            = {home.path() + u"herd_animals.json"_s, home.path() + u"herd_lactations.json"_s,
               home.path() + u"herd_testdays.json"_s};
    EXPECT_EQ(result.written, files);
    // The other ticked types have no ADE resource and are named as not written.
    EXPECT_EQ(result.noAde.size(), recordTypeCodes().size() - 3);
    EXPECT_EQ(result.withoutId, 0);

    const test::ProcessResult valid = test::validateAde(validationPairs(files));
    EXPECT_EQ(valid.exitCode, 0) << valid.out.toStdString() << valid.err.toStdString();
    EXPECT_EQ(membersOf(files[0]).size(), home.dm().rowCount(u"102"_s));
    EXPECT_EQ(membersOf(files[2]).size(), home.dm().rowCount(u"104"_s));
    // A lactation with 305-day figures is also a "305Days" resource.
    const qint64 with305 = home.dm().countRows(
            u"SELECT * FROM \"103\" WHERE Milk305 IS NOT NULL OR Fat305Kg IS NOT NULL"_s);
    EXPECT_EQ(membersOf(files[1]).size(), home.dm().rowCount(u"103"_s) + with305);
}

TEST(AdeJsonTest, shouldCarryTheFieldsWholeWithTheSchemeAndTheDensity)
{
    test::TestHome home;
    seedHerd(home.dm());
    const QString out = home.path() + u"out.json"_s;
    SaveResult result = saveAde(home, AdeSettings(), out);
    EXPECT_EQ(result.withoutId, 1); // the cow without a national ID
    const QStringList files
            = {home.path() + u"out_animals.json"_s, home.path() + u"out_lactations.json"_s,
               home.path() + u"out_testdays.json"_s};
    const test::ProcessResult valid = test::validateAde(validationPairs(files));
    EXPECT_EQ(valid.exitCode, 0) << valid.out.toStdString() << valid.err.toStdString();

    const QJsonArray animals = membersOf(files[0]);
    ASSERT_EQ(animals.size(), 2);
    const QJsonObject cow = animals[0].toObject();
    EXPECT_EQ(cow[u"identifier"_s].toObject()[u"scheme"_s].toString(), u"hol"_s);
    EXPECT_EQ(cow[u"managementTag"_s].toString(), u"7\"\\"_s);
    EXPECT_EQ(cow[u"officialName"_s].toString(), u"Zoë \"Star\"\tx"_s);
    EXPECT_EQ(cow[u"birthDate"_s].toString(), u"2015-02-03T00:00:00Z"_s);
    EXPECT_EQ(cow[u"status"_s].toString(), u"Dead"_s);
    const QJsonObject sire = cow[u"parentage"_s].toArray()[0].toObject();
    EXPECT_EQ(sire[u"gender"_s].toString(), u"Male"_s);
    EXPECT_EQ(sire[u"identifier"_s].toObject()[u"id"_s].toString(), u"HOLUSAM000000000009"_s);
    const QJsonObject other = animals[1].toObject();
    EXPECT_FALSE(other.contains(u"status"_s));
    EXPECT_EQ(other[u"parentage"_s].toArray()[0].toObject()[u"gender"_s].toString(), u"Female"_s);

    // 7000 and 6000 litres at 1.03 kg a litre; the 305-day figures as a resource of their own.
    const QJsonArray lactations = membersOf(files[1]);
    ASSERT_EQ(lactations.size(), 3);
    const QJsonObject whole = lactations[0].toObject();
    const QJsonObject first305 = lactations[1].toObject();
    EXPECT_EQ(whole[u"lactationType"_s].toString(), u"Normal"_s);
    EXPECT_DOUBLE_EQ(whole[u"milkAmount"_s].toObject()[u"value"_s].toDouble(), 7210);
    EXPECT_EQ(whole[u"lactationLength"_s].toInt(), 322);
    EXPECT_EQ(first305[u"lactationType"_s].toString(), u"305Days"_s);
    EXPECT_EQ(first305[u"id"_s].toString(), u"HOLAUSF000000000001/2017-03-04/305"_s);
    EXPECT_DOUBLE_EQ(first305[u"milkAmount"_s].toObject()[u"value"_s].toDouble(), 6180);
    EXPECT_DOUBLE_EQ(first305[u"proteinAmount"_s].toObject()[u"value"_s].toDouble(), 200.2);
    EXPECT_EQ(whole[u"milkRecordingMethod"_s].toObject()[u"milkingsPerDay"_s].toString(), u"2"_s);
    // Nine milkings a day and an estimated record say nothing ADE can hold.
    EXPECT_FALSE(lactations[2].toObject().contains(u"milkRecordingMethod"_s));

    const QJsonArray tests = membersOf(files[2]);
    ASSERT_EQ(tests.size(), 2);
    const QJsonObject test = tests[0].toObject();
    EXPECT_DOUBLE_EQ(test[u"milkWeight24Hours"_s].toObject()[u"value"_s].toDouble(), 29.355);
    EXPECT_EQ(test[u"testDayCode"_s].toString(), u"Sick"_s);
    QStringList characteristics;
    for (const QJsonValue &c : test[u"milkCharacteristics"_s].toArray())
        characteristics << c[u"characteristic"_s].toString() + u'=' + c[u"value"_s].toString();
    EXPECT_EQ(characteristics.join(u' '), u"FAT=4.55 SCC=212 BHB=0.06"_s);
    EXPECT_FALSE(tests[1].toObject().contains(u"milkWeight24Hours"_s));

    // A scheme and a density of one's own.
    AdeSettings own;
    own.idScheme = u"au.example.nid"_s;
    own.milkDensity = 1;
    saveAde(home, own, out);
    const QJsonObject again = membersOf(files[2])[0].toObject();
    EXPECT_EQ(again[u"animal"_s].toObject()[u"scheme"_s].toString(), u"au.example.nid"_s);
    EXPECT_DOUBLE_EQ(again[u"milkWeight24Hours"_s].toObject()[u"value"_s].toDouble(), 28.5);
}

TEST(AdeJsonTest, shouldKeepTheSettingsAndRefuseADensityThatCannotBe)
{
    test::TestHome home;
    EXPECT_EQ(AdeSettings::read(home.path()).milkDensity, 1.03);
    AdeSettings settings;
    settings.idScheme = u"nl.example"_s;
    settings.milkDensity = 1.032;
    settings.write(home.path());
    const AdeSettings read = AdeSettings::read(home.path());
    EXPECT_EQ(read.idScheme, u"nl.example"_s);
    EXPECT_EQ(read.milkDensity, 1.032);

    // A density of 0 stops the save before any file is touched.
    const QString old = home.write(u"out_animals.json"_s, "old");
    settings.milkDensity = 0;
    EXPECT_THROW(settings.write(home.path()), Error);
    EXPECT_THROW(saveAde(home, settings, home.path() + u"out.json"_s), Error);
    EXPECT_EQ(test::readFile(old), "old");
    EXPECT_EQ(AdeSettings::read(home.path()).milkDensity, 1.032);
}

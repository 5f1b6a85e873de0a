#pragma once

#include "RecordFormat.h"

#include <array>

namespace gen {

// The fields the generator fills, resolved by name from each record type's layout once per
// run. A field a layout lacks stays absent and is skipped when written.
namespace fields {

inline Slot text(const RecordFormat &f, const char *name)
{
    return f.slot(name, Kind::Text);
}
inline Slot value(const RecordFormat &f, const char *name)
{
    return f.slot(name, Kind::Value);
}
inline Slot date(const RecordFormat &f, const char *name)
{
    return f.slot(name, Kind::Date);
}

// HerdCode, CowID and NationalID: the animal key of the cow record types.
struct CowKey
{
    Slot herd, cow, id;
    explicit CowKey(const RecordFormat &f)
        : herd(text(f, "HerdCode"))
        , cow(text(f, "CowID"))
        , id(text(f, "NationalID"))
    {}
};

struct Herd101
{
    Slot herd, centre, recordingCentre, owner, address1, address2, town, state, postcode, phone,
            recordingStart, recordingEnd, scheme, breed, pattern, milkings, size, prefix,
            lastUpdate, propertyId, farmName, email, mobile, system, region, testInterval;
    explicit Herd101(const RecordFormat &f)
        : herd(text(f, "HerdCode"))
        , centre(text(f, "ProcessingCentreCode"))
        , recordingCentre(text(f, "RecordingCentreCode"))
        , owner(text(f, "OwnerName"))
        , address1(text(f, "AddressLine1"))
        , address2(text(f, "AddressLine2"))
        , town(text(f, "Town"))
        , state(text(f, "StateCode"))
        , postcode(text(f, "Postcode"))
        , phone(text(f, "Phone"))
        , recordingStart(date(f, "RecordingStartDate"))
        , recordingEnd(date(f, "RecordingEndDate"))
        , scheme(text(f, "TestingScheme"))
        , breed(text(f, "PredominantBreed"))
        , pattern(text(f, "CalvingPattern"))
        , milkings(value(f, "MilkingsPerDay"))
        , size(value(f, "HerdSize"))
        , prefix(text(f, "HerdPrefix"))
        , lastUpdate(date(f, "LastUpdateDate"))
        , propertyId(text(f, "PropertyID"))
        , farmName(text(f, "FarmName"))
        , email(text(f, "Email"))
        , mobile(text(f, "MobilePhone"))
        , system(text(f, "MilkingSystem"))
        , region(text(f, "RegionCode"))
        , testInterval(value(f, "TestIntervalDays"))
    {}
};

struct Pedigree102
{
    CowKey key;
    Slot birth, breed, composition, name, registration, sire, dam, sireVerified, damVerified,
            multiple, tag, entry, entryReason, exit, exitReason, embryo;
    explicit Pedigree102(const RecordFormat &f)
        : key(f)
        , birth(date(f, "BirthDate"))
        , breed(text(f, "BreedCode"))
        , composition(text(f, "BreedComposition"))
        , name(text(f, "RegisteredName"))
        , registration(text(f, "RegistrationStatus"))
        , sire(text(f, "SireNationalID"))
        , dam(text(f, "DamNationalID"))
        , sireVerified(text(f, "SireVerified"))
        , damVerified(text(f, "DamVerified"))
        , multiple(text(f, "MultipleBirthCode"))
        , tag(text(f, "ElectronicTag"))
        , entry(date(f, "HerdEntryDate"))
        , entryReason(text(f, "EntryReason"))
        , exit(date(f, "HerdExitDate"))
        , exitReason(text(f, "ExitReason"))
        , embryo(text(f, "EmbryoTransfer"))
    {}
};

struct Lactation103
{
    CowKey key;
    Slot calving, number, age, end, endReason, dim, tests, milk, fat, protein, milk305, fat305,
            protein305, cells, milkings, status;
    explicit Lactation103(const RecordFormat &f)
        : key(f)
        , calving(date(f, "CalvingDate"))
        , number(value(f, "LactationNumber"))
        , age(value(f, "AgeAtCalvingMonths"))
        , end(date(f, "LactationEndDate"))
        , endReason(text(f, "LactationEndReason"))
        , dim(value(f, "DaysInMilk"))
        , tests(value(f, "NumberOfTests"))
        , milk(value(f, "LactationMilk"))
        , fat(value(f, "LactationFatKg"))
        , protein(value(f, "LactationProteinKg"))
        , milk305(value(f, "Milk305"))
        , fat305(value(f, "Fat305Kg"))
        , protein305(value(f, "Protein305Kg"))
        , cells(value(f, "AverageCellCount"))
        , milkings(value(f, "MilkingsPerDay"))
        , status(text(f, "RecordStatus"))
    {}
};

struct TestDay104
{
    CowKey key;
    Slot testDate, calving, number, dim, milk, fat, protein, lactose, solids, cells, milkings,
            sampled, status, session, urea, bhb, sample, lab, device;
    explicit TestDay104(const RecordFormat &f)
        : key(f)
        , testDate(date(f, "TestDate"))
        , calving(date(f, "CalvingDate"))
        , number(value(f, "LactationNumber"))
        , dim(value(f, "DaysInMilk"))
        , milk(value(f, "Milk"))
        , fat(value(f, "FatPercent"))
        , protein(value(f, "ProteinPercent"))
        , lactose(value(f, "LactosePercent"))
        , solids(value(f, "TotalSolidsPercent"))
        , cells(value(f, "CellCount"))
        , milkings(value(f, "MilkingsPerDay"))
        , sampled(value(f, "MilkingsSampled"))
        , status(text(f, "TestStatus"))
        , session(text(f, "SamplingSession"))
        , urea(value(f, "MilkUrea"))
        , bhb(value(f, "Bhb"))
        , sample(text(f, "SampleNumber"))
        , lab(text(f, "LabCode"))
        , device(text(f, "RecordingDevice"))
    {}
};

struct Bull105
{
    Slot id, international, birth, breed, name, shortName, aiCode, company, sire, dam, country,
            registration, sireVerified, damVerified, genomic, conditions, polled, casein, updated;
    explicit Bull105(const RecordFormat &f)
        : id(text(f, "NationalID"))
        , international(text(f, "InternationalID"))
        , birth(date(f, "BirthDate"))
        , breed(text(f, "BreedCode"))
        , name(text(f, "RegisteredName"))
        , shortName(text(f, "ShortName"))
        , aiCode(text(f, "AICode"))
        , company(text(f, "AICompanyCode"))
        , sire(text(f, "SireNationalID"))
        , dam(text(f, "DamNationalID"))
        , country(text(f, "CountryOfOrigin"))
        , registration(text(f, "RegistrationStatus"))
        , sireVerified(text(f, "SireVerified"))
        , damVerified(text(f, "DamVerified"))
        , genomic(text(f, "GenomicTested"))
        , conditions(text(f, "GeneticConditions"))
        , polled(text(f, "PolledStatus"))
        , casein(text(f, "BetaCasein"))
        , updated(date(f, "LastUpdateDate"))
    {}
};

struct Workability106
{
    CowKey key;
    Slot date_, calving, number, speed, temperament, likeability, scorer, system;
    explicit Workability106(const RecordFormat &f)
        : key(f)
        , date_(date(f, "ScoreDate"))
        , calving(date(f, "CalvingDate"))
        , number(value(f, "LactationNumber"))
        , speed(value(f, "MilkingSpeed"))
        , temperament(value(f, "Temperament"))
        , likeability(value(f, "Likeability"))
        , scorer(text(f, "ScorerType"))
        , system(text(f, "MilkingSystem"))
    {}
};

struct HerdTest107
{
    Slot herd, testDate, centre, lab, session, milkings, inMilk, tested, dim, milk, fat, protein,
            lactose, solids, cells, totalMilk, totalFat, totalProtein, bulkCells;
    explicit HerdTest107(const RecordFormat &f)
        : herd(text(f, "HerdCode"))
        , testDate(date(f, "TestDate"))
        , centre(text(f, "ProcessingCentreCode"))
        , lab(text(f, "LabCode"))
        , session(text(f, "SamplingSession"))
        , milkings(value(f, "MilkingsPerDay"))
        , inMilk(value(f, "CowsInMilk"))
        , tested(value(f, "CowsTested"))
        , dim(value(f, "AverageDaysInMilk"))
        , milk(value(f, "Milk"))
        , fat(value(f, "FatPercent"))
        , protein(value(f, "ProteinPercent"))
        , lactose(value(f, "LactosePercent"))
        , solids(value(f, "TotalSolidsPercent"))
        , cells(value(f, "CellCount"))
        , totalMilk(value(f, "TotalMilk"))
        , totalFat(value(f, "TotalFatKg"))
        , totalProtein(value(f, "TotalProteinKg"))
        , bulkCells(value(f, "BulkMilkCellCount"))
    {}
};

struct Event108
{
    CowKey key;
    Slot type, date_, service, sire, aiCode, sexed, synchronised, result, foetalAge, expected,
            method, operatorCode, source;
    explicit Event108(const RecordFormat &f)
        : key(f)
        , type(text(f, "EventType"))
        , date_(date(f, "EventDate"))
        , service(text(f, "ServiceType"))
        , sire(text(f, "ServiceSireNationalID"))
        , aiCode(text(f, "ServiceSireAICode"))
        , sexed(text(f, "SexedSemen"))
        , synchronised(text(f, "Synchronised"))
        , result(text(f, "PregTestResult"))
        , foetalAge(value(f, "FoetalAgeDays"))
        , expected(date(f, "ExpectedCalvingDate"))
        , method(text(f, "PregTestMethod"))
        , operatorCode(text(f, "OperatorCode"))
        , source(text(f, "DataSource"))
    {}
};

struct Calving112
{
    CowKey key;
    Slot calving, number, ease, type, calves, sire, source;
    std::array<Slot, 2> calfId, calfSex, calfFate;
    explicit Calving112(const RecordFormat &f)
        : key(f)
        , calving(date(f, "CalvingDate"))
        , number(value(f, "LactationNumber"))
        , ease(value(f, "CalvingEaseScore"))
        , type(text(f, "CalvingType"))
        , calves(value(f, "NumberOfCalves"))
        , sire(text(f, "ServiceSireNationalID"))
        , source(text(f, "DataSource"))
        , calfId{text(f, "Calf1NationalID"), text(f, "Calf2NationalID")}
        , calfSex{text(f, "Calf1Sex"), text(f, "Calf2Sex")}
        , calfFate{text(f, "Calf1Fate"), text(f, "Calf2Fate")}
    {}
};

struct Conformation114
{
    CowKey key;
    Slot date_, classifier, number, calving, final, grade, bodyCondition;
    std::array<Slot, 20> linear;
    std::array<Slot, 4> composite;
    explicit Conformation114(const RecordFormat &f)
        : key(f)
        , date_(date(f, "AssessmentDate"))
        , classifier(text(f, "ClassifierCode"))
        , number(value(f, "LactationNumber"))
        , calving(date(f, "CalvingDate"))
        , final(value(f, "FinalScore"))
        , grade(text(f, "ClassificationGrade"))
        , bodyCondition(value(f, "BodyConditionScore"))
    {
        static const char *const linearNames[20]
                = {"Stature",           "ChestWidth", "BodyDepth",           "Angularity",
                   "RumpAngle",         "RumpWidth",  "RearLegsSideView",    "RearLegsRearView",
                   "FootAngle",         "Locomotion", "ForeUdderAttachment", "RearUdderHeight",
                   "RearUdderWidth",    "UdderDepth", "CentralLigament",     "FrontTeatPlacement",
                   "RearTeatPlacement", "TeatLength", "BoneQuality",         "UdderTexture"};
        static const char *const compositeNames[4]
                = {"DairyStrengthScore", "RumpScore", "FeetLegsScore", "MammaryScore"};
        for (std::size_t i = 0; i < linear.size(); ++i)
            linear[i] = value(f, linearNames[i]);
        for (std::size_t i = 0; i < composite.size(); ++i)
            composite[i] = value(f, compositeNames[i]);
    }
};

// The production breeding values 202 and 211 share.
struct Production
{
    Slot release, milk, fat, protein, fatPercent, proteinPercent, reliability, productionIndex,
            profitIndex, genomic;
    explicit Production(const RecordFormat &f)
        : release(date(f, "ReleaseDate"))
        , milk(value(f, "MilkBV"))
        , fat(value(f, "FatKgBV"))
        , protein(value(f, "ProteinKgBV"))
        , fatPercent(value(f, "FatPercent"))
        , proteinPercent(value(f, "ProteinPercent"))
        , reliability(value(f, "ProductionReliability"))
        , productionIndex(value(f, "ProductionIndex"))
        , profitIndex(value(f, "ProfitIndex"))
        , genomic(text(f, "GenomicFlag"))
    {}
};

struct National202
{
    Slot id, herd;
    Production production;
    Slot herds, lactations, testDays;
    explicit National202(const RecordFormat &f)
        : id(text(f, "NationalID"))
        , herd(text(f, "HerdCode"))
        , production(f)
        , herds(value(f, "NumberOfHerds"))
        , lactations(value(f, "NumberOfLactations"))
        , testDays(value(f, "NumberOfTestDays"))
    {}
};

struct Herd211
{
    CowKey key;
    Production production;
    // Cell count, fertility, fertility reliability, survival, milking speed, temperament,
    // likeability, overall type, mammary, type reliability: the cow's traitBV in this order.
    std::array<Slot, 10> traits;
    Slot health, typeIndex, feedSaved, mastitis, indexReliability;
    explicit Herd211(const RecordFormat &f)
        : key(f)
        , production(f)
        , health(value(f, "HealthIndex"))
        , typeIndex(value(f, "TypeIndex"))
        , feedSaved(value(f, "FeedSavedBV"))
        , mastitis(value(f, "MastitisResistanceBV"))
        , indexReliability(value(f, "IndexReliability"))
    {
        static const char *const names[10]
                = {"CellCountBV",    "FertilityBV",    "FertilityReliability", "SurvivalBV",
                   "MilkingSpeedBV", "TemperamentBV",  "LikeabilityBV",        "OverallTypeBV",
                   "MammaryBV",      "TypeReliability"};
        for (std::size_t i = 0; i < traits.size(); ++i)
            traits[i] = value(f, names[i]);
    }
};

} // namespace fields
} // namespace gen

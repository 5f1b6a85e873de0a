#pragma once

#include <QString>
#include <QStringList>

namespace bm {

class ProgressSink;
class Tdm;

// The herd data as the JSON resources of the ICAR Animal Data Exchange (ADE): cow pedigrees
// (102) as an icarAnimalCoreCollection, lactations (103) as an icarLactationCollection and test
// days (104) as an icarTestDayResultEventCollection, one collection per file.

// What the JSON needs beyond the tables. Kept in Brindlemark.ini of the program folder, so the
// window and the command line use the same.
struct AdeSettings
{
    // The identifier scheme of national IDs. Empty: each ID's own first three letters, in lower
    // case ("hol" for HOLAUSF000041234567).
    QString idScheme;
    // Kilograms per litre: the milk figures of the tables are litres, ADE asks for kilograms.
    double milkDensity = 1.03;

    // The settings of the program folder `home` (the defaults where none are kept).
    static AdeSettings read(const QString &home);
    // Keeps them for the next use. Raises when they are not valid (see check()).
    void write(const QString &home) const;
    // Raises unless the density is a number above 0 and at most 2, and the scheme holds no
    // control character.
    void check() const;
};

// The record types ADE JSON is written for, in tab order: 102, 103 and 104.
QStringList adeTypes();
bool isAdeType(const QString &code);
// The name part of a record type's collection file: "animals", "lactations", "testdays".
QString adeCollectionName(const QString &code);

struct AdeCounts
{
    qint64 members = 0; // resources written
    qint64 skipped = 0; // rows left out: no national ID to name the animal by
};

// Writes one table as its ADE collection. The rows are streamed: memory does not grow with the
// table. The file is UTF-8 JSON, one resource per line; it is written beside the target and
// replaces it only once complete, so an error leaves an existing file as it was.
class AdeWriter
{
public:
    AdeWriter(Tdm &dm, ProgressSink &progress, const AdeSettings &settings);

    // Writes table `code` (102, 103 or 104) to `path`. A lactation with 305-day figures is two
    // resources: the whole lactation ("Normal") and its first 305 days ("305Days").
    AdeCounts write(const QString &code, const QString &path);

private:
    Tdm &m_dm;
    ProgressSink &m_progress;
    AdeSettings m_settings;
};

} // namespace bm

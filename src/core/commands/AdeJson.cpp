#include "AdeJson.h"

#include "Error.h"
#include "FileWrite.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "StoredDate.h"
#include "Tdm.h"

#include <QDir>
#include <QSaveFile>
#include <QSettings>

#include <cmath>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

constexpr qsizetype kChunk = 1 << 20;
const QString kSettingsGroup = u"ADE"_s;
// ICAR's three-letter breed codes (HOL, JER, ...), as the layouts hold them.
constexpr std::string_view kBreedScheme = "org.icar";

QString settingsFile(const QString &home)
{
    return home + u"Brindlemark.ini"_s;
}

// One line of JSON text, built member by member.
class JsonBuilder
{
public:
    void clear()
    {
        m_text.clear();
        m_first.clear();
    }
    const std::string &text() const { return m_text; }

    void beginObject(const char *key = nullptr)
    {
        name(key);
        m_text.push_back('{');
        m_first.push_back(true);
    }
    void endObject()
    {
        m_text.push_back('}');
        m_first.pop_back();
    }
    void beginArray(const char *key)
    {
        name(key);
        m_text.push_back('[');
        m_first.push_back(true);
    }
    void endArray()
    {
        m_text.push_back(']');
        m_first.pop_back();
    }
    void string(const char *key, std::string_view utf8)
    {
        name(key);
        appendString(utf8);
    }
    // A number rounded to `decimals` places, in its shortest form.
    void number(const char *key, double value, int decimals)
    {
        name(key);
        numtext::appendRoundedGeneral(m_text, value, decimals);
    }
    void integer(const char *key, qint64 value)
    {
        name(key);
        numtext::appendInteger(m_text, value);
    }
    // The size of the text now, and a way back to it: an object that turns out empty is taken
    // out again.
    size_t mark() const { return m_text.size(); }
    void backTo(size_t mark, bool first)
    {
        m_text.resize(mark);
        m_first.back() = first;
    }
    bool first() const { return m_first.back(); }

private:
    void name(const char *key)
    {
        if (!m_first.empty()) {
            if (!m_first.back())
                m_text.push_back(',');
            m_first.back() = false;
        }
        if (key) {
            appendString(key);
            m_text.push_back(':');
        }
    }

    void appendString(std::string_view utf8)
    {
        // Text that is not valid UTF-8 (the database does not refuse it) is repaired, so the file
        // stays JSON.
        QByteArray repaired;
        for (const char c : utf8) {
            if (static_cast<unsigned char>(c) >= 0x80) {
                repaired = QString::fromUtf8(utf8.data(), qsizetype(utf8.size())).toUtf8();
                utf8 = std::string_view(repaired.constData(), size_t(repaired.size()));
                break;
            }
        }
        m_text.push_back('"');
        for (const char c : utf8) {
            switch (c) {
            case '"':
                m_text.append("\\\"");
                break;
            case '\\':
                m_text.append("\\\\");
                break;
            case '\n':
                m_text.append("\\n");
                break;
            case '\r':
                m_text.append("\\r");
                break;
            case '\t':
                m_text.append("\\t");
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    static const char hex[] = "0123456789abcdef";
                    m_text.append("\\u00");
                    m_text.push_back(hex[(c >> 4) & 0xF]);
                    m_text.push_back(hex[c & 0xF]);
                } else {
                    m_text.push_back(c);
                }
            }
        }
        m_text.push_back('"');
    }

    std::string m_text;
    std::vector<bool> m_first;
};

// The columns of a table by name, letter case aside; -1 for a column the table lacks.
class Columns
{
public:
    explicit Columns(const RowReader &rows)
    {
        for (int i = 0; i < rows.columnCount(); ++i)
            m_names << rows.columnName(i);
    }
    int operator[](const QString &name) const
    {
        for (int i = 0; i < m_names.size(); ++i)
            if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

private:
    QStringList m_names;
};

// A row's cell, read by column index (-1: the table lacks the column).
class Row
{
public:
    explicit Row(const RowReader &rows)
        : m_rows(rows)
    {}
    // The text, blanks around it taken off; empty for Null.
    std::string_view text(int column) const
    {
        if (column < 0 || m_rows.isNull(column))
            return {};
        const QByteArrayView t = m_rows.text(column);
        std::string_view v(t.data(), size_t(t.size()));
        while (!v.empty() && static_cast<unsigned char>(v.front()) <= ' ')
            v.remove_prefix(1);
        while (!v.empty() && static_cast<unsigned char>(v.back()) <= ' ')
            v.remove_suffix(1);
        return v;
    }
    std::optional<double> number(int column) const
    {
        if (column < 0)
            return std::nullopt;
        const ValueType type = m_rows.type(column);
        if (type != ValueType::Integer && type != ValueType::Real)
            return std::nullopt;
        const double value = m_rows.real(column);
        return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
    }
    // "yyyy-mm-ddT00:00:00Z" of a stored date, or empty.
    std::string dateTime(int column) const
    {
        const std::string_view iso = text(column);
        const QDate date = dateFromStored(QByteArrayView(iso.data(), qsizetype(iso.size())));
        if (!date.isValid() || date.year() < 1 || date.year() > 9999)
            return {};
        return isoDate(date).toStdString() + "T00:00:00Z";
    }
    qint64 rowid() const { return m_rows.integer(0); }

private:
    const RowReader &m_rows;
};

// Streams text to a file that replaces the target only once complete.
class JsonFile
{
public:
    explicit JsonFile(const QString &path)
        : m_path(path)
        , m_file(path)
    {
        // Unbuffered: each chunk reaches the system at once, so a failure shows with its reason.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            throw Error(u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                               m_file.errorString()));
    }
    void write(std::string_view text)
    {
        m_buffer.append(text.data(), qsizetype(text.size()));
        if (m_buffer.size() >= kChunk)
            flush();
    }
    void commit()
    {
        flush();
        if (!m_file.commit())
            throw Error(u"Cannot write file \"%1\". %2"_s.arg(QDir::toNativeSeparators(m_path),
                                                              m_file.errorString()));
    }

private:
    void flush()
    {
        QString why;
        if (!writeAll(m_file, m_buffer, why))
            throw Error(
                    u"Cannot write file \"%1\". %2"_s.arg(QDir::toNativeSeparators(m_path), why));
        m_buffer.resize(0);
    }

    QString m_path;
    QSaveFile m_file;
    QByteArray m_buffer;
};

// Writes the resources of one table, a line each, and the collection around them.
class CollectionWriter
{
public:
    CollectionWriter(const AdeSettings &settings, const RowReader &rows)
        : m_settings(settings)
        , m_scheme(settings.idScheme.toStdString())
        , m_row(rows)
    {}
    virtual ~CollectionWriter() = default;

    // Adds the resources of the current row to `lines`, one JSON text each; false when the row
    // names no animal (it has no national ID).
    virtual bool add(std::vector<std::string> &lines) = 0;

protected:
    // {"id": ..., "scheme": ...} of a national ID.
    void identifier(const char *key, std::string_view id)
    {
        m_json.beginObject(key);
        m_json.string("id", id);
        if (!m_scheme.empty()) {
            m_json.string("scheme", m_scheme);
        } else {
            // The ID's own first three letters name its scheme.
            std::string scheme(id.substr(0, 3));
            for (char &c : scheme)
                c = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
            m_json.string("scheme", scheme);
        }
        m_json.endObject();
    }
    // The id of a lactation or a test day: its animal's and its date ("HOLAUSF000041234567/
    // 2013-08-02"), or its row where it has no date.
    std::string ownId(std::string_view animal, int dateColumn) const
    {
        const std::string date = m_row.dateTime(dateColumn);
        return std::string(animal) + '/'
               + (date.empty() ? "row" + std::to_string(m_row.rowid()) : date.substr(0, 10));
    }
    void textIf(const char *key, std::string_view text)
    {
        if (!text.empty())
            m_json.string(key, text);
    }
    void dateIf(const char *key, int column)
    {
        const std::string date = m_row.dateTime(column);
        if (!date.empty())
            m_json.string(key, date);
    }
    // A mass in kilograms: {"unitCode": "KGM", "value": ...}.
    void kilograms(const char *key, const std::optional<double> &value)
    {
        if (!value)
            return;
        m_json.beginObject(key);
        m_json.string("unitCode", "KGM");
        m_json.number("value", *value, 3);
        m_json.endObject();
    }
    std::optional<double> milkKilograms(int column) const
    {
        const std::optional<double> litres = m_row.number(column);
        return litres ? std::optional<double>(*litres * m_settings.milkDensity) : std::nullopt;
    }

    const AdeSettings &m_settings;
    std::string m_scheme;
    Row m_row;
    JsonBuilder m_json;
};

// 102, a cow pedigree: icarAnimalCoreResource.
class AnimalWriter final : public CollectionWriter
{
public:
    AnimalWriter(const AdeSettings &settings, const RowReader &rows, const Columns &c)
        : CollectionWriter(settings, rows)
        , m_nationalId(c[u"NationalID"_s])
        , m_cowId(c[u"CowID"_s])
        , m_birth(c[u"BirthDate"_s])
        , m_breed(c[u"BreedCode"_s])
        , m_name(c[u"RegisteredName"_s])
        , m_sire(c[u"SireNationalID"_s])
        , m_dam(c[u"DamNationalID"_s])
        , m_exitDate(c[u"HerdExitDate"_s])
        , m_exitReason(c[u"ExitReason"_s])
    {}

    bool add(std::vector<std::string> &lines) override
    {
        const std::string_view id = m_row.text(m_nationalId);
        if (id.empty())
            return false;
        m_json.clear();
        m_json.beginObject();
        m_json.string("resourceType", "icarAnimalCoreResource");
        identifier("identifier", id);
        m_json.string("specie", "Cattle");
        m_json.string("gender", "Female"); // the cow pedigree table holds cows
        dateIf("birthDate", m_birth);
        if (const std::string_view breed = m_row.text(m_breed); !breed.empty()) {
            m_json.beginObject("primaryBreed");
            m_json.string("id", breed);
            m_json.string("scheme", kBreedScheme);
            m_json.endObject();
        }
        textIf("managementTag", m_row.text(m_cowId));
        textIf("officialName", m_row.text(m_name));
        const std::string_view sire = m_row.text(m_sire);
        const std::string_view dam = m_row.text(m_dam);
        if (!sire.empty() || !dam.empty()) {
            m_json.beginArray("parentage");
            for (const auto &[parent, gender] :
                 {std::pair{sire, "Male"}, std::pair{dam, "Female"}}) {
                if (parent.empty())
                    continue;
                m_json.beginObject();
                identifier("parentOf", id);
                m_json.string("gender", gender);
                m_json.string("relation", "Genetic");
                identifier("identifier", parent);
                m_json.endObject();
            }
            m_json.endArray();
        }
        if (!m_row.dateTime(m_exitDate).empty()) {
            // Died or slaughtered: dead; sold, lost or gone otherwise: off the farm.
            const std::string_view reason = m_row.text(m_exitReason);
            const bool dead = reason == "DD" || reason == "dd" || reason == "SL" || reason == "sl";
            m_json.string("status", dead ? "Dead" : "OffFarm");
        }
        m_json.endObject();
        lines.push_back(m_json.text());
        return true;
    }

private:
    int m_nationalId, m_cowId, m_birth, m_breed, m_name, m_sire, m_dam, m_exitDate, m_exitReason;
};

// 103, a lactation: icarLactationResource, and a second one for its 305-day figures.
class LactationWriter final : public CollectionWriter
{
public:
    LactationWriter(const AdeSettings &settings, const RowReader &rows, const Columns &c)
        : CollectionWriter(settings, rows)
        , m_nationalId(c[u"NationalID"_s])
        , m_calving(c[u"CalvingDate"_s])
        , m_number(c[u"LactationNumber"_s])
        , m_end(c[u"LactationEndDate"_s])
        , m_days(c[u"DaysInMilk"_s])
        , m_milk(c[u"LactationMilk"_s])
        , m_fat(c[u"LactationFatKg"_s])
        , m_protein(c[u"LactationProteinKg"_s])
        , m_milk305(c[u"Milk305"_s])
        , m_fat305(c[u"Fat305Kg"_s])
        , m_protein305(c[u"Protein305Kg"_s])
        , m_milkings(c[u"MilkingsPerDay"_s])
        , m_status(c[u"RecordStatus"_s])
    {}

    bool add(std::vector<std::string> &lines) override
    {
        const std::string_view id = m_row.text(m_nationalId);
        if (id.empty())
            return false;
        // The lactation's own id: the animal and its calving date.
        const std::string lactationId = ownId(id, m_calving);

        write(lines, lactationId, "Normal", milkKilograms(m_milk), m_row.number(m_fat),
              m_row.number(m_protein), true);
        const std::optional<double> milk305 = milkKilograms(m_milk305);
        const std::optional<double> fat305 = m_row.number(m_fat305);
        const std::optional<double> protein305 = m_row.number(m_protein305);
        if (milk305 || fat305 || protein305)
            write(lines, lactationId + "/305", "305Days", milk305, fat305, protein305, false);
        return true;
    }

private:
    void write(std::vector<std::string> &lines, const std::string &lactationId, const char *type,
               const std::optional<double> &milk, const std::optional<double> &fat,
               const std::optional<double> &protein, bool whole)
    {
        m_json.clear();
        m_json.beginObject();
        m_json.string("resourceType", "icarLactationResource");
        m_json.string("id", lactationId);
        identifier("animal", m_row.text(m_nationalId));
        dateIf("beginDate", m_calving);
        dateIf("endDate", m_end);
        if (const std::optional<double> parity = m_row.number(m_number))
            m_json.number("parity", *parity, 0);
        if (const std::optional<double> days = m_row.number(m_days); days && whole)
            m_json.number("lactationLength", *days, 0);
        kilograms("milkAmount", milk);
        kilograms("fatAmount", fat);
        kilograms("proteinAmount", protein);
        m_json.string("lactationType", type);
        // How the milk was recorded, where the row says.
        const size_t before = m_json.mark();
        const bool first = m_json.first();
        m_json.beginObject("milkRecordingMethod");
        const std::string_view status = m_row.text(m_status);
        if (status == "O" || status == "o")
            m_json.string("milkRecordingProtocol", "A-OfficialMRORepresentative");
        else if (status == "U" || status == "u")
            m_json.string("milkRecordingProtocol", "B-HerdOwnerOrNominee");
        if (const std::optional<double> milkings = m_row.number(m_milkings)) {
            const char *names[] = {"1", "2", "3", "4"};
            if (*milkings >= 1 && *milkings <= 4 && *milkings == std::trunc(*milkings))
                m_json.string("milkingsPerDay", names[int(*milkings) - 1]);
        }
        const bool empty = m_json.first();
        m_json.endObject();
        if (empty)
            m_json.backTo(before, first);
        m_json.endObject();
        lines.push_back(m_json.text());
    }

    int m_nationalId, m_calving, m_number, m_end, m_days, m_milk, m_fat, m_protein, m_milk305,
            m_fat305, m_protein305, m_milkings, m_status;
};

// 104, a test day: icarTestDayResultEventResource.
class TestDayWriter final : public CollectionWriter
{
public:
    TestDayWriter(const AdeSettings &settings, const RowReader &rows, const Columns &c)
        : CollectionWriter(settings, rows)
        , m_nationalId(c[u"NationalID"_s])
        , m_date(c[u"TestDate"_s])
        , m_milk(c[u"Milk"_s])
        , m_status(c[u"TestStatus"_s])
        , m_characteristics{{"FAT", c[u"FatPercent"_s], 2},
                            {"PROTEIN", c[u"ProteinPercent"_s], 2},
                            {"LAC", c[u"LactosePercent"_s], 2},
                            {"SCC", c[u"CellCount"_s], 0},
                            {"BHB", c[u"Bhb"_s], 2}}
    {}

    bool add(std::vector<std::string> &lines) override
    {
        const std::string_view id = m_row.text(m_nationalId);
        if (id.empty())
            return false;
        const std::string date = m_row.dateTime(m_date);
        const std::string eventId = ownId(id, m_date);

        m_json.clear();
        m_json.beginObject();
        m_json.string("resourceType", "icarTestDayResultEventResource");
        m_json.string("id", eventId);
        if (!date.empty())
            m_json.string("eventDateTime", date);
        identifier("animal", id);
        kilograms("milkWeight24Hours", milkKilograms(m_milk));
        const std::string_view status = m_row.text(m_status);
        if (status == "S" || status == "s")
            m_json.string("testDayCode", "Sick");
        else if (status == "M" || status == "m")
            m_json.string("testDayCode", "SamplingImpossible");
        bool any = false;
        for (const Characteristic &c : m_characteristics) {
            const std::optional<double> value = m_row.number(c.column);
            if (!value)
                continue;
            if (!any)
                m_json.beginArray("milkCharacteristics");
            any = true;
            m_json.beginObject();
            m_json.string("characteristic", c.code);
            m_text.clear();
            numtext::appendRoundedGeneral(m_text, *value, c.decimals);
            m_json.string("value", m_text);
            m_json.endObject();
        }
        if (any)
            m_json.endArray();
        m_json.endObject();
        lines.push_back(m_json.text());
        return true;
    }

private:
    struct Characteristic
    {
        const char *code; // ICAR's code; the unit is the one ICAR gives it
        int column;
        int decimals;
    };
    int m_nationalId, m_date, m_milk, m_status;
    Characteristic m_characteristics[5];
    std::string m_text;
};

} // namespace

AdeSettings AdeSettings::read(const QString &home)
{
    AdeSettings settings;
    QSettings ini(settingsFile(home), QSettings::IniFormat);
    ini.beginGroup(kSettingsGroup);
    settings.idScheme = ini.value(u"IdScheme"_s).toString().trimmed();
    double density = 0;
    if (numtext::parse(ini.value(u"MilkDensity"_s).toString().trimmed().toLatin1(), density)
        && density > 0 && density <= 2)
        settings.milkDensity = density;
    return settings;
}

void AdeSettings::write(const QString &home) const
{
    check();
    QSettings ini(settingsFile(home), QSettings::IniFormat);
    ini.beginGroup(kSettingsGroup);
    ini.setValue(u"IdScheme"_s, idScheme.trimmed());
    // Written with "." whatever the locale, so any copy of the program reads it back.
    ini.setValue(u"MilkDensity"_s, QString::fromLatin1(numtext::general(milkDensity)));
    ini.endGroup();
    ini.sync();
    if (ini.status() != QSettings::NoError)
        throw Error(u"Cannot write the settings to \"%1\""_s.arg(
                QDir::toNativeSeparators(settingsFile(home))));
}

void AdeSettings::check() const
{
    if (!std::isfinite(milkDensity) || milkDensity <= 0 || milkDensity > 2)
        throw Error(u"The milk density must be a number of kilograms per litre above 0 and at "
                    "most 2, such as 1.03"_s);
    for (const QChar c : idScheme)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            throw Error(u"The identifier scheme may not hold control characters"_s);
}

QStringList adeTypes()
{
    return {u"102"_s, u"103"_s, u"104"_s};
}

bool isAdeType(const QString &code)
{
    return adeTypes().contains(code);
}

QString adeCollectionName(const QString &code)
{
    if (code == u"102"_s)
        return u"animals"_s;
    if (code == u"103"_s)
        return u"lactations"_s;
    if (code == u"104"_s)
        return u"testdays"_s;
    return QString();
}

AdeWriter::AdeWriter(Tdm &dm, ProgressSink &progress, const AdeSettings &settings)
    : m_dm(dm)
    , m_progress(progress)
    , m_settings(settings)
{
    m_settings.idScheme = m_settings.idScheme.trimmed();
}

AdeCounts AdeWriter::write(const QString &code, const QString &path)
{
    if (!isAdeType(code))
        throw Error(u"Table %1 has no ICAR ADE resource: JSON is written for tables %2"_s.arg(
                code, adeTypes().join(u", "_s)));
    m_settings.check();
    const QString target = QDir::toNativeSeparators(path);
    const qint64 rows = m_dm.rowCount(code);
    Stmt stmt = m_dm.connection().prepareScan(u"SELECT rowid, * FROM "_s + Tdm::quoteId(code),
                                              u"Cannot write \"%1\""_s.arg(target));
    m_progress.start(u"Exporting Data."_s, rows, countText(rows));

    const Columns columns(*stmt);
    std::unique_ptr<CollectionWriter> writer;
    if (code == u"102"_s)
        writer = std::make_unique<AnimalWriter>(m_settings, *stmt, columns);
    else if (code == u"103"_s)
        writer = std::make_unique<LactationWriter>(m_settings, *stmt, columns);
    else
        writer = std::make_unique<TestDayWriter>(m_settings, *stmt, columns);

    // {"member":[ one resource a line ],"view":{"totalItems":N}}: the count goes last, once
    // known, so the rows are read once.
    JsonFile file(path);
    file.write("{\"member\":[");
    AdeCounts counts;
    std::vector<std::string> lines;
    while (stmt->next()) {
        lines.clear();
        if (!writer->add(lines))
            ++counts.skipped;
        for (const std::string &line : lines) {
            file.write(counts.members == 0 ? "\n" : ",\n");
            file.write(line);
            ++counts.members;
        }
        m_progress.step();
    }
    std::string end = "\n],\"view\":{\"totalItems\":";
    numtext::appendInteger(end, counts.members);
    end += "}}\n";
    file.write(end);
    file.commit();
    return counts;
}

} // namespace bm

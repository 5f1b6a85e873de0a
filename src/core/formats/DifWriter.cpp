#include "DifWriter.h"

#include "Error.h"
#include "Layout.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "RowReader.h"
#include "Text.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

// ---------------------------------------------------------------------------------------------

namespace {

QByteArrayView view(const std::string &s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}

// A value the field cannot hold, with why; the writer turns it into its error.
struct Refused
{
    QString field;
    QString value; // as the grid shows it to edit
    QString why;
    qint64 row;
};

struct DifField
{
    enum class FloatForm { Plain, Fixed, Scaled };
    QString name;
    FieldType type = FieldType::String;
    FloatForm form = FloatForm::Plain;
    int column = -1;
    qsizetype start = 0; // zero-based
    qsizetype width = 0;
    double scale = 1;
    int decimals = 0;
    QByteArray stamp; // written instead of the column's value (the version of the layout)
};

// The version character of a layout name "DIF<type>V<version>.ini".
QString versionOf(const QString &defName)
{
    if (!defName.startsWith(u"DIF"_s) || !defName.endsWith(u".ini"_s, Qt::CaseInsensitive)
        || defName.size() < 12 || defName.at(6) != u'V')
        return QString();
    return defName.mid(7, defName.size() - 11);
}

// A stored value as the grid shows it to edit (numbers with "."), not in the form a field of a
// DIF file would hold it.
// One row of one column holding `value` as the grid stores it: a whole number, a real, or text
// (a date as its ISO text).
class ValueRow final : public RowReader
{
public:
    ValueRow(const QString &name, const QVariant &value)
        : m_name(name)
        , m_value(value)
        , m_text(value.toString().toUtf8())
    {}
    bool next() override { return false; }
    int columnCount() const override { return 1; }
    QString columnName(int) const override { return m_name; }
    ColumnKind columnKind(int) const override { return ColumnKind::Unknown; }
    ValueType type(int) const override
    {
        if (m_value.isNull())
            return ValueType::Null;
        if (m_value.typeId() == QMetaType::LongLong)
            return ValueType::Integer;
        if (m_value.typeId() == QMetaType::Double)
            return ValueType::Real;
        return ValueType::Text;
    }
    qint64 integer(int) const override { return m_value.toLongLong(); }
    double real(int) const override { return m_value.toDouble(); }
    QByteArrayView text(int) const override { return m_text; }

private:
    QString m_name;
    QVariant m_value;
    QByteArray m_text;
};

QString shownValue(const RowReader &rows, int column)
{
    switch (rows.type(column)) {
    case ValueType::Integer:
        return QString::number(rows.integer(column));
    case ValueType::Real:
        return QString::fromLatin1(numtext::plain(rows.real(column)));
    default:
        return rows.string(column);
    }
}

class DifLineBuilder
{
public:
    DifLineBuilder(const QString &table, const QString &defName)
        : m_table(table)
        , m_defName(defName)
    {}

    // Converts the layout's items once and places every field; a layout that cannot give
    // readable lines is refused here.
    void prepare(const Layout &layout, const RowReader &rows);
    // Builds the line of the current row; `row` counts from 1 for messages.
    QByteArrayView build(const RowReader &rows, qint64 row);

private:
    int layoutInt(const FieldDef &f, const LayoutInt &item) const;
    [[noreturn]] void fail(const DifField &f, qint64 row, const RowReader &rows,
                           const QString &why) const;
    void put(const DifField &f, qint64 row, const RowReader &rows, QByteArrayView utf8, bool right);

    QString m_table;
    QString m_defName;
    std::vector<DifField> m_fields;
    QByteArray m_line;
    std::string m_scratch;
    QByteArray m_encoded;
};

int DifLineBuilder::layoutInt(const FieldDef &f, const LayoutInt &item) const
{
    try {
        return item.value();
    } catch (const Error &e) {
        throw Error(u"Cannot save table %1: the layout %2, field %3: %4"_s.arg(
                m_table, m_defName, f.name, e.message()));
    }
}

void DifLineBuilder::prepare(const Layout &layout, const RowReader &rows)
{
    QHash<QString, int> columns;
    for (int i = rows.columnCount() - 1; i >= 0; --i)
        columns.insert(rows.columnName(i).toLower(), i);

    qsizetype length = 0;
    for (const FieldDef &f : layout) {
        DifField d;
        d.name = f.name;
        const int start = layoutInt(f, f.start);
        const int width = layoutInt(f, f.width);
        if (start < 1 || width < 0)
            throw Error(u"Cannot save table %1: the layout %2 gives the field %3 the start column "
                        "%4 and the width %5"_s.arg(m_table, m_defName, f.name)
                                .arg(start)
                                .arg(width));
        d.start = start - 1;
        d.width = width;
        d.type = f.type;
        // A Float's form: decimals win over a scale; with neither, its plain form.
        if (f.type == FieldType::Float && f.decimals.isGiven()) {
            d.form = DifField::FloatForm::Fixed;
            d.decimals = layoutInt(f, f.decimals);
            if (d.decimals < 0 || d.decimals > 30)
                throw Error(u"Cannot save table %1: the layout %2 gives the field %3 %4 decimals"_s
                                    .arg(m_table, m_defName, f.name)
                                    .arg(d.decimals));
        } else if (f.type == FieldType::Float && f.scale.isGiven()) {
            d.form = DifField::FloatForm::Scaled;
            d.scale = layoutInt(f, f.scale);
        }
        // The version field carries the layout's own version, whatever the row holds: a line is
        // readable only through the layout of the version it names.
        if (f.name.compare(u"VersionNo"_s, Qt::CaseInsensitive) == 0) {
            const QString version = versionOf(m_defName);
            if (version.size() == 1)
                d.stamp = version.toUtf8();
        }
        const auto found = columns.constFind(f.name.toLower());
        if (found == columns.cend())
            throw Error(u"Cannot save table %1: it has no column %2, which the layout %3 "
                        "names"_s.arg(m_table, f.name, m_defName));
        d.column = *found;
        length = std::max(length, d.start + d.width);
        m_fields.push_back(d);
    }

    // Each field goes to its own columns, so a line reads back through the same layout.
    std::vector<const DifField *> byStart;
    for (const DifField &d : m_fields)
        byStart.push_back(&d);
    std::stable_sort(byStart.begin(), byStart.end(),
                     [](const DifField *a, const DifField *b) { return a->start < b->start; });
    for (size_t i = 1; i < byStart.size(); ++i) {
        const DifField *prev = byStart[i - 1];
        if (byStart[i]->start < prev->start + prev->width)
            throw Error(u"Cannot save table %1: the layout %2 places the field %3 at column %4, "
                        "inside the field %5"_s.arg(m_table, m_defName, byStart[i]->name)
                                .arg(byStart[i]->start + 1)
                                .arg(prev->name));
    }
    m_line = QByteArray(length, ' ');
}

void DifLineBuilder::fail(const DifField &f, qint64 row, const RowReader &rows,
                          const QString &why) const
{
    throw Refused{f.name, shownValue(rows, f.column), why, row};
}

void DifLineBuilder::put(const DifField &f, qint64 row, const RowReader &rows, QByteArrayView utf8,
                         bool right)
{
    // One pass tells plain ASCII without line breaks, the usual case, from the rest.
    bool plain = true;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80 || u == '\r' || u == '\n') {
            plain = false;
            break;
        }
    }
    QByteArrayView bytes = utf8;
    if (!plain) {
        m_encoded.resize(0);
        QString bad;
        if (!utf8ToWindows1252(utf8, m_encoded, &bad))
            fail(f, row, rows, codePageRefusal(bad));
        bytes = m_encoded;
        if (bytes.contains('\r') || bytes.contains('\n'))
            fail(f, row, rows, u"a line break would split the record"_s);
    }
    if (bytes.size() > f.width) {
        // A number or a date is quoted as typed; the form the field would hold is named beside
        // it where it differs.
        const QString written = QString::fromLatin1(bytes.toByteArray());
        const bool asShown = f.type == FieldType::String || written == shownValue(rows, f.column);
        fail(f, row, rows,
             (asShown ? u"it is"_s : u"written as \"%1\" it is"_s.arg(written))
                     + u" wider than the field's %1 characters"_s.arg(f.width));
    }
    char *d = m_line.data() + f.start + (right ? f.width - bytes.size() : 0);
    std::memcpy(d, bytes.data(), size_t(bytes.size()));
}

QByteArrayView DifLineBuilder::build(const RowReader &rows, qint64 row)
{
    std::memset(m_line.data(), ' ', size_t(m_line.size()));
    for (const DifField &f : m_fields) {
        if (!f.stamp.isEmpty()) {
            put(f, row, rows, f.stamp, f.type == FieldType::Number || f.type == FieldType::Float);
            continue;
        }
        const ValueType type = rows.type(f.column);
        if (type == ValueType::Null)
            continue; // a missing value stays blank, for every type
        m_scratch.clear();
        switch (f.type) {
        case FieldType::String:
            put(f, row, rows, TrimBytes(rows.text(f.column)), false);
            break;
        case FieldType::Number:
            if (type == ValueType::Integer) {
                numtext::appendInteger(m_scratch, rows.integer(f.column));
            } else if (type == ValueType::Real) {
                numtext::appendGeneral(m_scratch, rows.real(f.column));
            } else {
                // Text in a number column is written only when the import reads it back.
                const QByteArrayView text = TrimBytes(rows.text(f.column));
                double ignored = 0;
                if (!IsDecimalInteger(text) && !numtext::parse(text, ignored))
                    fail(f, row, rows, u"it is not a number"_s);
                m_scratch.append(text.data(), size_t(text.size()));
            }
            put(f, row, rows, view(m_scratch), true);
            break;
        case FieldType::Float: {
            if (type != ValueType::Integer && type != ValueType::Real)
                fail(f, row, rows, u"it is not a number"_s);
            const double v = rows.real(f.column);
            if (!std::isfinite(v))
                fail(f, row, rows, u"it is not a finite number"_s);
            if (f.form == DifField::FloatForm::Fixed)
                numtext::appendFixed(m_scratch, v, f.decimals);
            else if (f.form == DifField::FloatForm::Scaled)
                numtext::appendFixed(m_scratch, v * f.scale, 0);
            else
                numtext::appendPlain(m_scratch, v);
            put(f, row, rows, view(m_scratch), true);
            break;
        }
        case FieldType::Date: {
            // Dates are held as ISO text; a time after the date is not written.
            const QByteArrayView text = rows.text(f.column);
            auto digits = [&](qsizetype from, qsizetype n) {
                int v = 0;
                for (qsizetype i = from; i < from + n; ++i) {
                    if (text[i] < '0' || text[i] > '9')
                        return -1;
                    v = v * 10 + (text[i] - '0');
                }
                return v;
            };
            const bool shaped = type == ValueType::Text && text.size() >= 10 && text[4] == '-'
                                && text[7] == '-'
                                && (text.size() == 10 || text[10] == ' ' || text[10] == 'T');
            if (!shaped || !QDate(digits(0, 4), digits(5, 2), digits(8, 2)).isValid()
                || digits(0, 4) < 1)
                fail(f, row, rows, u"it is not a date"_s);
            m_scratch.append(text.data(), 4);
            m_scratch.append(text.data() + 5, 2);
            m_scratch.append(text.data() + 8, 2);
            put(f, row, rows, view(m_scratch), false);
            break;
        }
        }
    }
    return m_line;
}

// The layout a save writes `table` with: its current version's. Empty when there is none or it
// cannot be read (the save itself then says why).
std::pair<Layout, QString> saveLayout(const QString &home, const QString &table)
{
    const QString version = currentVersion(home, table);
    if (version.isEmpty())
        return {};
    const QString defName = layoutName(table, version);
    try {
        return {readLayout(home, defName), defName};
    } catch (const Error &) {
        return {};
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------

QString codePageRefusal(const QString &character)
{
    return u"the files are written in the Windows-1252 code page, which has no \"%1\""_s.arg(
            character);
}

QString fieldRefusal(const QString &field, const QString &value, const QString &why)
{
    return u"The field %1 cannot hold \"%2\": %3"_s.arg(field, value, why);
}

QString editRefusal(const QString &home, const QString &table, const QString &column,
                    const QVariant &value, const QString &typed)
{
    if (value.isNull())
        return QString(); // an empty field holds blanks
    // The value as the grid would store it, as a row of its own, so it meets exactly the checks
    // a row of the table meets when saved.
    const ValueRow stored(column, value);

    const auto [layout, defName] = saveLayout(home, table);
    Layout field;
    for (const FieldDef &f : layout) {
        if (f.name.compare(column, Qt::CaseInsensitive) == 0)
            field << f;
    }
    try {
        if (!field.isEmpty()) {
            DifLineBuilder builder(table, defName);
            builder.prepare(field, stored);
            builder.build(stored, 1);
        } else if (value.typeId() == QMetaType::QString) {
            // A column no DIF field holds is still written to CSV files, in the same code page.
            QByteArray encoded;
            QString bad;
            if (!utf8ToWindows1252(value.toString().toUtf8(), encoded, &bad))
                return fieldRefusal(column, typed, codePageRefusal(bad));
        }
    } catch (const Refused &r) {
        return fieldRefusal(r.field, typed, r.why);
    } catch (const Error &) {
        // A layout the save cannot use: the save says so; the edit is not the place.
    }
    return QString();
}

DifWriter::DifWriter(const QString &home, const QString &DefName, ProgressSink &progress)
    : m_table(DefName.mid(3, 3))
    , m_defName(DefName)
    , m_progress(progress)
{
    const QString layoutPath = defsFolder(home) + DefName;
    if (!QFileInfo(layoutPath).isFile())
        throw Error(u"Cannot save table %1: the layout file \"%2\" does not exist"_s.arg(
                m_table, QDir::toNativeSeparators(layoutPath)));
    m_layout = readLayout(home, DefName);
    if (m_layout.isEmpty())
        throw Error(u"Cannot save table %1: the layout file \"%2\" describes no fields"_s.arg(
                m_table, QDir::toNativeSeparators(layoutPath)));
}

void DifWriter::removeOld(const QString &PathAndFile)
{
    QFile old(PathAndFile);
    if (old.exists() && !old.remove())
        throw Error(u"Cannot remove the old file \"%1\". %2"_s.arg(
                QDir::toNativeSeparators(PathAndFile), old.errorString()));
}

qint64 DifWriter::write(RowReader &rows, qint64 rowCount, const QString &PathAndFile)
{
    // The layout's items are converted and its fields placed at the first row, as they are used.
    DifLineBuilder builder(m_table, m_defName);
    builder.prepare(m_layout, rows);
    m_progress.show();
    m_progress.start(u"Exporting DIF "_s + m_table, rowCount, countText(rowCount));

    TextWriter writer(PathAndFile);
    qint64 row = 0;
    try {
        while (rows.next()) {
            writer.writeRawLine(builder.build(rows, ++row));
            m_progress.step();
        }
    } catch (const Refused &r) {
        throw Error(u"Cannot save table %1, row %2. "_s.arg(m_table).arg(r.row)
                    + fieldRefusal(r.field, r.value, r.why));
    } catch (const db::DatabaseError &) {
        throw;
    } catch (const Error &e) {
        throw Error(u"Cannot save table %1: %2"_s.arg(m_table, e.message()));
    }
    writer.commit();
    return row;
}

} // namespace bm

#include "Export.h"

#include "Error.h"
#include "Layout.h"
#include "NumberText.h"
#include "Tdm.h"
#include "Text.h"
#include "Ui.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

// ---------------------------------------------------------------------------------------------

namespace {

void appendInt(std::string &out, qint64 v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, size_t(r.ptr - buf));
}

QByteArrayView view(const std::string &s)
{
    return QByteArrayView(s.data(), qsizetype(s.size()));
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

// SQLite text (UTF-8) as Windows-1252 bytes; false when a character cannot be held.
bool utf8To1252(QByteArrayView utf8, QByteArray &out, QString *bad)
{
    if (isAscii(utf8)) {
        out.append(utf8);
        return true;
    }
    const QString text = QString::fromUtf8(utf8);
    for (QChar ch : text) {
        if (!toWindows1252(QStringView(&ch, 1), out)) {
            if (bad)
                *bad = ch;
            return false;
        }
    }
    return true;
}

QByteArrayView columnText(sqlite3_stmt *stmt, int column)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
    return QByteArrayView(text, sqlite3_column_bytes(stmt, column));
}

// Hides the progress window when the export ends, normally or by an error, if asked to.
class HideAtEnd
{
public:
    HideAtEnd(ProgressSink &progress, bool hide)
        : m_progress(progress)
        , m_hide(hide)
    {}
    ~HideAtEnd()
    {
        if (m_hide)
            m_progress.hide();
    }
    HideAtEnd(const HideAtEnd &) = delete;
    HideAtEnd &operator=(const HideAtEnd &) = delete;

private:
    ProgressSink &m_progress;
    bool m_hide;
};

// Prepares the query; a failure names what was being saved before SQLite's message.
Stmt openQuery(Tdm &dm, const QString &query, const QString &what)
{
    try {
        return dm.prepare(query);
    } catch (const Error &e) {
        throw Error(what + u": "_s + e.message());
    }
}

qint64 countRows(Tdm &dm, const QString &query)
{
    Stmt stmt = dm.prepare(u"SELECT count(*) FROM ("_s + query + u')');
    if (sqlite3_step(stmt.get()) != SQLITE_ROW)
        throw Error(dm.sqliteError());
    return sqlite3_column_int64(stmt.get(), 0);
}

void startGauge(ProgressSink &progress, qint64 rows, const QString &status)
{
    progress.show();
    progress.setMaximum(rows);
    progress.setRecords(QString::number(rows));
    progress.setPosition(0);
    progress.setStatus(status);
    progress.repaint();
}

// ---------------------------------------------------------------------------------------------
// DIF

struct DifField
{
    enum class Kind { String, Number, Date, FloatFixed, FloatScaled, FloatPlain };
    QString name;
    Kind kind = Kind::String;
    int column = -1;
    qsizetype start = 0; // zero-based
    qsizetype width = 0;
    double scale = 1;
    int decimals = 0;
};

class DifLineBuilder
{
public:
    DifLineBuilder(const QString &table, const QString &defName)
        : m_table(table)
        , m_defName(defName)
    {}

    // Converts the layout's items once and places every field; a layout that cannot give
    // readable lines is refused here.
    void prepare(const Layout &layout, sqlite3_stmt *stmt);
    // Builds the line of the current row; `row` counts from 1 for messages.
    QByteArrayView build(sqlite3_stmt *stmt, qint64 row);

private:
    int layoutInt(const FieldDef &f, const QString &item) const;
    [[noreturn]] void fail(const DifField &f, qint64 row, QByteArrayView value,
                           const QString &why) const;
    void put(const DifField &f, qint64 row, QByteArrayView utf8, bool right);

    QString m_table;
    QString m_defName;
    std::vector<DifField> m_fields;
    QByteArray m_line;
    std::string m_scratch;
    QByteArray m_encoded;
};

int DifLineBuilder::layoutInt(const FieldDef &f, const QString &item) const
{
    try {
        return StrToInt(item);
    } catch (const Error &e) {
        throw Error(u"Cannot save table %1: the layout %2, field %3: %4"_s.arg(
                m_table, m_defName, f.name, e.message()));
    }
}

void DifLineBuilder::prepare(const Layout &layout, sqlite3_stmt *stmt)
{
    QHash<QString, int> columns;
    for (int i = sqlite3_column_count(stmt) - 1; i >= 0; --i)
        columns.insert(QString::fromUtf8(sqlite3_column_name(stmt, i)).toLower(), i);

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
        if (f.type == u"String"_s) {
            d.kind = DifField::Kind::String;
        } else if (f.type == u"Number"_s) {
            d.kind = DifField::Kind::Number;
        } else if (f.type == u"Date"_s) {
            d.kind = DifField::Kind::Date;
        } else if (!f.decimals.trimmed().isEmpty()) {
            d.kind = DifField::Kind::FloatFixed;
            d.decimals = layoutInt(f, f.decimals);
            if (d.decimals < 0 || d.decimals > 30)
                throw Error(u"Cannot save table %1: the layout %2 gives the field %3 %4 decimals"_s
                                    .arg(m_table, m_defName, f.name)
                                    .arg(d.decimals));
        } else if (!f.scale.trimmed().isEmpty()) {
            d.kind = DifField::Kind::FloatScaled;
            d.scale = layoutInt(f, f.scale);
        } else {
            d.kind = DifField::Kind::FloatPlain;
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

void DifLineBuilder::fail(const DifField &f, qint64 row, QByteArrayView value,
                          const QString &why) const
{
    throw Error(
            u"Cannot save table %1: row %2, field %3 holds \"%4\", %5"_s.arg(m_table).arg(row).arg(
                    f.name, QString::fromUtf8(value), why));
}

void DifLineBuilder::put(const DifField &f, qint64 row, QByteArrayView utf8, bool right)
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
        if (!utf8To1252(utf8, m_encoded, &bad))
            fail(f, row, utf8,
                 u"a character (\"%1\") that the Windows-1252 code page cannot hold"_s.arg(bad));
        bytes = m_encoded;
        if (bytes.contains('\r') || bytes.contains('\n'))
            fail(f, row, utf8, u"a line break, which would split the record"_s);
    }
    if (bytes.size() > f.width)
        fail(f, row, utf8, u"which is wider than the field's %1 characters"_s.arg(f.width));
    char *d = m_line.data() + f.start + (right ? f.width - bytes.size() : 0);
    std::memcpy(d, bytes.data(), size_t(bytes.size()));
}

QByteArrayView DifLineBuilder::build(sqlite3_stmt *stmt, qint64 row)
{
    std::memset(m_line.data(), ' ', size_t(m_line.size()));
    for (const DifField &f : m_fields) {
        const int type = sqlite3_column_type(stmt, f.column);
        if (type == SQLITE_NULL)
            continue; // a missing value stays blank, for every type
        m_scratch.clear();
        switch (f.kind) {
        case DifField::Kind::String:
            put(f, row, TrimBytes(columnText(stmt, f.column)), false);
            break;
        case DifField::Kind::Number:
            if (type == SQLITE_INTEGER) {
                appendInt(m_scratch, sqlite3_column_int64(stmt, f.column));
            } else if (type == SQLITE_FLOAT) {
                numtext::appendGeneral(m_scratch, sqlite3_column_double(stmt, f.column));
            } else {
                // Text in a number column is written only when the import reads it back.
                const QByteArrayView text = TrimBytes(columnText(stmt, f.column));
                const char *begin = text.data() + (text.startsWith('+') ? 1 : 0);
                double ignored = 0;
                const auto r = std::from_chars(begin, text.data() + text.size(), ignored,
                                               std::chars_format::general);
                if (!IsDecimalInteger(text)
                    && (r.ec != std::errc() || r.ptr != text.data() + text.size()))
                    fail(f, row, text, u"which is not a number"_s);
                m_scratch.append(text.data(), size_t(text.size()));
            }
            put(f, row, view(m_scratch), true);
            break;
        case DifField::Kind::FloatFixed:
        case DifField::Kind::FloatScaled:
        case DifField::Kind::FloatPlain: {
            if (type != SQLITE_INTEGER && type != SQLITE_FLOAT)
                fail(f, row, columnText(stmt, f.column), u"which is not a number"_s);
            const double v = sqlite3_column_double(stmt, f.column);
            if (!std::isfinite(v))
                fail(f, row, numtext::general(v), u"which is not a finite number"_s);
            if (f.kind == DifField::Kind::FloatFixed)
                numtext::appendFixed(m_scratch, v, f.decimals);
            else if (f.kind == DifField::Kind::FloatScaled)
                numtext::appendFixed(m_scratch, v * f.scale, 0);
            else
                numtext::appendPlain(m_scratch, v);
            put(f, row, view(m_scratch), true);
            break;
        }
        case DifField::Kind::Date: {
            // Dates are held as ISO text; a time after the date is not written.
            const QByteArrayView text = columnText(stmt, f.column);
            auto digits = [&](qsizetype from, qsizetype n) {
                int v = 0;
                for (qsizetype i = from; i < from + n; ++i) {
                    if (text[i] < '0' || text[i] > '9')
                        return -1;
                    v = v * 10 + (text[i] - '0');
                }
                return v;
            };
            const bool shaped = type == SQLITE_TEXT && text.size() >= 10 && text[4] == '-'
                                && text[7] == '-'
                                && (text.size() == 10 || text[10] == ' ' || text[10] == 'T');
            if (!shaped || !QDate(digits(0, 4), digits(5, 2), digits(8, 2)).isValid()
                || digits(0, 4) < 1)
                fail(f, row, text, u"which is not a date"_s);
            m_scratch.append(text.data(), 4);
            m_scratch.append(text.data() + 5, 2);
            m_scratch.append(text.data() + 8, 2);
            put(f, row, view(m_scratch), false);
            break;
        }
        }
    }
    return m_line;
}

// ---------------------------------------------------------------------------------------------
// CSV

enum class CellKind { Text, Integer, Float, Date, Boolean, Other };

// The kind of a column from its declared type, by SQLite's own affinity rules where the type is
// none of the herd database's.
CellKind cellKindOf(const char *declared)
{
    if (!declared)
        return CellKind::Other;
    const QByteArray t = QByteArray(declared).toUpper();
    if (t.contains("BOOL"))
        return CellKind::Boolean;
    if (t.contains("DATE") || t.contains("TIME"))
        return CellKind::Date;
    if (t.contains("INT"))
        return CellKind::Integer;
    if (t.contains("CHAR") || t.contains("CLOB") || t.contains("TEXT"))
        return CellKind::Text;
    if (t.contains("REAL") || t.contains("FLOA") || t.contains("DOUB"))
        return CellKind::Float;
    return CellKind::Other;
}

// The locale's long time form without the time zone: stored times have none.
QString longTimeFormat(const QLocale &locale)
{
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(u"\\s*(?<![A-Za-z])t+(?![A-Za-z])"_s));
    return format.trimmed();
}

class CsvLineBuilder
{
public:
    explicit CsvLineBuilder(const QString &fileName)
        : m_fileName(fileName)
        , m_dateFormat(shortDateFormat(m_locale))
        , m_timeFormat(longTimeFormat(m_locale))
    {}

    QByteArray header(sqlite3_stmt *stmt);
    QByteArrayView build(sqlite3_stmt *stmt, const std::vector<CellKind> &kinds, qint64 row);

private:
    void appendQuoted(QByteArrayView utf8, qint64 row, int column);
    void appendDate(QByteArrayView iso, qint64 row, int column);
    void appendByStorage(sqlite3_stmt *stmt, int column, int type, qint64 row);

    QString m_fileName;
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    sqlite3_stmt *m_stmt = nullptr;
    std::string m_line;
    QByteArray m_encoded;
    QHash<quint32, std::string> m_dates; // yyyymmdd -> finished cell
};

QByteArray CsvLineBuilder::header(sqlite3_stmt *stmt)
{
    m_stmt = stmt;
    QByteArray line;
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        if (i)
            line.append(',');
        const QByteArray name(sqlite3_column_name(stmt, i));
        QByteArray encoded;
        QString bad;
        if (!utf8To1252(name, encoded, &bad))
            throw Error(u"Cannot write \"%1\": the column name %2 holds a character (\"%3\") that "
                        "the Windows-1252 code page cannot hold"_s.arg(
                                m_fileName, QString::fromUtf8(name), bad));
        // A name is quoted only where it would not read back whole.
        if (encoded.contains(',') || encoded.contains('"') || encoded.contains('\r')
            || encoded.contains('\n'))
            line.append('"').append(encoded.replace("\"", "\"\"")).append('"');
        else
            line.append(encoded);
    }
    return line;
}

void CsvLineBuilder::appendQuoted(QByteArrayView utf8, qint64 row, int column)
{
    if (utf8.isEmpty())
        return; // an empty text is an empty cell, like a null
    QByteArrayView bytes = utf8;
    if (!isAscii(utf8)) {
        m_encoded.resize(0);
        QString bad;
        if (!utf8To1252(utf8, m_encoded, &bad))
            throw Error(u"Cannot write \"%1\": row %2, column %3 holds \"%4\", with a character "
                        "(\"%5\") that the Windows-1252 code page cannot hold"_s.arg(m_fileName)
                                .arg(row)
                                .arg(QString::fromUtf8(sqlite3_column_name(m_stmt, column)),
                                     QString::fromUtf8(utf8), bad));
        bytes = m_encoded;
    }
    // Quoted whole, inner quotes doubled, so commas, quotes and line breaks read back.
    m_line.push_back('"');
    for (;;) {
        const qsizetype quote = bytes.indexOf('"');
        if (quote < 0)
            break;
        m_line.append(bytes.data(), size_t(quote + 1));
        m_line.push_back('"');
        bytes = bytes.sliced(quote + 1);
    }
    m_line.append(bytes.data(), size_t(bytes.size()));
    m_line.push_back('"');
}

void CsvLineBuilder::appendDate(QByteArrayView iso, qint64 row, int column)
{
    // A plain ISO date is looked up by its digits, without making a key text per cell.
    quint32 key = 0;
    if (iso.size() == 10) {
        for (qsizetype i = 0; i < 10 && key != quint32(-1); ++i) {
            const char c = iso[i];
            if (i == 4 || i == 7)
                key = c == '-' ? key : quint32(-1);
            else
                key = c >= '0' && c <= '9' ? key * 10 + quint32(c - '0') : quint32(-1);
        }
    }
    const bool cacheable = iso.size() == 10 && key != quint32(-1);
    if (cacheable) {
        const auto cached = m_dates.constFind(key);
        if (cached != m_dates.cend()) {
            m_line.append(*cached);
            return;
        }
    }
    const QString text = QString::fromUtf8(iso);
    const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
    QString shown = text;
    if (date.isValid() && (text.size() == 10 || text.at(10) == u' ' || text.at(10) == u'T')) {
        QTime time(0, 0);
        if (text.size() > 10)
            time = QTime::fromString(text.mid(11, 8),
                                     text.size() >= 19 ? u"HH:mm:ss"_s : u"HH:mm"_s);
        if (time.isValid()) {
            shown = m_locale.toString(date, m_dateFormat);
            if (time != QTime(0, 0))
                shown += u' ' + m_locale.toString(time, m_timeFormat);
        }
    }
    const size_t from = m_line.size();
    appendQuoted(shown.toUtf8(), row, column);
    if (cacheable)
        m_dates.insert(key, m_line.substr(from));
}

void CsvLineBuilder::appendByStorage(sqlite3_stmt *stmt, int column, int type, qint64 row)
{
    if (type == SQLITE_INTEGER)
        appendInt(m_line, sqlite3_column_int64(stmt, column));
    else if (type == SQLITE_FLOAT)
        numtext::appendGeneral(m_line, sqlite3_column_double(stmt, column));
    else
        appendQuoted(columnText(stmt, column), row, column);
}

QByteArrayView CsvLineBuilder::build(sqlite3_stmt *stmt, const std::vector<CellKind> &kinds,
                                     qint64 row)
{
    m_line.clear();
    for (int i = 0; i < int(kinds.size()); ++i) {
        if (i)
            m_line.push_back(',');
        const int type = sqlite3_column_type(stmt, i);
        if (type == SQLITE_NULL)
            continue;
        const bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
        switch (kinds[size_t(i)]) {
        case CellKind::Text:
            appendQuoted(columnText(stmt, i), row, i);
            break;
        case CellKind::Float:
            if (numeric) {
                // Two decimals at most, then the shortest form of what is left.
                const double v = sqlite3_column_double(stmt, i);
                if (std::isfinite(v) && std::fabs(v) < 1e15) {
                    // The fixed text always has a decimal point, so this stops at it.
                    numtext::appendFixed(m_line, v, 2);
                    while (m_line.back() == '0')
                        m_line.pop_back();
                    if (m_line.back() == '.')
                        m_line.pop_back();
                } else {
                    const QByteArray rounded = numtext::fixed(v, 2);
                    numtext::appendGeneral(m_line, std::strtod(rounded.constData(), nullptr));
                }
            } else {
                appendByStorage(stmt, i, type, row);
            }
            break;
        case CellKind::Boolean:
            if (numeric)
                m_line.append(sqlite3_column_double(stmt, i) != 0 ? "True" : "False");
            else
                appendByStorage(stmt, i, type, row);
            break;
        case CellKind::Date:
            if (type == SQLITE_TEXT)
                appendDate(columnText(stmt, i), row, i);
            else
                appendByStorage(stmt, i, type, row);
            break;
        case CellKind::Integer:
        case CellKind::Other:
            appendByStorage(stmt, i, type, row);
            break;
        }
    }
    return view(m_line);
}

} // namespace

// ---------------------------------------------------------------------------------------------

Exporter::Exporter(Tdm &dm, ProgressSink &progress)
    : m_dm(dm)
    , m_progress(progress)
{}

qint64 Exporter::ExportDIF(const QString &QueryString, const QString &PathAndFile,
                           const QString &DefName, bool HideProgress)
{
    HideAtEnd hideAtEnd(m_progress, HideProgress);
    const QString table = DefName.mid(3, 3);
    const QString layoutPath = defsFolder(m_dm.home()) + DefName;
    if (!QFileInfo(layoutPath).isFile())
        throw Error(u"Cannot save table %1: the layout file \"%2\" does not exist"_s.arg(
                table, native(layoutPath)));
    const Layout layout = readLayout(m_dm.home(), DefName);
    if (layout.isEmpty())
        throw Error(u"Cannot save table %1: the layout file \"%2\" describes no fields"_s.arg(
                table, native(layoutPath)));

    Stmt stmt = openQuery(m_dm, QueryString, u"Cannot save table "_s + table);
    DifLineBuilder builder(table, DefName);
    builder.prepare(layout, stmt.get());

    const qint64 rows = countRows(m_dm, QueryString);
    if (rows == 0) {
        // Nothing to write: an earlier file of this name would be out of date.
        QFile old(PathAndFile);
        if (old.exists() && !old.remove())
            throw Error(u"Cannot remove the old file \"%1\". %2"_s.arg(native(PathAndFile),
                                                                       old.errorString()));
        return 0;
    }
    startGauge(m_progress, rows, u"Exporting DIF "_s + table);

    TextWriter writer(PathAndFile);
    qint64 row = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        writer.writeRawLine(builder.build(stmt.get(), ++row));
        m_progress.step();
    }
    if (rc != SQLITE_DONE)
        throw Error(u"Cannot save table %1: %2"_s.arg(table, m_dm.sqliteError()));
    writer.commit();
    return row;
}

qint64 Exporter::ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                           bool HideProgress)
{
    HideAtEnd hideAtEnd(m_progress, HideProgress);
    m_progress.show();
    TextWriter writer(PathAndFile);
    const qint64 rows = writeCSV(QueryString, writer, PathAndFile, Titles);
    writer.commit();
    return rows;
}

qint64 Exporter::ExportCSV(const QString &QueryString, QIODevice &out)
{
    HideAtEnd hideAtEnd(m_progress, true);
    m_progress.show();
    TextWriter writer(out, u"standard output"_s);
    const qint64 rows = writeCSV(QueryString, writer, u"standard output"_s, true);
    writer.commit();
    return rows;
}

qint64 Exporter::writeCSV(const QString &QueryString, TextWriter &writer, const QString &name,
                          bool Titles)
{
    Stmt stmt = openQuery(m_dm, QueryString, u"Cannot write \"%1\""_s.arg(native(name)));
    const qint64 rows = countRows(m_dm, QueryString);
    startGauge(m_progress, rows, u"Exporting Data."_s);

    std::vector<CellKind> kinds;
    for (int i = 0; i < sqlite3_column_count(stmt.get()); ++i)
        kinds.push_back(cellKindOf(sqlite3_column_decltype(stmt.get(), i)));

    CsvLineBuilder builder(QFileInfo(name).fileName());
    const QByteArray header = builder.header(stmt.get());
    if (Titles)
        writer.writeRawLine(header);
    qint64 row = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        writer.writeRawLine(builder.build(stmt.get(), kinds, ++row));
        m_progress.step();
    }
    if (rc != SQLITE_DONE)
        throw Error(u"Cannot write \"%1\": %2"_s.arg(native(name), m_dm.sqliteError()));
    return row;
}

} // namespace bm

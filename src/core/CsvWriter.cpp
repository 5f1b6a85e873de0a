#include "CsvWriter.h"

#include "Error.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "Tdm.h"
#include "Text.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <sqlite3.h>

#include <string>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

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
        if (!utf8ToWindows1252(name, encoded, &bad))
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
        if (!utf8ToWindows1252(utf8, m_encoded, &bad))
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
        numtext::appendInteger(m_line, sqlite3_column_int64(stmt, column));
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
                numtext::appendRoundedGeneral(m_line, sqlite3_column_double(stmt, i), 2);
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
    return QByteArrayView(m_line.data(), qsizetype(m_line.size()));
}

} // namespace

CsvWriter::CsvWriter(Tdm &dm, ProgressSink &progress)
    : m_dm(dm)
    , m_progress(progress)
{}

qint64 CsvWriter::ExportCSV(const QString &QueryString, const QString &PathAndFile, bool Titles,
                            bool HideProgress)
{
    HideProgressAtEnd hideAtEnd(m_progress, HideProgress);
    m_progress.show();
    TextWriter writer(PathAndFile);
    const qint64 rows = writeCSV(QueryString, writer, PathAndFile, Titles);
    writer.commit();
    return rows;
}

qint64 CsvWriter::ExportCSV(const QString &QueryString, QIODevice &out)
{
    HideProgressAtEnd hideAtEnd(m_progress);
    m_progress.show();
    const QString name = u"standard output"_s;
    TextWriter writer(out, name);
    const qint64 rows = writeCSV(QueryString, writer, name, true);
    writer.commit();
    return rows;
}

qint64 CsvWriter::writeCSV(const QString &QueryString, TextWriter &writer, const QString &name,
                           bool Titles)
{
    const QString target = QDir::toNativeSeparators(name);
    // qTemp: the Select Files dialog's own query, through which the writers read.
    Stmt qTemp = m_dm.prepare(QueryString, u"Cannot write \"%1\""_s.arg(target));
    const qint64 rows = m_dm.countRows(QueryString);
    m_progress.start(u"Exporting Data."_s, rows, QString::number(rows));

    std::vector<CellKind> kinds;
    for (int i = 0; i < sqlite3_column_count(qTemp.get()); ++i)
        kinds.push_back(cellKindOf(sqlite3_column_decltype(qTemp.get(), i)));

    CsvLineBuilder builder(QFileInfo(name).fileName());
    const QByteArray header = builder.header(qTemp.get());
    if (Titles)
        writer.writeRawLine(header);
    qint64 row = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(qTemp.get())) == SQLITE_ROW) {
        writer.writeRawLine(builder.build(qTemp.get(), kinds, ++row));
        m_progress.step();
    }
    if (rc != SQLITE_DONE)
        throw Error(u"Cannot write \"%1\": %2"_s.arg(target, m_dm.sqliteError()));
    return row;
}

} // namespace bm

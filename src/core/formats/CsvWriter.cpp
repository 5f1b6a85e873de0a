#include "CsvWriter.h"

#include "Error.h"
#include "NumberText.h"
#include "ProgressSink.h"
#include "RowReader.h"
#include "StoredDate.h"
#include "Text.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>

#include <string>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

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

    QByteArray header(const RowReader &rows);
    QByteArrayView build(const RowReader &rows, const std::vector<ColumnKind> &kinds, qint64 row);

private:
    void appendQuoted(QByteArrayView utf8, qint64 row, int column);
    void appendDate(QByteArrayView iso, qint64 row, int column);
    void appendByStorage(const RowReader &rows, int column, ValueType type, qint64 row);

    QString m_fileName;
    QLocale m_locale;
    QString m_dateFormat;
    QString m_timeFormat;
    const RowReader *m_rows = nullptr;
    std::string m_line;
    QByteArray m_encoded;
    QHash<quint32, std::string> m_dates; // yyyymmdd -> finished cell
};

QByteArray CsvLineBuilder::header(const RowReader &rows)
{
    m_rows = &rows;
    QByteArray line;
    for (int i = 0; i < rows.columnCount(); ++i) {
        if (i)
            line.append(',');
        const QByteArray name = rows.columnName(i).toUtf8();
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
                                .arg(m_rows->columnName(column), QString::fromUtf8(utf8), bad));
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

void CsvLineBuilder::appendByStorage(const RowReader &rows, int column, ValueType type, qint64 row)
{
    if (type == ValueType::Integer)
        numtext::appendInteger(m_line, rows.integer(column));
    else if (type == ValueType::Real)
        numtext::appendGeneral(m_line, rows.real(column));
    else
        appendQuoted(rows.text(column), row, column);
}

QByteArrayView CsvLineBuilder::build(const RowReader &rows, const std::vector<ColumnKind> &kinds,
                                     qint64 row)
{
    m_line.clear();
    for (int i = 0; i < int(kinds.size()); ++i) {
        if (i)
            m_line.push_back(',');
        const ValueType type = rows.type(i);
        if (type == ValueType::Null)
            continue;
        const bool numeric = type == ValueType::Integer || type == ValueType::Real;
        switch (kinds[size_t(i)]) {
        case ColumnKind::Text:
            appendQuoted(rows.text(i), row, i);
            break;
        case ColumnKind::Real:
            if (numeric) {
                // Two decimals at most, then the shortest form of what is left.
                numtext::appendRoundedGeneral(m_line, rows.real(i), 2);
            } else {
                appendByStorage(rows, i, type, row);
            }
            break;
        case ColumnKind::Boolean:
            if (numeric)
                m_line.append(rows.real(i) != 0 ? "True" : "False");
            else
                appendByStorage(rows, i, type, row);
            break;
        case ColumnKind::Date:
            if (type == ValueType::Text)
                appendDate(rows.text(i), row, i);
            else
                appendByStorage(rows, i, type, row);
            break;
        case ColumnKind::Integer:
        case ColumnKind::Other:
        case ColumnKind::Unknown:
            appendByStorage(rows, i, type, row);
            break;
        }
    }
    return QByteArrayView(m_line.data(), qsizetype(m_line.size()));
}

} // namespace

CsvWriter::CsvWriter(ProgressSink &progress)
    : m_progress(progress)
{}

qint64 CsvWriter::write(RowReader &rows, qint64 rowCount, TextWriter &writer, const QString &name,
                        bool Titles)
{
    const QString target = QDir::toNativeSeparators(name);
    m_progress.start(u"Exporting Data."_s, rowCount, countText(rowCount));

    std::vector<ColumnKind> kinds;
    for (int i = 0; i < rows.columnCount(); ++i)
        kinds.push_back(rows.columnKind(i));

    CsvLineBuilder builder(QFileInfo(name).fileName());
    const QByteArray header = builder.header(rows);
    if (Titles)
        writer.writeRawLine(header);
    qint64 row = 0;
    try {
        while (rows.next()) {
            writer.writeRawLine(builder.build(rows, kinds, ++row));
            m_progress.step();
        }
    } catch (const db::DatabaseError &) {
        throw;
    } catch (const Error &e) {
        if (e.message().startsWith(u"Cannot write"_s))
            throw;
        throw Error(u"Cannot write \"%1\": %2"_s.arg(target, e.message()));
    }
    return row;
}

} // namespace bm

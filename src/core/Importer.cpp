#include "Importer.h"

#include "Error.h"
#include "Tdm.h"
#include "Text.h"
#include "Ui.h"

#include <QDate>

#include <sqlite3.h>

#include <charconv>
#include <optional>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

enum class Kind { String, Number, Float, ScaledFloat, Date, Other };

struct Field
{
    QString name;
    Kind kind = Kind::Other;
    qsizetype start = 0; // zero-based
    qsizetype width = 0;
    QString scaleText;
    std::optional<qint64> scale; // converted at its first use
};

Kind kindOf(const FieldDef &f)
{
    if (f.type == u"String"_s)
        return Kind::String;
    if (f.type == u"Number"_s)
        return Kind::Number;
    if (f.type == u"Float"_s)
        return f.scale.isEmpty() ? Kind::Float : Kind::ScaledFloat;
    if (f.type == u"Date"_s)
        return Kind::Date;
    return Kind::Other;
}

// A number as the database would read it from statement text: a whole number or a decimal
// fraction with "." (never the locale's separator), optionally signed and with an exponent.
bool parseDouble(QByteArrayView text, double &value)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    const auto r = std::from_chars(begin, end, value, std::chars_format::general);
    return r.ec == std::errc() && r.ptr == end;
}

// A part of a date read as a whole decimal number: digits with an optional sign.
bool datePart(QByteArrayView text, int &value)
{
    qint64 v = 0;
    if (text.isEmpty() || !IsDecimalInteger(text, &v) || TrimBytes(text).size() != text.size())
        return false;
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        return false;
    value = int(v);
    return true;
}

QByteArrayView slice(QByteArrayView line, qsizetype start, qsizetype width)
{
    if (start >= line.size() || width <= 0)
        return {};
    return line.sliced(start, std::min(width, line.size() - start));
}

// "YYYY-MM-DD" into `out` (ten characters, no terminator).
void writeIsoDate(char *out, int year, int month, int day)
{
    const int parts[3][2] = {{year, 4}, {month, 2}, {day, 2}};
    char *p = out;
    for (const auto &[v, width] : parts) {
        int n = v;
        for (int k = width - 1; k >= 0; --k) {
            p[k] = char('0' + n % 10);
            n /= 10;
        }
        p += width;
        if (p - out < 10)
            *p++ = '-';
    }
}

QString continuePrompt(const QString &head)
{
    return head + u"\r\rContinue to display errors in this file?"_s;
}

} // namespace

Importer::Importer(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

void Importer::ImportFile(const QString &FileName, const QString &TableName, const QString &DefName)
{
    m_counts = {};
    qint64 lineCount = 0;
    {
        TextReader reader(FileName);
        if (!reader.next())
            return;
        if (reader.text().left(3) != DefName.mid(3, 3))
            return;
        lineCount = 1;
        while (reader.next())
            ++lineCount;
    }
    m_progress.setMaximum(lineCount - 1);
    m_progress.setPosition(0);
    m_progress.setStatus(u"Importing DIF "_s + DefName.mid(3, 3));
    m_progress.setRecords(QString::number(lineCount - 1));
    m_progress.repaint();

    TextReader reader(FileName);
    ImportData(DefName, TableName, reader);
}

void Importer::ImportData(const QString &DefName, const QString &TableName, TextReader &lines)
{
    m_counts = {};
    const Layout layout = readLayout(m_dm.home(), DefName);

    QStringList names;
    for (const FieldDef &f : layout)
        names << Tdm::quoteId(f.name);
    QStringList params;
    for (qsizetype i = 1; i <= layout.size(); ++i)
        params << u"?%1"_s.arg(i);
    const QString sql = u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
            Tdm::quoteId(TableName), names.join(u','), params.join(u','));

    // A statement that cannot be prepared (no fields, a missing table or column) fails every
    // line, as running it line by line would.
    Stmt stmt;
    if (!layout.isEmpty()) {
        try {
            stmt = m_dm.prepare(sql);
        } catch (const DatabaseError &) {
            throw;
        } catch (const Error &) {
            stmt.reset();
        }
    }

    std::vector<Field> fields;
    bool fieldsReady = false;
    std::vector<QByteArray> keep(layout.size()); // UTF-8 of non-ASCII values until the step

    bool prompts = true;
    qint64 lineNo = 0;
    while (lines.next()) {
        const bool ascii = lines.isAscii();
        QString text;
        QByteArrayView bytes;
        if (ascii) {
            bytes = lines.bytes();
            if (TrimBytes(bytes).isEmpty())
                continue;
        } else {
            text = lines.text();
            if (TrimText(text).isEmpty())
                continue;
        }
        ++lineNo;

        // Start columns and widths are converted at the first line that uses them.
        if (!fieldsReady) {
            fields.reserve(layout.size());
            for (const FieldDef &f : layout) {
                Field field;
                field.name = f.name;
                field.kind = kindOf(f);
                field.start = std::max(StrToInt(f.start), 1) - 1;
                field.width = StrToInt(f.width);
                field.scaleText = f.scale;
                fields.push_back(field);
            }
            fieldsReady = true;
        }

        bool lineFailed = !stmt;
        for (size_t i = 0; i < fields.size() && stmt; ++i) {
            Field &f = fields[i];
            const int param = int(i) + 1;
            QByteArrayView value;
            if (ascii) {
                value = TrimBytes(slice(bytes, f.start, f.width));
            } else {
                const QString part = f.start < text.size() ? text.mid(f.start, f.width) : QString();
                keep[i] = TrimText(part).toUtf8();
                value = keep[i];
            }
            sqlite3_stmt *s = stmt.get();
            if (value.isEmpty()) {
                sqlite3_bind_null(s, param);
                continue;
            }
            switch (f.kind) {
            case Kind::String:
                sqlite3_bind_text(s, param, value.data(), int(value.size()), SQLITE_STATIC);
                break;
            case Kind::Number: {
                qint64 n = 0;
                double d = 0;
                if (IsDecimalInteger(value, &n))
                    sqlite3_bind_int64(s, param, n);
                else if (parseDouble(value, d))
                    sqlite3_bind_double(s, param, d);
                else
                    lineFailed = true;
                break;
            }
            case Kind::Float: {
                double d = 0;
                if (parseDouble(value, d))
                    sqlite3_bind_double(s, param, d);
                else
                    lineFailed = true;
                break;
            }
            case Kind::ScaledFloat: {
                if (!f.scale)
                    f.scale = StrToInt(f.scaleText);
                qint64 n = 0;
                if (!IsDecimalInteger(value, &n))
                    throw Error(
                            u"'%1' is not a valid integer value"_s.arg(QString::fromUtf8(value)));
                sqlite3_bind_double(s, param, double(n) / double(*f.scale));
                break;
            }
            case Kind::Date: {
                // Year from characters 1-4, month from 5-6, day from the last two.
                int year = 0, month = 0, day = 0;
                const bool parts
                        = datePart(value.first(std::min<qsizetype>(4, value.size())), year)
                          && datePart(value.size() > 4 ? slice(value, 4, 2) : QByteArrayView(),
                                      month)
                          && datePart(value.last(std::min<qsizetype>(2, value.size())), day);
                if (parts && year >= 1 && year <= 9999 && QDate::isValid(year, month, day)) {
                    char iso[10];
                    writeIsoDate(iso, year, month, day);
                    sqlite3_bind_text(s, param, iso, 10, SQLITE_TRANSIENT);
                } else {
                    sqlite3_bind_null(s, param);
                    ++m_counts.fieldErrors;
                    if (prompts)
                        prompts = m_prompter.askYesNo(continuePrompt(
                                u"Error in %1 File - Line : %2 - Field : %3"_s.arg(TableName)
                                        .arg(lineNo)
                                        .arg(f.name)));
                }
                break;
            }
            case Kind::Other:
                // A type the import has no conversion for leaves the value out of the row.
                lineFailed = true;
                break;
            }
        }

        if (!lineFailed) {
            // A failure of the database itself raises here and ends the command; only the
            // line's own data makes a line error.
            const int rc = m_dm.step(stmt.get());
            sqlite3_reset(stmt.get());
            lineFailed = rc != SQLITE_DONE;
        }
        if (lineFailed) {
            ++m_counts.failedLines;
            if (prompts)
                prompts = m_prompter.askYesNo(continuePrompt(
                        u"Error In %1 File - Line : %2"_s.arg(TableName).arg(lineNo)));
        } else {
            ++m_counts.inserted;
        }
        m_progress.step();
    }
}

} // namespace bm

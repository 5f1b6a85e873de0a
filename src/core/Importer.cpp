#include "Importer.h"

#include "Error.h"
#include "NumberText.h"
#include "ProblemList.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "Text.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Lines counted between two repaints of the progress window.
constexpr qint64 kRepaintLines = 1 << 16;

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

// One field of a layout as the reader uses it.
struct Column
{
    const FieldDef *def = nullptr;
    qsizetype start = 0; // zero-based
    qsizetype width = 0;
    std::optional<double> scale; // a scaled Float's scale, converted at its first use
};

// The lines of one version: its layout, its INSERT statement, and the field positions,
// converted at the first line that uses them.
struct VersionReader
{
    Layout layout;
    Stmt stmt;        // null when the statement cannot be prepared: every line then fails
    QString unusable; // why, then
    std::vector<Column> columns;
    bool converted = false;
    std::vector<QByteArray> keep; // UTF-8 of non-ASCII values until the step

    VersionReader(Tdm &dm, const QString &defName, const QString &table)
        : layout(readLayout(dm.home(), defName))
        , keep(size_t(layout.size()))
    {
        if (layout.isEmpty())
            return;
        QStringList names;
        QStringList params;
        for (const FieldDef &f : std::as_const(layout)) {
            names << Tdm::quoteId(f.name);
            params << u"?%1"_s.arg(params.size() + 1);
        }
        // A statement that cannot be prepared (a missing table or column) fails every line, as
        // running it line by line would.
        try {
            stmt = dm.prepare(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(
                    Tdm::quoteId(table), names.join(u','), params.join(u',')));
        } catch (const DatabaseError &) {
            throw;
        } catch (const Error &e) {
            stmt.reset();
            unusable = e.message();
        }
    }

    void convert()
    {
        if (converted)
            return;
        columns.reserve(size_t(layout.size()));
        for (const FieldDef &f : std::as_const(layout))
            columns.push_back(Column{&f, std::max(f.start.value(), 1) - 1, f.width.value(), {}});
        converted = true;
    }
};

} // namespace

Importer::Importer(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

const Importer::Counts &Importer::importTypeFile(const QString &FileName, const QString &code,
                                                 const QString &TableName)
{
    m_progress.show();
    const QString defName = layoutName(code, GetDIFVersion(FileName));
    std::optional<Transaction> own;
    if (!m_dm.inTransaction())
        own.emplace(m_dm);
    ImportFile(FileName, TableName.isEmpty() ? code : TableName, defName);
    if (own)
        own->commit();
    return m_counts;
}

bool Importer::holdsRecords(const QString &FileName, const QString &code)
{
    TextReader reader(FileName);
    return reader.next() && reader.text().left(3) == code;
}

void Importer::ImportFile(const QString &FileName, const QString &TableName, const QString &DefName)
{
    m_counts = {};
    if (!holdsRecords(FileName, DefName.mid(3, 3)))
        return;
    // The window names the file's table at once, and stays painted while the lines are counted.
    m_progress.setStatus(u"Importing DIF "_s + DefName.mid(3, 3));
    m_progress.setRecords(QString());
    m_progress.setPosition(0);
    m_progress.repaint();
    qint64 lineCount = 0;
    {
        TextReader reader(FileName);
        while (reader.next()) {
            if (++lineCount % kRepaintLines == 0)
                m_progress.repaint();
        }
    }
    m_progress.setMaximum(lineCount - 1);
    m_progress.setPosition(0);
    m_progress.setRecords(countText(lineCount - 1));
    m_progress.repaint();

    TextReader reader(FileName);
    ImportData(DefName, TableName, reader);
}

void Importer::ImportData(const QString &DefName, const QString &TableName, TextReader &lines)
{
    m_counts = {};
    const QString code = DefName.mid(3, 3);
    // The layout the caller names reads the lines of the first line's version; a line of another
    // version is read with its own version's layout, made when that version first shows.
    VersionReader named(m_dm, DefName, TableName);
    std::vector<std::pair<QChar, std::unique_ptr<VersionReader>>> others;
    std::optional<QChar> firstVersion;
    auto readerFor = [&](std::optional<QChar> version) -> VersionReader & {
        if (!firstVersion)
            firstVersion = version ? *version : QChar();
        if (!version || *version == *firstVersion)
            return named;
        for (auto &[v, reader] : others)
            if (v == *version)
                return *reader;
        others.emplace_back(*version, std::make_unique<VersionReader>(
                                              m_dm, layoutName(code, *version), TableName));
        return *others.back().second;
    };

    bool prompts = true;
    qint64 lineNo = 0;   // the record's number, as the line prompts count
    qint64 fileLine = 0; // its line in the file, blank lines included
    while (lines.next()) {
        ++fileLine;
        const bool ascii = lines.isAscii();
        QString text;
        QByteArrayView bytes;
        std::optional<QChar> version;
        if (ascii) {
            bytes = lines.bytes();
            if (TrimBytes(bytes).isEmpty())
                continue;
            if (bytes.size() >= 4)
                version = QChar(char16_t(uchar(bytes[3])));
        } else {
            text = lines.text();
            if (TrimText(text).isEmpty())
                continue;
            if (text.size() >= 4)
                version = text.at(3);
        }
        ++lineNo;

        VersionReader &v = readerFor(version);
        // Start columns and widths are converted at the first line that uses them.
        v.convert();

        sqlite3_stmt *s = v.stmt.get();
        bool lineFailed = !s;
        const Column *badField = nullptr; // the first field that failed the line
        QByteArrayView badText;
        for (size_t i = 0; i < v.columns.size() && s; ++i) {
            Column &f = v.columns[i];
            const int param = int(i) + 1;
            QByteArrayView value;
            if (ascii) {
                value = TrimBytes(slice(bytes, f.start, f.width));
            } else {
                const QString part = f.start < text.size() ? text.mid(f.start, f.width) : QString();
                v.keep[i] = TrimText(part).toUtf8();
                value = v.keep[i];
            }
            if (value.isEmpty()) {
                sqlite3_bind_null(s, param);
                continue;
            }
            switch (f.def->type) {
            case FieldType::String:
                sqlite3_bind_text(s, param, value.data(), int(value.size()), SQLITE_STATIC);
                break;
            case FieldType::Number: {
                qint64 n = 0;
                double d = 0;
                if (IsDecimalInteger(value, &n))
                    sqlite3_bind_int64(s, param, n);
                else if (numtext::parse(value, d))
                    sqlite3_bind_double(s, param, d);
                else if (!std::exchange(lineFailed, true)) {
                    badField = &f;
                    badText = value;
                }
                break;
            }
            case FieldType::Float: {
                if (f.def->scale.isGiven()) {
                    if (!f.scale)
                        f.scale = f.def->scale.value();
                    qint64 n = 0;
                    if (!IsDecimalInteger(value, &n))
                        throw Error(u"\"%1\", line %2, field %3: '%4' is not a valid integer "
                                    "value"_s.arg(QDir::toNativeSeparators(lines.path()))
                                            .arg(fileLine)
                                            .arg(f.def->name, QString::fromUtf8(value)));
                    sqlite3_bind_double(s, param, double(n) / *f.scale);
                    break;
                }
                double d = 0;
                if (numtext::parse(value, d))
                    sqlite3_bind_double(s, param, d);
                else if (!std::exchange(lineFailed, true)) {
                    badField = &f;
                    badText = value;
                }
                break;
            }
            case FieldType::Date: {
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
                    if (m_problems)
                        addProblem(lines, fileLine, code, f.def->name, value,
                                   u"Not a valid date: stored as empty"_s);
                    if (prompts)
                        prompts = m_prompter.askYesNo(continuePrompt(
                                u"Error in %1 File - Line : %2 - Field : %3"_s.arg(TableName)
                                        .arg(lineNo)
                                        .arg(f.def->name)));
                }
                break;
            }
            }
        }

        QString refused;
        if (!lineFailed) {
            // A failure of the database itself raises here and ends the command; only the
            // line's own data makes a line error.
            const int rc = m_dm.step(s);
            if (rc != SQLITE_DONE && m_problems)
                refused = m_dm.sqliteError();
            sqlite3_reset(s);
            lineFailed = rc != SQLITE_DONE;
        }
        if (lineFailed) {
            ++m_counts.failedLines;
            if (m_problems) {
                if (badField)
                    addProblem(lines, fileLine, code, badField->def->name, badText,
                               u"Not a number: the line was left out"_s);
                else
                    addProblem(lines, fileLine, code, QString(), {},
                               u"The line cannot be stored (%1): it was left out"_s.arg(
                                       s ? refused : v.unusable));
            }
            if (prompts)
                prompts = m_prompter.askYesNo(continuePrompt(
                        u"Error In %1 File - Line : %2"_s.arg(TableName).arg(lineNo)));
        } else {
            ++m_counts.inserted;
        }
        m_progress.step();
    }
}

void Importer::addProblem(const TextReader &lines, qint64 fileLine, const QString &code,
                          const QString &field, QByteArrayView text, const QString &message)
{
    if (lines.path() != m_problemPath) {
        m_problemPath = lines.path();
        m_problemFile = QFileInfo(m_problemPath).fileName();
    }
    Problem p;
    p.file = m_problemFile;
    p.line = fileLine;
    p.recordType = code;
    p.field = field;
    p.message = message;
    // Only here, on an error, is the line read again as text, and only when it is needed.
    if (field.isEmpty() || (m_keepSource && !lines.isAscii())) {
        const QString line = lines.isAscii() ? QString::fromLatin1(lines.bytes()) : lines.text();
        if (field.isEmpty())
            p.text = TrimText(line);
        if (m_keepSource)
            p.source = line.toUtf8();
    }
    if (!field.isEmpty())
        p.text = QString::fromUtf8(text);
    if (m_keepSource && lines.isAscii())
        p.source = lines.bytes().toByteArray();
    m_problems->add(std::move(p));
}

} // namespace bm

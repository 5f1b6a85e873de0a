#include "Importer.h"

#include "Cell.h"
#include "Error.h"
#include "Loader.h"
#include "NumberText.h"
#include "ProblemList.h"
#include "ProgressSink.h"
#include "Prompter.h"
#include "Tdm.h"
#include "Text.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// Lines counted between two repaints of the progress window.
constexpr qint64 kRepaintLines = 1 << 16;
// Lines read into one batch (and the bytes they may take), and the batches in flight between
// the thread that reads the lines and the thread that inserts them: the memory stays bounded
// whatever the size of the file.
constexpr size_t kBatchLines = 4096;
constexpr size_t kBatchBytes = 1 << 20;
constexpr size_t kBatchesInFlight = 4;

// A Date field's text (trimmed): eight digits, year, month and day, of a real date (years 1 to
// 9999). Anything else (seven digits, a sign, a blank inside) is no date.
bool readDate(QByteArrayView text, int &year, int &month, int &day)
{
    if (text.size() != 8)
        return false;
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v[i] = text[i] - '0';
    }
    year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    month = v[4] * 10 + v[5];
    day = v[6] * 10 + v[7];
    return year >= 1 && QDate::isValid(year, month, day);
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

// True when a line of the file's record type, `trimmed` characters long without its blanks and
// `length` with them, is a record: more than its record type, and more than its record type and
// version character (a row whose fields are all empty is written as those and blanks).
bool holdsFields(qsizetype trimmed, qsizetype length)
{
    return trimmed > 3 && length > 4;
}

// One field of a layout as the reader uses it.
struct Column
{
    const FieldDef *def = nullptr;
    qsizetype start = 0; // zero-based
    qsizetype width = 0;
    std::optional<double> scale; // a scaled Float's scale, converted at its first use
};

// The lines of one version: its layout, and the field positions, converted at the first line
// that uses them (a bad start or width ends the command there, not before).
struct VersionReader
{
    QString defName;
    bool missing = false; // no layout file of that name
    Layout layout;
    std::vector<Column> columns;
    bool converted = false;

    VersionReader(const QString &home, const QString &name)
        : defName(name)
        , missing(!QFileInfo(defsFolder(home) + name).isFile())
        , layout(readLayout(home, name))
    {}

    void convert()
    {
        if (converted)
            return;
        columns.reserve(size_t(layout.size()));
        for (const FieldDef &f : std::as_const(layout)) {
            try {
                columns.push_back(
                        Column{&f, std::max(f.start.value(), 1) - 1, f.width.value(), {}});
            } catch (const Error &e) {
                throw Error(u"The layout %1, field %2: %3"_s.arg(defName, f.name, e.message()));
            }
        }
        converted = true;
    }
};

// One non-blank line as read.
struct ParsedLine
{
    enum class Outcome : quint8 {
        Good,    // inserted, its bad dates (if any) as Null
        Failed,  // a field's text is no number: the line is left out
        Refused, // the line is no record that can be read (`refusal` says why): left out
        Fatal,   // a field ended the command: its exception, after the errors of the fields before
        Stop,    // reading ended the command here (the exception): not a line
    };
    enum class Refusal : quint8 {
        None,
        OtherType, // it does not begin with the file's record type
        NoFields,  // nothing after its record type and version
        NoLayout,  // no layout describes its version
    };
    const VersionReader *reader = nullptr;
    qint64 lineNo = 0;      // the record's number, as the line prompts count
    qint64 fileLine = 0;    // its line in the file, blank lines included
    quint64 lineAt = 0;     // the whole line in the arena (ASCII lines, or any when problems
    quint32 lineLength = 0; // are collected), for the problem list
    quint16 badColumn = 0;  // Failed: the first field whose text is no number; Fatal: the field
    bool notWhole = false;  // Failed: that text is a number, but a scaled field's is whole
    Refusal refusal = Refusal::None;
    char16_t version = 0;   // NoLayout: the line's version character
    quint32 firstCell = 0;  // its fields: cells[firstCell, firstCell + the layout's fields)
    quint32 firstError = 0; // its bad dates: errorColumns[firstError, firstError + errors)
    quint32 errors = 0;
    quint32 exception = 0; // Fatal and Stop: index into the batch's exceptions
    Outcome outcome = Outcome::Good;
};

// Lines read, in file order, with the bytes their texts point into.
struct Batch
{
    std::vector<ParsedLine> lines;
    std::vector<Cell> cells;
    std::vector<char> arena; // the lines' text values (ASCII lines whole) and dates as ISO text
    std::vector<quint16> errorColumns;
    std::vector<std::exception_ptr> exceptions;
    bool last = false; // no batch follows

    void clear()
    {
        lines.clear();
        cells.clear();
        arena.clear();
        errorColumns.clear();
        exceptions.clear();
        last = false;
    }
    bool full() const { return lines.size() >= kBatchLines || arena.size() >= kBatchBytes; }

    quint64 append(QByteArrayView bytes)
    {
        const quint64 at = arena.size();
        arena.insert(arena.end(), bytes.begin(), bytes.end());
        return at;
    }
    void stop(std::exception_ptr e, qint64 fileLine)
    {
        ParsedLine l;
        l.outcome = ParsedLine::Outcome::Stop;
        l.fileLine = fileLine;
        l.exception = quint32(exceptions.size());
        exceptions.push_back(std::move(e));
        lines.push_back(l);
    }
};

// Batches handed from the reading thread to the inserting thread in order, and back for reuse.
class BatchQueue
{
public:
    BatchQueue()
    {
        for (size_t i = 0; i < kBatchesInFlight; ++i)
            m_free.push_back(std::make_unique<Batch>());
    }

    // Reading thread: an empty batch to fill, once one is free; null when the command ended.
    std::unique_ptr<Batch> empty()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_stopped || !m_free.empty(); });
        if (m_stopped)
            return nullptr;
        std::unique_ptr<Batch> batch = std::move(m_free.front());
        m_free.pop_front();
        batch->clear();
        return batch;
    }
    void publish(std::unique_ptr<Batch> batch)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_full.push_back(std::move(batch));
        }
        m_changed.notify_all();
    }

    // Inserting thread: the next batch, once it is read.
    std::unique_ptr<Batch> next()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_full.empty(); });
        std::unique_ptr<Batch> batch = std::move(m_full.front());
        m_full.pop_front();
        return batch;
    }
    void recycle(std::unique_ptr<Batch> batch)
    {
        {
            const std::lock_guard lock(m_mutex);
            m_free.push_back(std::move(batch));
        }
        m_changed.notify_all();
    }
    // The command ended: the reading thread stops at its next batch.
    void stop()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_free;
    std::deque<std::unique_ptr<Batch>> m_full;
    bool m_stopped = false;
};

// Reads lines into cells: the work of the reading thread. The layout the caller names reads the
// lines of the first line's version; a line of another version is read with its own version's
// layout, read when that version first shows.
class LineParser
{
public:
    // `wholeLines`: keep every line whole in the arena, also one that is not ASCII.
    LineParser(const QString &home, const QString &defName, bool wholeLines)
        : m_home(home)
        , m_code(defName.mid(3, 3))
        , m_codeBytes(m_code.toLatin1())
        , m_named(home, defName)
        , m_wholeLines(wholeLines)
    {}

    const VersionReader &named() const { return m_named; }

    // Reads every line of `lines` into batches from `queue`, in order. Whatever ends the reading
    // (an unreadable file, a bad layout) goes at its place in the last batch.
    void run(TextReader &lines, BatchQueue &queue)
    {
        std::unique_ptr<Batch> batch = queue.empty();
        if (!batch)
            return;
        qint64 reading = 0; // the line being read, for what ends the reading
        try {
            while ((reading = m_fileLine + 1, lines.next())) {
                read(lines, *batch);
                if (batch->full()) {
                    queue.publish(std::move(batch));
                    batch = queue.empty();
                    if (!batch)
                        return;
                }
            }
        } catch (...) {
            batch->stop(std::current_exception(), reading);
        }
        batch->last = true;
        queue.publish(std::move(batch));
    }

private:
    VersionReader &readerFor(std::optional<QChar> version)
    {
        if (!m_firstVersion)
            m_firstVersion = version ? *version : QChar();
        if (!version || *version == *m_firstVersion)
            return m_named;
        for (auto &[v, reader] : m_others)
            if (v == *version)
                return *reader;
        m_others.emplace_back(
                *version, std::make_unique<VersionReader>(m_home, layoutName(m_code, *version)));
        return *m_others.back().second;
    }

    void read(TextReader &lines, Batch &b)
    {
        ++m_fileLine;
        const bool ascii = lines.isAscii();
        QString text;
        QByteArrayView bytes;
        std::optional<QChar> version;
        qsizetype trimmed = 0;
        qsizetype length = 0;
        bool ofType = false;
        if (ascii) {
            bytes = lines.bytes();
            trimmed = TrimBytes(bytes).size();
            length = bytes.size();
            if (trimmed == 0)
                return;
            if (bytes.size() >= 4)
                version = QChar(char16_t(uchar(bytes[3])));
            ofType = bytes.startsWith(m_codeBytes);
        } else {
            text = lines.text();
            trimmed = TrimText(text).size();
            length = text.size();
            if (trimmed == 0)
                return;
            if (text.size() >= 4)
                version = text.at(3);
            ofType = text.startsWith(m_code);
        }
        ++m_lineNo;

        ParsedLine l;
        l.lineNo = m_lineNo;
        l.fileLine = m_fileLine;
        // An ASCII line is kept whole: its text values are bound straight from its bytes.
        const quint64 lineAt = ascii ? b.append(bytes) : 0;
        if (ascii) {
            l.lineAt = lineAt;
            l.lineLength = quint32(bytes.size());
        } else if (m_wholeLines) {
            const QByteArray utf8 = text.toUtf8();
            l.lineAt = b.append(utf8);
            l.lineLength = quint32(utf8.size());
        }
        // A line that is no record of the file's type, or holds nothing but its record type (and
        // version), would be stored as a row of empty fields: it is left out and reported. A
        // line of blanks after them, as a row of empty fields is written, is such a row.
        if (!ofType || !holdsFields(trimmed, length)) {
            l.outcome = ParsedLine::Outcome::Refused;
            l.refusal = ofType ? ParsedLine::Refusal::NoFields : ParsedLine::Refusal::OtherType;
            b.lines.push_back(l);
            return;
        }
        VersionReader &v = readerFor(version);
        if (v.layout.isEmpty()) {
            l.outcome = ParsedLine::Outcome::Refused;
            l.refusal = ParsedLine::Refusal::NoLayout;
            l.version = version ? version->unicode() : u' ';
            l.reader = &v;
            b.lines.push_back(l);
            return;
        }
        v.convert();

        l.reader = &v;
        l.firstCell = quint32(b.cells.size());
        l.firstError = quint32(b.errorColumns.size());
        // A number read as a real; one that is none fails the line at its first such column.
        const auto fail = [&l](size_t column, bool notWhole) {
            if (l.outcome != ParsedLine::Outcome::Failed) {
                l.outcome = ParsedLine::Outcome::Failed;
                l.badColumn = quint16(column);
                l.notWhole = notWhole;
            }
        };
        const auto takeReal = [&fail](Cell &c, QByteArrayView value, size_t column) {
            if (double d = 0; numtext::parse(value, d)) {
                c.kind = Cell::Kind::Real;
                c.real = d;
            } else {
                fail(column, false);
            }
        };
        size_t i = 0;
        try {
            for (; i < v.columns.size(); ++i) {
                Column &f = v.columns[i];
                Cell &c = b.cells.emplace_back();
                QByteArrayView value;
                quint64 at = 0;
                QByteArray utf8;
                if (ascii) {
                    value = TrimBytes(slice(bytes, f.start, f.width));
                    at = lineAt + quint64(value.data() - bytes.data());
                } else {
                    const QString part
                            = f.start < text.size() ? text.mid(f.start, f.width) : QString();
                    utf8 = TrimText(part).toUtf8();
                    value = utf8;
                    at = b.append(utf8);
                }
                if (value.isEmpty())
                    continue;
                // Where the text is, also for a value that fails (kept Null, for the problem
                // list); a number overwrites it.
                c.offset = at;
                c.length = quint32(value.size());
                switch (f.def->type) {
                case FieldType::String:
                    c.kind = Cell::Kind::Text;
                    c.offset = at;
                    c.length = quint32(value.size());
                    break;
                case FieldType::Number: {
                    if (IsDecimalInteger(value, &c.integer)) {
                        c.kind = Cell::Kind::Integer;
                    } else {
                        takeReal(c, value, i);
                    }
                    break;
                }
                case FieldType::Float:
                    if (f.def->scale.isGiven()) {
                        if (!f.scale)
                            f.scale = f.def->scale.value();
                        // The field holds a whole number of its scale's parts; any other text
                        // fails the line, as for a Number field.
                        qint64 n = 0;
                        if (IsDecimalInteger(value, &n)) {
                            c.kind = Cell::Kind::Real;
                            c.real = double(n) / *f.scale;
                        } else {
                            double ignored = 0;
                            fail(i, numtext::parse(value, ignored));
                        }
                    } else {
                        takeReal(c, value, i);
                    }
                    break;
                case FieldType::Date: {
                    int year = 0, month = 0, day = 0;
                    if (readDate(value, year, month, day)) {
                        char iso[10];
                        writeIsoDate(iso, year, month, day);
                        c.kind = Cell::Kind::Text;
                        c.offset = b.append(QByteArrayView(iso, 10));
                        c.length = 10;
                    } else {
                        b.errorColumns.push_back(quint16(i));
                        ++l.errors;
                    }
                    break;
                }
                }
            }
        } catch (...) {
            l.outcome = ParsedLine::Outcome::Fatal;
            l.badColumn = quint16(i);
            l.exception = quint32(b.exceptions.size());
            b.exceptions.push_back(std::current_exception());
        }
        b.lines.push_back(l);
    }

    QString m_home;
    QString m_code;
    QByteArray m_codeBytes;
    VersionReader m_named;
    std::vector<std::pair<QChar, std::unique_ptr<VersionReader>>> m_others;
    std::optional<QChar> m_firstVersion;
    qint64 m_lineNo = 0;   // the record's number, as the line prompts count
    qint64 m_fileLine = 0; // its line in the file, blank lines included
    bool m_wholeLines = false;
};

// Where the rows of one version's layout go: the database's row sink for its fields.
struct Statements
{
    std::unique_ptr<db::RowSink> sink; // null when rows cannot be stored: every line then fails
    QString unusable;                  // why, then
};

// The row sink of `v` into `table`. A table or column that is missing fails every line, as
// storing them line by line would; a failure of the database itself ends the command.
Statements prepareStatements(Tdm &dm, const VersionReader &v, const QString &table)
{
    Statements st;
    if (v.layout.isEmpty())
        return st;
    QStringList names;
    for (const FieldDef &f : v.layout)
        names << f.name;
    try {
        st.sink = dm.connection().rowSink(table, names);
    } catch (const DatabaseError &) {
        throw;
    } catch (const Error &e) {
        st.unusable = e.message();
    }
    return st;
}

} // namespace

Importer::Importer(Tdm &dm, ProgressSink &progress, Prompter &prompter)
    : m_dm(dm)
    , m_progress(progress)
    , m_prompter(prompter)
{}

const Importer::Counts &Importer::importTypeFile(const QString &FileName, const QString &code,
                                                 const QString &TableName, qint64 lineCount)
{
    m_progress.show();
    const QString defName = layoutName(code, examine(FileName, code).version);
    std::optional<Transaction> own;
    if (!m_dm.inTransaction())
        own.emplace(m_dm);
    ImportFile(FileName, TableName.isEmpty() ? code : TableName, defName, lineCount);
    if (own)
        own->commit();
    return m_counts;
}

Importer::Content Importer::examine(const QString &FileName, const QString &code)
{
    Content content;
    TextReader reader(FileName);
    while (reader.next()) {
        const QString line = reader.text();
        const QString trimmed = TrimText(line);
        if (trimmed.isEmpty())
            continue;
        if (line.startsWith(code) && holdsFields(trimmed.size(), line.size())) {
            content.kind = Content::Records;
            content.version = line.at(3);
            return content;
        }
        if (content.kind == Content::Blank) {
            content.kind = Content::NoRecords;
            content.firstLine = visibleText(trimmed.left(40));
        }
    }
    return content;
}

void Importer::setProblems(ProblemList *problems, bool keepSource)
{
    m_problems = problems;
    m_keepSource = keepSource;
    if (m_problems) {
        m_problemsFrom = m_problems->size();
        m_problems->setSpillFolder(scratchFolder(m_dm.home()));
    }
}

void Importer::ImportFile(const QString &FileName, const QString &TableName, const QString &DefName,
                          qint64 lineCount)
{
    m_counts = {};
    // A file of blank lines holds nothing to say anything about. Any other file is read line by
    // line, so every line that is no record is reported, also when none is.
    if (examine(FileName, DefName.mid(3, 3)).kind == Content::Blank)
        return;
    // The window names the file's table at once, and stays painted while the lines are counted.
    m_progress.setStatus(u"Importing DIF "_s + DefName.mid(3, 3));
    m_progress.setRecords(QString());
    m_progress.setPosition(0);
    m_progress.repaint();
    if (lineCount < 0) {
        lineCount = 0;
        TextReader reader(FileName);
        try {
            while (reader.next()) {
                if (++lineCount % kRepaintLines == 0)
                    m_progress.repaint();
            }
        } catch (const Error &e) {
            // A line that cannot be read ends the command before any line is imported.
            if (m_problems) {
                m_problemFile = QFileInfo(FileName).fileName();
                m_problemCode = DefName.mid(3, 3);
                m_problems->markStopped(m_problemsFrom);
                addProblem(reader.lineNumber() + 1, QString(), {}, {}, e.message(),
                           ProblemList::stoppedHere());
                m_listedStop = true;
            }
            throw;
        }
    }
    // The gauge and the count take in every line, so the last record is counted too.
    m_progress.setMaximum(lineCount);
    m_progress.setPosition(0);
    m_progress.setRecords(countText(lineCount));
    m_progress.repaint();

    TextReader reader(FileName);
    ImportData(DefName, TableName, reader);
}

void Importer::reportError(const QString &TableName, qint64 lineNo, const FieldDef *field)
{
    QString head;
    if (field) {
        ++m_counts.fieldErrors;
        head = u"Error in %1 File - Line : %2 - Field : %3"_s.arg(TableName).arg(lineNo).arg(
                field->name);
    } else {
        ++m_counts.failedLines;
        head = u"Error In %1 File - Line : %2"_s.arg(TableName).arg(lineNo);
    }
    if (m_prompts)
        m_prompts = m_prompter.askYesNo(continuePrompt(head));
}

void Importer::ImportData(const QString &DefName, const QString &TableName, TextReader &lines)
{
    m_counts = {};
    m_prompts = true;
    if (m_problems) {
        m_problemFile = QFileInfo(lines.path()).fileName();
        m_problemCode = DefName.mid(3, 3);
    }
    // One thread reads and slices the lines while this one binds and steps them, in file order:
    // prompts, counts and rows come exactly as they would from one thread.
    LineParser parser(m_dm.home(), DefName, m_problems != nullptr);
    std::unordered_map<const VersionReader *, Statements> statements;
    statements.emplace(&parser.named(), prepareStatements(m_dm, parser.named(), TableName));
    auto statementsFor = [&](const VersionReader &v) -> Statements & {
        auto it = statements.find(&v);
        if (it == statements.end())
            it = statements.emplace(&v, prepareStatements(m_dm, v, TableName)).first;
        return it->second;
    };

    // One line on its own: its bad dates reported, then its row stepped or the line reported.
    const auto lineText = [](const Batch &b, const ParsedLine &l) {
        return QByteArrayView(b.arena.data() + l.lineAt, qsizetype(l.lineLength));
    };
    const auto cellText = [](const Batch &b, const ParsedLine &l, size_t column) {
        const Cell &c = b.cells[l.firstCell + column];
        return QByteArrayView(b.arena.data() + c.offset, qsizetype(c.length));
    };

    // Where the command stopped, should it stop: the line being inserted, and its field when
    // the field's text ended it.
    const Batch *stopBatch = nullptr;
    const ParsedLine *stopLine = nullptr;

    auto refuse = [&](const Batch &b, const ParsedLine &l) {
        if (m_problems) {
            QString what;
            switch (l.refusal) {
            case ParsedLine::Refusal::OtherType:
                what = u"Not a record of type %1"_s.arg(m_problemCode);
                break;
            case ParsedLine::Refusal::NoFields:
                what = TrimText(QString::fromUtf8(lineText(b, l))).size() <= 3
                               ? u"The line holds only its record type"_s
                               : u"The line holds only its record type and version"_s;
                break;
            case ParsedLine::Refusal::NoLayout:
                what = (l.reader->missing ? u"No layout for version '%1' of record type %2 (%3 "
                                            "is missing)"_s
                                          : u"No layout for version '%1' of record type %2 (%3 "
                                            "describes no fields)"_s)
                               .arg(visibleText(QString(QChar(l.version))), m_problemCode,
                                    l.reader->defName);
                break;
            case ParsedLine::Refusal::None:
                break;
            }
            addProblem(l.fileLine, QString(), {}, lineText(b, l), what, u"the line was left out"_s);
        }
        reportError(TableName, l.lineNo, nullptr);
        m_progress.step();
    };

    auto insertOne = [&](const Batch &b, const ParsedLine &l) {
        stopBatch = &b;
        stopLine = &l;
        if (l.outcome == ParsedLine::Outcome::Refused) {
            refuse(b, l);
            return;
        }
        const Statements &st = statementsFor(*l.reader);
        db::RowSink *s = st.sink.get();
        bool failed = !s || l.outcome == ParsedLine::Outcome::Failed;
        if (s) {
            for (quint32 e = 0; e < l.errors; ++e) {
                const size_t column = b.errorColumns[l.firstError + e];
                const FieldDef *field = l.reader->columns[column].def;
                if (m_problems)
                    addProblem(l.fileLine, field->name, cellText(b, l, column), lineText(b, l),
                               u"Not a valid date"_s, u"stored as empty"_s);
                reportError(TableName, l.lineNo, field);
            }
            if (l.outcome == ParsedLine::Outcome::Fatal)
                std::rethrow_exception(b.exceptions[l.exception]);
        }
        QString refused;
        if (!failed) {
            // A failure of the database itself raises here and ends the command; only the
            // line's own data makes a line error.
            failed = !s->insertRow(&b.cells[l.firstCell], b.arena.data());
            if (failed && m_problems)
                refused = s->refusal();
        }
        if (failed) {
            if (m_problems) {
                if (s && l.outcome == ParsedLine::Outcome::Failed)
                    addProblem(l.fileLine, l.reader->columns[l.badColumn].def->name,
                               cellText(b, l, l.badColumn), lineText(b, l),
                               l.notWhole ? u"Not a whole number"_s : u"Not a number"_s,
                               u"the line was left out"_s);
                else
                    addProblem(l.fileLine, QString(), {}, lineText(b, l),
                               u"The line cannot be stored (%1)"_s.arg(s ? refused : st.unusable),
                               u"the line was left out"_s);
            }
            reportError(TableName, l.lineNo, nullptr);
        } else {
            ++m_counts.inserted;
        }
        m_progress.step();
    };

    // Good lines of one version in one step; should a line's own data fail it (the statement
    // then undoes its rows), the lines go again one at a time, so that line is reported.
    auto insertRun = [&](const Batch &b, size_t first, size_t rows, Statements &st) {
        stopBatch = &b;
        stopLine = &b.lines[first];
        // The lines' cells follow one another in the batch, a row after a row.
        if (!st.sink->insertRows(&b.cells[b.lines[first].firstCell], rows, b.arena.data())) {
            for (size_t r = 0; r < rows; ++r)
                insertOne(b, b.lines[first + r]);
            return;
        }
        m_counts.inserted += qint64(rows);
        for (size_t r = 0; r < rows; ++r)
            m_progress.step();
    };

    auto insertBatch = [&](const Batch &b) {
        const auto isGood = [](const ParsedLine &l) {
            return l.outcome == ParsedLine::Outcome::Good && l.errors == 0;
        };
        size_t i = 0;
        while (i < b.lines.size()) {
            const ParsedLine &l = b.lines[i];
            if (l.outcome == ParsedLine::Outcome::Stop) {
                stopBatch = &b;
                stopLine = &l;
                std::rethrow_exception(b.exceptions[l.exception]);
            }
            if (l.outcome == ParsedLine::Outcome::Refused) {
                insertOne(b, l);
                ++i;
                continue;
            }
            Statements &st = statementsFor(*l.reader);
            size_t end = i + 1;
            const size_t runRows = st.sink ? st.sink->runRows() : 0;
            if (runRows > 1 && isGood(l)) {
                while (end < b.lines.size() && end - i < runRows && isGood(b.lines[end])
                       && b.lines[end].reader == l.reader)
                    ++end;
                if (end - i == runRows) {
                    insertRun(b, i, runRows, st);
                    i = end;
                    continue;
                }
            }
            // A line with an error, or good lines too few for a run: one at a time.
            for (; i < end; ++i)
                insertOne(b, b.lines[i]);
        }
    };

    // On the heap: its lock is a new one for every file, never one at the address of an old one.
    const auto queue = std::make_unique<BatchQueue>();
    std::thread reading([&] { parser.run(lines, *queue); });
    // However the command ends, the reading thread stops and is gone before what it uses.
    struct Join
    {
        BatchQueue &queue;
        std::thread &thread;
        ~Join()
        {
            queue.stop();
            thread.join();
        }
    } join{*queue, reading};
    for (bool last = false; !last;) {
        std::unique_ptr<Batch> batch = queue->next();
        try {
            insertBatch(*batch);
        } catch (const Error &e) {
            // The command ends here and its transaction is rolled back: the problems found say
            // that nothing was stored, and the line where it stopped is listed with the error.
            if (m_problems) {
                m_problems->markStopped(m_problemsFrom);
                const ParsedLine *l = stopLine;
                const bool atField = l && l->reader && l->outcome == ParsedLine::Outcome::Fatal
                                     && l->badColumn < l->reader->columns.size();
                addProblem(l ? l->fileLine : 0,
                           atField ? l->reader->columns[l->badColumn].def->name : QString(),
                           atField ? cellText(*stopBatch, *l, l->badColumn) : QByteArrayView(),
                           l && l->outcome != ParsedLine::Outcome::Stop ? lineText(*stopBatch, *l)
                                                                        : QByteArrayView(),
                           e.message(), ProblemList::stoppedHere());
                m_listedStop = true;
            }
            throw;
        }
        last = batch->last;
        queue->recycle(std::move(batch));
    }
    // Rows still gathered in a sink are stored before the file counts as imported.
    for (auto &[reader, st] : statements) {
        if (st.sink)
            st.sink->finish();
    }
}

void Importer::addProblem(qint64 fileLine, const QString &field, QByteArrayView text,
                          QByteArrayView line, const QString &message, const QString &outcome)
{
    Problem p;
    p.file = m_problemFile;
    p.line = fileLine;
    p.recordType = m_problemCode;
    p.field = field;
    p.message = message;
    p.outcome = outcome;
    p.text = visibleText(field.isEmpty() ? TrimText(QString::fromUtf8(line))
                                         : QString::fromUtf8(text));
    if (m_keepSource)
        p.source = line.toByteArray();
    m_problems->add(std::move(p));
}

} // namespace bm

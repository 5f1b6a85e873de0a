#include "FileCheck.h"

#include "Error.h"
#include "ProgressSink.h"
#include "RowReader.h"
#include "Tdm.h"
#include "Text.h"
#include "Undo.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <sqlite3.h>

namespace bm {

using namespace Qt::StringLiterals;

QString fileCheckScriptPath(const QString &home)
{
    return (home.endsWith(u'/') ? home : home + u'/') + u"FileCheck.SQL"_s;
}

ScriptLine classifyScriptLine(QStringView line)
{
    ScriptLine result;
    if (line.startsWith(u"/!")) {
        result.kind = ScriptLineKind::Check;
        const qsizetype p = line.indexOf(u"!/") + 1; // 1-based, 0 when absent
        if (p > 4)
            result.title = line.mid(3, p - 4).toString();
        result.sql = TrimText(line.mid(std::min(p + 2, line.size())).toString());
        return result;
    }
    bool blank = true;
    for (const QChar c : line) {
        if (c.unicode() > 0x20) {
            blank = false;
            break;
        }
    }
    if (!blank && line.front() != u'/') {
        result.kind = ScriptLineKind::Action;
        result.sql = line.toString();
    } else if (!line.isEmpty() && line.front() == u'/') {
        result.kind = ScriptLineKind::Comment;
    }
    return result;
}

namespace {

// No check script comes near this; a file larger than this is no script.
constexpr qint64 kMaxScriptBytes = 4 << 20;

} // namespace

QStringList readCheckScript(const QString &path)
{
    // Only a plain file is a script, and only up to a size no script reaches: a link to a device
    // or a pipe would otherwise be read without end.
    const QFileInfo info(path);
    const QString name = QDir::toNativeSeparators(path);
    if (info.exists() && !info.isFile())
        throw Error(u"Cannot read the check script \"%1\": it is not a plain file"_s.arg(name));
    auto tooLarge = [&] {
        return Error(u"Cannot read the check script \"%1\": it is larger than %2"_s.arg(
                name, QLocale().formattedDataSize(kMaxScriptBytes, 0,
                                                  QLocale::DataSizeTraditionalFormat)));
    };
    if (info.size() > kMaxScriptBytes)
        throw tooLarge();
    QStringList lines;
    qint64 read = 0;
    TextReader reader(path);
    while (reader.next()) {
        read += reader.bytes().size() + 1;
        if (read > kMaxScriptBytes)
            throw tooLarge(); // it grew while it was read
        lines << reader.text();
    }
    return lines;
}

namespace {

// A statement the script's rules refuse: it ends the run.
struct Refused
{
    QString why;
};

// Pragmas that only read: those of the first list name a table or an index; those of the second
// only read while they are given no value (with one they would set it).
bool isReadingPragma(const QByteArray &name, bool withArgument)
{
    static const QList<QByteArray> named = {
            "table_info",       "table_xinfo",       "index_list",      "index_info", "index_xinfo",
            "foreign_key_list", "foreign_key_check", "integrity_check", "quick_check"};
    static const QList<QByteArray> plain
            = {"collation_list", "function_list",   "module_list",  "pragma_list",
               "database_list",  "compile_options", "page_count",   "page_size",
               "freelist_count", "encoding",        "user_version", "application_id",
               "schema_version", "data_version",    "foreign_keys", "table_list"};
    const QByteArray lower = name.toLower();
    return named.contains(lower) || (!withArgument && plain.contains(lower));
}

// What a line of the script may do: read and change the rows of the tables, and make temporary
// tables, views and indexes of its own. It may not reach another database file (ATTACH), change
// the herd database's tables or their triggers, set pragmas that change the file or the
// connection, or write the data generation that undo relies on. Each of these is refused with
// the reason in `why`, and ends the run.
int scriptRules(void *, int action, const char *a, const char *b, const char *, const char *,
                QString &why)
{
    switch (action) {
    case SQLITE_ATTACH:
    case SQLITE_DETACH:
        why = u"a check script may not attach or detach database files"_s;
        return SQLITE_DENY;
    case SQLITE_PRAGMA: {
        const QByteArray name(a ? a : "");
        // `b` is the pragma's value or the table it names, null when there is none.
        if (isReadingPragma(name, b != nullptr))
            return SQLITE_OK;
        why = u"a check script may only read pragmas that tell about the tables; PRAGMA %1 is "
              "refused"_s.arg(QString::fromUtf8(name));
        return SQLITE_DENY;
    }
    case SQLITE_CREATE_INDEX:
    case SQLITE_CREATE_TABLE:
    case SQLITE_CREATE_TRIGGER:
    case SQLITE_CREATE_TEMP_TRIGGER:
    case SQLITE_CREATE_VIEW:
    case SQLITE_CREATE_VTABLE:
    case SQLITE_DROP_INDEX:
    case SQLITE_DROP_TABLE:
    case SQLITE_DROP_TRIGGER:
    case SQLITE_DROP_TEMP_TRIGGER:
    case SQLITE_DROP_VIEW:
    case SQLITE_DROP_VTABLE:
    case SQLITE_ALTER_TABLE:
    case SQLITE_ANALYZE:
        why = u"a check script may change rows, not the tables of the herd database (only "
              "temporary tables, views and indexes of its own)"_s;
        return SQLITE_DENY;
    case SQLITE_INSERT:
    case SQLITE_UPDATE:
    case SQLITE_DELETE:
        if (a && qstricmp(a, "DataGeneration") == 0) {
            why = u"a check script may not write the table %1"_s.arg(QString::fromUtf8(a));
            return SQLITE_DENY;
        }
        return SQLITE_OK;
    default:
        return SQLITE_OK;
    }
}

// Hands out the statements of one line in order, each prepared only once the ones before it
// have run (a line may create a table and then fill it). While it lives, the line's SQL may not
// begin, end or mark transactions: the run keeps each line in a transaction of its own (a
// COMMIT in a line would make the line's earlier statements permanent even when a later one
// fails).
class Statements
{
public:
    Statements(Tdm &dm, const QString &sql)
        : m_dm(dm)
        , m_rest(sql)
    {}

    // The next statement, or null after the last. Raises Refused when the script's rules refuse
    // it, and Error when it cannot be prepared.
    Stmt next()
    {
        db::Connection &connection = m_dm.connection();
        connection.guardScript(true);
        m_dm.setStatementRules(scriptRules, nullptr);
        struct Off
        {
            Tdm &dm;
            db::Connection &c;
            ~Off()
            {
                dm.setStatementRules(nullptr, nullptr);
                c.guardScript(false);
            }
        } off{m_dm, connection};
        try {
            return connection.prepareFirst(m_rest);
        } catch (const DatabaseError &) {
            throw;
        } catch (const Error &) {
            if (!m_dm.deniedReason().isEmpty())
                throw Refused{m_dm.deniedReason()};
            throw;
        }
    }

private:
    Tdm &m_dm;
    QString m_rest;
};

// The text of a value as the grid shows it without display formats: whole numbers and reals
// in the locale's form without thousands separators, reals in their shortest exact form, a
// Date column's ISO text in the locale's short date form with a four-digit year, Null empty.
QString cellText(const RowReader &row, int column, int typeCode, const QLocale &locale)
{
    switch (row.type(column)) {
    case ValueType::Integer:
        return locale.toString(row.integer(column));
    case ValueType::Real:
        return locale.toString(row.real(column), 'f', QLocale::FloatingPointShortest);
    case ValueType::Text: {
        if (typeCode == ftDateTime) {
            const QDate d = dateFromStored(row.text(column));
            if (d.isValid())
                return QLocale().toString(d, shortDateFormat());
        }
        return row.string(column);
    }
    case ValueType::Blob:
        return row.string(column);
    case ValueType::Null:
        break;
    }
    return QString();
}

class Run
{
public:
    Run(Tdm &dm, CheckOutput &output)
        : m_dm(dm)
        , m_output(output)
    {
        m_locale.setNumberOptions(QLocale::OmitGroupSeparator);
    }

    void check(const ScriptLine &line, int lineNo)
    {
        // The connection is taken for every line: other commands run between lines.
        db::Connection &db = m_dm.connection();
        QStringList lines;
        try {
            db::Transaction transaction(db, db::Access::Read);
            Statements statements(m_dm, line.sql);
            const Stmt stmt = statements.next();
            if (!stmt || stmt->columnCount() == 0)
                throw stop(lineNo, u"the check's query returns no result set"_s);
            if (statements.next())
                throw stop(lineNo, u"the check's query holds more than one statement"_s);
            const int columns = stmt->columnCount();
            QStringList names;
            QList<int> codes;
            for (int i = 0; i < columns; ++i) {
                names << stmt->columnName(i);
                codes << fieldTypeCode(stmt->columnKind(i));
            }
            lines << line.title << names.join(u',');
            QStringList cells;
            while (stmt->next()) {
                cells.clear();
                for (int i = 0; i < columns; ++i)
                    cells << cellText(*stmt, i, codes.at(i), m_locale);
                lines << cells.join(u',');
            }
            transaction.commit();
        } catch (const LineStop &) {
            throw;
        } catch (const Refused &refused) {
            throw stop(lineNo, refused.why);
        } catch (const DatabaseError &failure) {
            throw stop(lineNo, failure.words());
        } catch (const Error &failure) {
            throw stop(lineNo, failure.message());
        }
        if (lines.size() > 2)
            m_output.findings(lines);
    }

    // Runs a fix; returns the rows of the record-type tables it changed (0 also when it failed).
    qint64 action(const ScriptLine &line, int lineNo)
    {
        qint64 changed = 0;
        try {
            Transaction transaction(m_dm);
            Statements statements(m_dm, line.sql);
            while (const Stmt stmt = statements.next()) {
                while (stmt->next()) {
                }
            }
            changed = m_dm.pendingChanges();
            transaction.commit();
        } catch (const Refused &refused) {
            throw stop(lineNo, refused.why);
        } catch (const DatabaseError &failure) {
            // The database's failure ends the run; the line's own failure is ignored.
            throw stop(lineNo, failure.words());
        } catch (const Error &) {
            return 0;
        }
        const QString rows
                = changed == 1 ? u"1 row"_s : u"%1 rows"_s.arg(QLocale().toString(changed));
        m_output.fixDone(u"Fix on line %1: %2 changed"_s.arg(lineNo).arg(rows));
        return changed;
    }

private:
    // An error that ends the run at a line of the script.
    struct LineStop : Error
    {
        using Error::Error;
    };
    static LineStop stop(int lineNo, const QString &message)
    {
        return LineStop(u"Line %1 of FileCheck.SQL: %2"_s.arg(lineNo).arg(message));
    }

    Tdm &m_dm;
    CheckOutput &m_output;
    QLocale m_locale;
};

void runCheckLines(Tdm &dm, const QStringList &lines, CheckOutput &output)
{
    Run run(dm, output);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const ScriptLine line = classifyScriptLine(lines.at(i));
        if (line.kind == ScriptLineKind::Check)
            run.check(line, int(i + 1));
        else if (line.kind == ScriptLineKind::Action)
            run.action(line, int(i + 1));
        if (!output.lineDone())
            return;
    }
}

} // namespace

void runFileCheck(Tdm &dm, CheckOutput &output, ProgressSink *progress)
{
    const QStringList lines = readCheckScript(fileCheckScriptPath(dm.home()));
    NullProgress none;
    UndoPoint undo(dm, progress ? *progress : none, u"File Check"_s);
    // The fixes of the lines before a failing one stay, so a run that ends with an error may
    // have changed data too: either way the state before it can be put back.
    try {
        runCheckLines(dm, lines, output);
    } catch (const Error &e) {
        if (const QString notKept = undo.commit(); !notKept.isEmpty())
            throw Error(e.message() + u". "_s + notKept);
        throw;
    }
    if (const QString notKept = undo.commit(); !notKept.isEmpty())
        output.notice(notKept);
}

} // namespace bm

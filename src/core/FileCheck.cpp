#include "FileCheck.h"

#include "Error.h"
#include "FilterQuery.h"
#include "ProgressSink.h"
#include "Tdm.h"
#include "Text.h"
#include "Undo.h"

#include <QDate>
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

QStringList readCheckScript(const QString &path)
{
    QStringList lines;
    TextReader reader(path);
    while (reader.next())
        lines << reader.text();
    return lines;
}

namespace {

// A statement's failure with SQLite's result code, so the run can tell a line's own failure
// from a failure of the database.
struct SqlFailure
{
    int code;
    QString message;
};

SqlFailure lastFailure(sqlite3 *db, int code)
{
    return {code, QString::fromUtf8(sqlite3_errmsg(db))};
}

// The run keeps each line in a transaction of its own, so a script may not begin, end or mark
// transactions itself (a COMMIT in a line would make the line's earlier statements permanent
// even when a later one fails).
int refuseTransactionControl(void *, int action, const char *, const char *, const char *,
                             const char *)
{
    return action == SQLITE_TRANSACTION || action == SQLITE_SAVEPOINT ? SQLITE_DENY : SQLITE_OK;
}

// Hands out the statements of one line in order, each prepared only once the ones before it
// have run (a line may create a table and then fill it).
class Statements
{
public:
    Statements(sqlite3 *db, const QString &sql)
        : m_db(db)
        , m_utf8(sql.toUtf8())
        , m_next(m_utf8.constData())
    {}

    // The next statement, or null after the last. Raises SqlFailure when it cannot be prepared.
    Stmt next()
    {
        const char *end = m_utf8.constData() + m_utf8.size();
        while (m_next < end) {
            sqlite3_stmt *raw = nullptr;
            const char *tail = nullptr;
            sqlite3_set_authorizer(m_db, refuseTransactionControl, nullptr);
            const int rc = sqlite3_prepare_v2(m_db, m_next, int(end - m_next), &raw, &tail);
            sqlite3_set_authorizer(m_db, nullptr, nullptr);
            Stmt stmt(raw);
            if (rc != SQLITE_OK)
                throw lastFailure(m_db, rc);
            m_next = tail ? tail : end;
            if (stmt) // null for a stretch of blanks, comments or semicolons
                return stmt;
        }
        return Stmt();
    }

private:
    sqlite3 *m_db;
    QByteArray m_utf8;
    const char *m_next;
};

// One line's transaction: begun on construction, rolled back unless committed. A fix takes the
// write lock at once; a check only reads, so it also runs on a database opened read-only.
class LineTransaction
{
public:
    enum Mode { Read, Write };
    LineTransaction(sqlite3 *db, Mode mode)
        : m_db(db)
    {
        const int rc = sqlite3_exec(m_db, mode == Write ? "BEGIN IMMEDIATE" : "BEGIN", nullptr,
                                    nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw lastFailure(m_db, rc);
    }
    ~LineTransaction() { rollback(); }
    LineTransaction(const LineTransaction &) = delete;
    LineTransaction &operator=(const LineTransaction &) = delete;

    void commit()
    {
        const int rc = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw lastFailure(m_db, rc);
        m_open = false;
    }
    void rollback()
    {
        // SQLite ends the transaction itself after some failures (disk full, I/O error).
        if (m_open && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        m_open = false;
    }

private:
    sqlite3 *m_db;
    bool m_open = true;
};

// The text of a value as the grid shows it without display formats: whole numbers and reals
// in the locale's form without thousands separators, reals in their shortest exact form, a
// Date column's ISO text in the locale's short date form with a four-digit year, Null empty.
QString cellText(sqlite3_stmt *stmt, int column, int typeCode, const QLocale &locale)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        return locale.toString(qint64(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return locale.toString(sqlite3_column_double(stmt, column), 'f',
                               QLocale::FloatingPointShortest);
    case SQLITE_TEXT: {
        const QString text = QString::fromUtf8(
                reinterpret_cast<const char *>(sqlite3_column_text(stmt, column)),
                sqlite3_column_bytes(stmt, column));
        if (typeCode == ftDateTime) {
            const QDate d = QDate::fromString(text, Qt::ISODate);
            if (d.isValid())
                return QLocale().toString(d, shortDateFormat());
        }
        return text;
    }
    case SQLITE_BLOB:
        return QString::fromUtf8(static_cast<const char *>(sqlite3_column_blob(stmt, column)),
                                 sqlite3_column_bytes(stmt, column));
    default:
        return QString();
    }
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
        // The handle is taken for every line: other commands run between lines.
        sqlite3 *const db = m_dm.handle();
        QStringList lines;
        try {
            LineTransaction transaction(db, LineTransaction::Read);
            Statements statements(db, line.sql);
            const Stmt stmt = statements.next();
            if (!stmt || sqlite3_column_count(stmt.get()) == 0)
                throw stop(lineNo, u"the check's query returns no result set"_s);
            if (statements.next())
                throw stop(lineNo, u"the check's query holds more than one statement"_s);
            const int columns = sqlite3_column_count(stmt.get());
            QStringList names;
            QList<int> codes;
            for (int i = 0; i < columns; ++i) {
                names << QString::fromUtf8(sqlite3_column_name(stmt.get(), i));
                codes << fieldTypeCode(QString::fromUtf8(sqlite3_column_decltype(stmt.get(), i)));
            }
            lines << line.title << names.join(u',');
            int rc;
            QStringList cells;
            while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
                cells.clear();
                for (int i = 0; i < columns; ++i)
                    cells << cellText(stmt.get(), i, codes.at(i), m_locale);
                lines << cells.join(u',');
            }
            if (rc != SQLITE_DONE)
                throw lastFailure(db, rc);
            transaction.commit();
        } catch (const SqlFailure &failure) {
            throw stop(lineNo, failure.message);
        }
        if (lines.size() > 2)
            m_output.findings(lines);
    }

    void action(const ScriptLine &line, int lineNo)
    {
        sqlite3 *const db = m_dm.handle();
        try {
            LineTransaction transaction(db, LineTransaction::Write);
            Statements statements(db, line.sql);
            while (const Stmt stmt = statements.next()) {
                int rc;
                while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
                }
                if (rc != SQLITE_DONE)
                    throw lastFailure(db, rc);
            }
            transaction.commit();
        } catch (const SqlFailure &failure) {
            // The line's own failure is ignored; the database's ends the run.
            if (isDatabaseFailure(failure.code))
                throw stop(lineNo, failure.message);
        }
    }

private:
    static Error stop(int lineNo, const QString &message)
    {
        return Error(u"Line %1 of FileCheck.SQL: %2"_s.arg(lineNo).arg(message));
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
    } catch (const Error &) {
        try {
            undo.commit();
        } catch (const Error &) {
            // The run's own error is the one to tell.
        }
        throw;
    }
    undo.commit();
}

} // namespace bm

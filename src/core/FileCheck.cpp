#include "FileCheck.h"

#include "Error.h"
#include "FilterQuery.h"
#include "ProgressSink.h"
#include "Tdm.h"
#include "Text.h"
#include "Undo.h"

#include <QDate>
#include <QLocale>

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

// Hands out the statements of one line in order, each prepared only once the ones before it
// have run (a line may create a table and then fill it). While it lives, the line's SQL may not
// begin, end or mark transactions: the run keeps each line in a transaction of its own (a
// COMMIT in a line would make the line's earlier statements permanent even when a later one
// fails).
class Statements
{
public:
    Statements(db::Connection &connection, const QString &sql)
        : m_connection(connection)
        , m_rest(sql)
    {}

    // The next statement, or null after the last. Raises when it cannot be prepared.
    Stmt next()
    {
        m_connection.guardScript(true);
        struct Off
        {
            db::Connection &c;
            ~Off() { c.guardScript(false); }
        } off{m_connection};
        return m_connection.prepareFirst(m_rest);
    }

private:
    db::Connection &m_connection;
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
            Statements statements(db, line.sql);
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
        } catch (const DatabaseError &failure) {
            throw stop(lineNo, failure.words());
        } catch (const Error &failure) {
            throw stop(lineNo, failure.message());
        }
        if (lines.size() > 2)
            m_output.findings(lines);
    }

    void action(const ScriptLine &line, int lineNo)
    {
        db::Connection &db = m_dm.connection();
        try {
            db::Transaction transaction(db, db::Access::Write);
            Statements statements(db, line.sql);
            while (const Stmt stmt = statements.next()) {
                while (stmt->next()) {
                }
            }
            transaction.commit();
        } catch (const DatabaseError &failure) {
            // The database's failure ends the run; the line's own failure is ignored.
            throw stop(lineNo, failure.words());
        } catch (const Error &) {
        }
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

#include "ProblemList.h"

#include "Error.h"
#include "Text.h"

namespace bm {

using namespace Qt::StringLiterals;

namespace {

// `text` in quotes, quotes inside doubled, appended to `out`.
void appendQuoted(QString &out, const QString &text)
{
    out += u'"';
    if (text.contains(u'"')) {
        QString doubled = text;
        out += doubled.replace(u'"', u"\"\""_s);
    } else {
        out += text;
    }
    out += u'"';
}

} // namespace

QStringList ProblemList::headers()
{
    return {u"File"_s, u"Line"_s, u"Record Type"_s, u"Field"_s, u"Text"_s, u"Message"_s};
}

QString ProblemList::cell(const Problem &problem, int column)
{
    switch (column) {
    case 0:
        return problem.file;
    case 1:
        return problem.line > 0 ? QString::number(problem.line) : QString();
    case 2:
        return problem.recordType;
    case 3:
        return problem.field;
    case 4:
        return problem.text;
    case 5:
        return problem.message;
    default:
        return QString();
    }
}

void ProblemList::writeCsv(const QString &path) const
{
    std::vector<qsizetype> rows(m_items.size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = qsizetype(i);
    writeCsv(path, rows);
}

void ProblemList::writeCsv(const QString &path, const std::vector<qsizetype> &rows) const
{
    TextWriter writer(path);
    QString line;
    line.reserve(256);
    auto write = [&](qsizetype lineNo) {
        // Most problem lines are plain ASCII: those go out as they are, the rest through the
        // code page's checks.
        bool ascii = true;
        for (const QChar c : std::as_const(line))
            ascii = ascii && c.unicode() < 0x80;
        if (ascii) {
            writer.writeRawLine(line.toLatin1());
            return;
        }
        try {
            writer.writeLine(line);
        } catch (const Error &e) {
            throw Error(u"%1 (line %2 of the problem list)"_s.arg(e.message()).arg(lineNo));
        }
    };
    for (const QString &title : headers()) {
        if (!line.isEmpty())
            line += u',';
        appendQuoted(line, title);
    }
    write(1);
    for (const qsizetype row : rows) {
        const Problem &p = at(row);
        line.truncate(0);
        for (int c = 0; c < 6; ++c) {
            if (c > 0)
                line += u',';
            if (c == 1)
                line += cell(p, c);
            else
                appendQuoted(line, cell(p, c));
        }
        write(row + 2);
    }
    writer.commit();
}

} // namespace bm

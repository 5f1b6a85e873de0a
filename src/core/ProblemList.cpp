#include "ProblemList.h"

#include "Text.h"

namespace bm {

using namespace Qt::StringLiterals;

namespace {

QString quoted(const QString &text)
{
    QString out = text;
    out.replace(u'"', u"\"\""_s);
    return u'"' + out + u'"';
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
    QStringList cells;
    for (const QString &title : headers())
        cells << quoted(title);
    writer.writeLine(cells.join(u','));
    for (const qsizetype row : rows) {
        const Problem &p = at(row);
        cells.clear();
        for (int c = 0; c < 6; ++c)
            cells << (c == 1 ? cell(p, c) : quoted(cell(p, c)));
        writer.writeLine(cells.join(u','), u"line %1 of the problem list"_s.arg(row + 2));
    }
    writer.commit();
}

} // namespace bm

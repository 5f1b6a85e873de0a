#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace bm {

// One line or field error of an import, a load or a merge.
struct Problem
{
    QString file;       // the file as the user knows it: "herd.104", or "herd.zip: herd.104"
    qint64 line = 0;    // its line in that file, counted from 1 with blank lines (0: not known)
    QString recordType; // the record type of the layout that read the line
    QString field;      // the field; empty when the line was refused as a whole
    QString text;       // the text found: the field's, or the whole line's (trimmed)
    QString message;    // what was wrong, and what became of it
    // The line as read (UTF-8), while the load still has to find it in the file it was split
    // from; empty otherwise.
    QByteArray source;
};

// Every line and field error of one command, in the order found, also those the user chose not
// to be told of again. The prompts of the import are not changed by it.
class ProblemList
{
public:
    void add(Problem problem) { m_items.push_back(std::move(problem)); }
    void clear() { m_items.clear(); }
    bool isEmpty() const { return m_items.empty(); }
    qsizetype size() const { return qsizetype(m_items.size()); }
    const Problem &at(qsizetype i) const { return m_items[size_t(i)]; }
    std::vector<Problem> &items() { return m_items; }
    const std::vector<Problem> &items() const { return m_items; }

    // The column titles: File, Line, Record Type, Field, Text, Message.
    static QStringList headers();
    // One cell of a problem as shown and written (the line number in decimal, empty when not
    // known).
    static QString cell(const Problem &problem, int column);

    // Writes every problem as a CSV file (RFC 4180: text cells quoted, quotes doubled), the
    // titles first, Windows-1252 with CR LF. The file replaces `path` only once it is complete;
    // a character that Windows-1252 cannot hold stops the write with an error.
    void writeCsv(const QString &path) const;
    // The same with the problems `rows` (indexes into the list) in that order.
    void writeCsv(const QString &path, const std::vector<qsizetype> &rows) const;

private:
    std::vector<Problem> m_items;
};

} // namespace bm

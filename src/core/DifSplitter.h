#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

namespace bm {

class ProgressSink;

// Splits a combined DIF file into one file per record type.
//
// Lines shorter than three characters after trimming are dropped; a byte-order mark at the start
// of a line (left there when files were joined) is removed. The other lines are sorted by the
// locale's case-insensitive collation, equal lines keeping their file order, and each group of
// lines with the same first three characters goes to "<stem>.<those characters>" in the output
// folder, in Windows-1252 with CR LF after every line. Only the groups of the record types are
// written, as nothing else can be loaded; the lines of other groups are counted.
//
// The sort holds a bounded amount of the file in memory: a file larger than the chunk size is
// sorted in chunks written to temporary files in the output folder and merged from there. A full
// chunk is sorted and written on a second thread while the next one fills, so at most two
// chunks are held at once.
class DifSplitter
{
public:
    struct Result
    {
        // The first three characters of the first line in sorted order; empty without lines.
        QString firstType;
        QStringList files; // the files written, in the order written
        qint64 lines = 0;  // lines written
        // Lines whose first three characters are no record type, and how many different such
        // beginnings they have: left out.
        qint64 otherLines = 0;
        qint64 otherGroups = 0;
    };

    DifSplitter(const QString &outputFolder, ProgressSink &progress,
                const QLocale &locale = QLocale());

    // Bytes of line data held in memory before a chunk is sorted and set aside.
    void setChunkBytes(qint64 bytes) { m_chunkBytes = bytes; }

    // Splits `fileName` into files named `stem` + "." + type in the output folder, one for each
    // record type with lines. A group that is no record type, or whose file would be `fileName`
    // itself, is not written.
    Result split(const QString &fileName, const QString &stem);

private:
    QString m_folder;
    ProgressSink &m_progress;
    QLocale m_locale;
    qint64 m_chunkBytes = 16 << 20;
};

} // namespace bm

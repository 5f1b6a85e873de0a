#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace bm {

class ProgressSink;

// Splits a combined DIF file into one file per record type.
//
// Lines shorter than three characters after trimming are dropped; a byte-order mark at the start
// of a line (left there when files were joined) is removed. The other lines are sorted by the
// locale's case-insensitive collation, equal lines keeping their file order, and each group of
// lines with the same first three characters goes to "<stem>.<those characters>" in the output
// folder, in Windows-1252 with CR LF after every line. Only the groups of the record types are
// written, in the order of the record types, as nothing else can be loaded; the lines of other
// groups are counted.
//
// The sort holds a bounded amount of the file in memory: a file larger than the chunk size is
// sorted in chunks written to temporary files in the output folder and merged from there. A full
// chunk is sorted on a second thread while the reading thread writes the chunk sorted before it
// to its temporary file and fills it again, so at most two chunks are held at once.
class DifSplitter
{
public:
    struct Result
    {
        // The first three characters of the first line in sorted order; empty without lines.
        QString firstType;
        QStringList files;       // the files written, in the order of the record types
        QList<qint64> fileLines; // the lines of each of them
        qint64 lines = 0;        // lines written
        // Lines whose first three characters are no record type, and how many different such
        // beginnings they have: left out.
        qint64 otherLines = 0;
        qint64 otherGroups = 0;
    };

    DifSplitter(const QString &outputFolder, ProgressSink &progress,
                const QLocale &locale = QLocale());
    // Stops the writing that start() began, if it still runs, and waits for its thread.
    ~DifSplitter();
    DifSplitter(const DifSplitter &) = delete;
    DifSplitter &operator=(const DifSplitter &) = delete;

    // Bytes of line data held in memory before a chunk is sorted and set aside.
    void setChunkBytes(qint64 bytes) { m_chunkBytes = bytes; }

    // Splits `fileName` into files named `stem` + "." + type in the output folder, one for each
    // record type with lines. A group that is no record type, or whose file would be `fileName`
    // itself, is not written.
    Result split(const QString &fileName, const QString &stem);

    // Reads and sorts like split(), then writes the files on a thread of its own and returns:
    // the result is known before its files are written. The caller can read each file as soon
    // as waitFor() says it is there, while the next ones are written. The writing thread touches
    // neither the progress nor anything else of the caller's. The files are for reading at once
    // and removing: they are written in place, without being made safe on disk first.
    Result start(const QString &fileName, const QString &stem);
    // Waits until `file`, one of the files of start()'s result, is written; `waiting` is called
    // about ten times a second meanwhile. Raises what ended the writing before that file.
    void waitFor(const QString &file, const std::function<void()> &waiting = {});

private:
    struct Sorted;
    std::unique_ptr<Sorted> read(const QString &fileName, const QString &stem);
    void stopWriting();

    QString m_folder;
    ProgressSink &m_progress;
    QLocale m_locale;
    qint64 m_chunkBytes = 16 << 20;

    // The writing begun by start().
    std::unique_ptr<Sorted> m_sorted;
    QStringList m_files;
    std::thread m_writing;
    std::atomic<bool> m_stop = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    qsizetype m_filesDone = 0;    // files of m_files written so far
    bool m_finished = false;      // the writing thread is done
    std::exception_ptr m_failure; // what ended it early
};

} // namespace bm

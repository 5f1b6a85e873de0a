#include "ProblemList.h"

#include "Error.h"
#include "FileWrite.h"
#include "Text.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

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

// Bytes written to the scratch files in one go.
constexpr qsizetype kFlushBytes = 1 << 16;

} // namespace

// ---------------------------------------------------------------------------------------------

// The problems past the memory limit: their records one after the other in one unnamed file,
// and where each begins (eight bytes a problem) in another, so reading problem n takes two
// reads whatever the number of problems. A record is its length, the line and the texts, each
// text its length and its UTF-8 bytes.
class ProblemList::Spill
{
public:
    explicit Spill(const QString &folder)
        : m_folder(folder.isEmpty() ? QDir::tempPath() : folder)
    {
        m_data = makeFile();
        m_index = makeFile();
    }
    ~Spill()
    {
        if (m_data >= 0)
            ::close(m_data);
        if (m_index >= 0)
            ::close(m_index);
    }
    Spill(const Spill &) = delete;
    Spill &operator=(const Spill &) = delete;

    void append(const Problem &p)
    {
        const qint64 at = m_dataSize + m_dataBuffer.size();
        m_indexBuffer.append(reinterpret_cast<const char *>(&at), sizeof at);
        const qsizetype start = m_dataBuffer.size();
        m_dataBuffer.append(4, '\0'); // the record's length, set below
        m_dataBuffer.append(reinterpret_cast<const char *>(&p.line), sizeof p.line);
        for (const QString *s : {&p.file, &p.recordType, &p.field, &p.text, &p.message, &p.outcome})
            appendBytes(s->toUtf8());
        appendBytes(p.source);
        const quint32 length = quint32(m_dataBuffer.size() - start - 4);
        std::memcpy(m_dataBuffer.data() + start, &length, 4);
        if (m_dataBuffer.size() >= kFlushBytes || m_indexBuffer.size() >= kFlushBytes)
            flush();
    }

    Problem read(qsizetype n) const
    {
        flush();
        Problem p;
        qint64 at = 0;
        quint32 length = 0;
        QByteArray record;
        if (!m_indexCache.get(m_index, &at, sizeof at, qint64(n) * qint64(sizeof at))
            || !m_dataCache.get(m_data, &length, sizeof length, at)) {
            p.message = u"The problem cannot be read back from the scratch file"_s;
            return p;
        }
        record.resize(length);
        if (!m_dataCache.get(m_data, record.data(), length, at + 4) || length < sizeof p.line) {
            p.message = u"The problem cannot be read back from the scratch file"_s;
            return p;
        }
        std::memcpy(&p.line, record.constData(), sizeof p.line);
        qsizetype pos = sizeof p.line;
        auto next = [&]() -> QByteArray {
            quint32 size = 0;
            if (pos + 4 > record.size())
                return QByteArray();
            std::memcpy(&size, record.constData() + pos, 4);
            pos += 4;
            const QByteArray bytes = record.mid(pos, size);
            pos += size;
            return bytes;
        };
        for (QString *s : {&p.file, &p.recordType, &p.field, &p.text, &p.message, &p.outcome})
            *s = QString::fromUtf8(next());
        p.source = next();
        return p;
    }

    void setLine(qsizetype n, qint64 line)
    {
        flush();
        qint64 at = 0;
        if (!m_indexCache.get(m_index, &at, sizeof at, qint64(n) * qint64(sizeof at))
            || ::pwrite(m_data, &line, sizeof line, at + 4) != ssize_t(sizeof line))
            throw Error(u"Cannot keep the problem list in \"%1\". %2"_s.arg(
                    QDir::toNativeSeparators(m_folder), systemMessage(errno)));
        m_dataCache.clear();
    }

private:
    int makeFile()
    {
        QByteArray name = QFile::encodeName(QDir(m_folder).filePath(u"problems-XXXXXX"_s));
        const int fd = ::mkstemp(name.data());
        if (fd < 0)
            throw Error(u"Cannot keep the problem list in \"%1\". %2"_s.arg(
                    QDir::toNativeSeparators(m_folder), systemMessage(errno)));
        // Unnamed from the start: the file goes with the list, however the program ends.
        ::unlink(name.constData());
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        return fd;
    }

    void appendBytes(const QByteArray &bytes)
    {
        const quint32 size = quint32(bytes.size());
        m_dataBuffer.append(reinterpret_cast<const char *>(&size), 4);
        m_dataBuffer.append(bytes);
    }

    void flush() const
    {
        writeOut(m_data, m_dataBuffer);
        writeOut(m_index, m_indexBuffer);
    }

    void writeOut(int fd, QByteArray &buffer) const
    {
        qsizetype done = 0;
        while (done < buffer.size()) {
            const ssize_t n = ::write(fd, buffer.constData() + done, size_t(buffer.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int error = n < 0 ? errno : ENOSPC;
                buffer.remove(0, done);
                if (fd == m_data)
                    m_dataSize += done;
                throw Error(u"Cannot keep the problem list in \"%1\". %2"_s.arg(
                        QDir::toNativeSeparators(m_folder), systemMessage(error)));
            }
            done += n;
        }
        if (fd == m_data)
            m_dataSize += done;
        buffer.resize(0);
    }

    // The bytes of a file around the last ones read: problems are mostly read in order (a CSV
    // file, a window scrolled), and a read of the file for each would cost a system call.
    struct ReadCache
    {
        QByteArray bytes;
        qint64 from = 0;

        void clear() { bytes.clear(); }
        bool get(int fd, void *out, size_t size, qint64 at)
        {
            if (at < from || at + qint64(size) > from + bytes.size()) {
                const qsizetype want = qsizetype(std::max<size_t>(size, kFlushBytes));
                bytes.resize(want);
                qsizetype got = 0;
                while (got < want) {
                    const ssize_t n
                            = ::pread(fd, bytes.data() + got, size_t(want - got), off_t(at + got));
                    if (n < 0 && errno == EINTR)
                        continue;
                    if (n <= 0)
                        break;
                    got += n;
                }
                bytes.resize(got);
                from = at;
                if (got < qsizetype(size))
                    return false;
            }
            std::memcpy(out, bytes.constData() + (at - from), size);
            return true;
        }
    };

    QString m_folder;
    mutable ReadCache m_indexCache;
    mutable ReadCache m_dataCache;
    int m_data = -1;
    int m_index = -1;
    mutable qint64 m_dataSize = 0; // bytes in the data file
    mutable QByteArray m_dataBuffer;
    mutable QByteArray m_indexBuffer;
};

// ---------------------------------------------------------------------------------------------

ProblemList::ProblemList() = default;
ProblemList::~ProblemList() = default;
ProblemList::ProblemList(ProblemList &&other) noexcept = default;
ProblemList &ProblemList::operator=(ProblemList &&other) noexcept = default;

void ProblemList::add(Problem problem)
{
    if (qsizetype(m_items.size()) < m_limit && !m_spill) {
        m_items.push_back(std::move(problem));
        return;
    }
    if (!m_spill)
        m_spill = std::make_unique<Spill>(m_spillFolder);
    m_spill->append(problem);
    ++m_spilled;
}

void ProblemList::clear()
{
    m_items.clear();
    m_spill.reset();
    m_spilled = 0;
    m_renames.clear();
    m_sourcesFrom = -1;
    m_stoppedFrom = -1;
    m_stoppedTo = -1;
}

Problem ProblemList::at(qsizetype i) const
{
    if (i < qsizetype(m_items.size()))
        return m_items[size_t(i)];
    Problem p = m_spill->read(i - qsizetype(m_items.size()));
    for (const Rename &r : m_renames) {
        if (i >= r.from && i < r.to)
            p.file = r.prefix + (r.replacement.isNull() ? p.file : r.replacement);
    }
    if (m_sourcesFrom >= 0 && i >= m_sourcesFrom)
        p.source.clear();
    if (i >= m_stoppedFrom && i < m_stoppedTo)
        p.outcome = nothingStored();
    return p;
}

void ProblemList::setLine(qsizetype i, qint64 line)
{
    if (i < qsizetype(m_items.size()))
        m_items[size_t(i)].line = line;
    else
        m_spill->setLine(i - qsizetype(m_items.size()), line);
}

void ProblemList::renameFiles(qsizetype from, const QString &prefix, const QString &replacement)
{
    for (qsizetype i = from; i < qsizetype(m_items.size()); ++i) {
        Problem &p = m_items[size_t(i)];
        p.file = prefix + (replacement.isNull() ? p.file : replacement);
    }
    if (m_spilled > 0 && size() > std::max(from, qsizetype(m_items.size())))
        m_renames.push_back(
                {std::max(from, qsizetype(m_items.size())), size(), prefix, replacement});
}

void ProblemList::dropSources(qsizetype from)
{
    for (qsizetype i = from; i < qsizetype(m_items.size()); ++i)
        m_items[size_t(i)].source.clear();
    if (m_sourcesFrom < 0 || from < m_sourcesFrom)
        m_sourcesFrom = from;
}

void ProblemList::markStopped(qsizetype from)
{
    for (qsizetype i = from; i < qsizetype(m_items.size()); ++i)
        m_items[size_t(i)].outcome = nothingStored();
    m_stoppedFrom = std::max(from, qsizetype(m_items.size()));
    m_stoppedTo = size();
}

QString ProblemList::nothingStored()
{
    return u"nothing was stored, as the command stopped"_s;
}

QString ProblemList::stoppedHere()
{
    return u"the command stopped here; nothing was stored"_s;
}

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
        return problem.outcome.isEmpty() ? problem.message
                                         : problem.message + u": "_s + problem.outcome;
    default:
        return QString();
    }
}

void ProblemList::writeCsv(const QString &path) const
{
    std::vector<qsizetype> rows(static_cast<size_t>(size()));
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
        const Problem p = at(row);
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

QString visibleText(const QString &text)
{
    const bool plain = std::none_of(text.cbegin(), text.cend(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F;
    });
    if (plain)
        return text;
    QString out;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            out += u"\\x"_s + QString::number(c.unicode(), 16).rightJustified(2, u'0').toUpper();
        else
            out += c;
    }
    return out;
}

} // namespace bm

#include "DifSplitter.h"

#include "Error.h"
#include "FileWrite.h"
#include "Layout.h"
#include "LineCollation.h"
#include "ProgressSink.h"
#include "Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryFile>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace bm {

using namespace Qt::StringLiterals;

namespace {

constexpr quint32 kNoGroup = quint32(-1);
constexpr size_t kPackedWords = 2;
constexpr qint64 kProgressBytes = 1 << 20;
constexpr qint64 kProgressLines = 1 << 14;
constexpr qsizetype kRunBuffer = 1 << 20;

// Flags of a line in a run file.
constexpr char kWide = 1; // the line is UTF-8 text, not plain ASCII bytes
constexpr char kFast = 2; // printable ASCII: compared through the collation's table

// A line on its way through the sort: its group (first three characters), its line number in
// the input file (the tie-break that keeps equal lines in file order) and its text.
struct Line
{
    quint32 group = kNoGroup;
    quint32 seq = 0;
    LineRef ref;
};

// Negative when `a` goes before `b`: by group, then by collation, then by file order.
int compareLines(const LineCollation &collation, const Line &a, const Line &b)
{
    if (a.group != b.group)
        return a.group < b.group ? -1 : 1;
    const int c = collation.compare(a.ref, b.ref);
    if (c != 0)
        return c;
    return a.seq < b.seq ? -1 : (a.seq > b.seq ? 1 : 0);
}

// The distinct first three characters: the record types first, in their order, then the others
// numbered in order of first appearance. The lines are sorted by this number first, so the
// groups that are written come out in the order of the record types.
class Groups
{
public:
    struct Group
    {
        QString name;
        bool writable = false;
        QString path;
        qint64 lines = 0; // lines read into the group
    };

    Groups(const QString &folder, const QString &stem, const QString &input)
        : m_folder(folder)
        , m_stem(stem)
        , m_input(QFileInfo(input).absoluteFilePath())
    {
        for (const RecordType &type : recordTypes())
            idOf(QStringView(type.code));
    }

    quint32 idOf(QByteArrayView first3)
    {
        const quint32 packed = (quint32(quint8(first3[0])) << 16)
                               | (quint32(quint8(first3[1])) << 8) | quint32(quint8(first3[2]));
        if (packed == m_lastPacked)
            return m_lastId;
        auto it = m_ascii.find(packed);
        if (it == m_ascii.end())
            it = m_ascii.emplace(packed, add(QString::fromLatin1(first3))).first;
        m_lastPacked = packed;
        m_lastId = it->second;
        return it->second;
    }

    quint32 idOf(QStringView first3)
    {
        if (isAscii(first3))
            return idOf(QByteArrayView(first3.toLatin1()));
        const QString name = first3.toString();
        auto it = m_other.constFind(name);
        if (it != m_other.constEnd())
            return *it;
        const quint32 id = add(name);
        m_other.insert(name, id);
        return id;
    }

    const Group &at(quint32 id) const { return m_groups.at(id); }
    size_t count() const { return m_groups.size(); }
    void countLine(quint32 id) { ++m_groups[id].lines; }
    // Whether each group seen so far is written, by its number.
    std::vector<bool> writable() const
    {
        std::vector<bool> flags;
        for (const Group &g : m_groups)
            flags.push_back(g.writable);
        return flags;
    }

private:
    quint32 add(const QString &name)
    {
        Group g;
        g.name = name;
        g.path = m_folder + m_stem + u'.' + name;
        // Nothing but a record type can be loaded; any other name could be anything at all
        // (a file of random bytes has thousands).
        g.writable = recordTypeIndex(name) >= 0 && QFileInfo(g.path).absoluteFilePath() != m_input;
        m_groups.push_back(g);
        return quint32(m_groups.size() - 1);
    }

    QString m_folder, m_stem, m_input;
    std::vector<Group> m_groups;
    std::unordered_map<quint32, quint32> m_ascii;
    QHash<QString, quint32> m_other;
    quint32 m_lastPacked = quint32(-1);
    quint32 m_lastId = 0;
};

void appendU32(QByteArray &out, quint32 v)
{
    char b[4];
    std::memcpy(b, &v, 4);
    out.append(b, 4);
}

quint32 readU32(const char *p)
{
    quint32 v;
    std::memcpy(&v, p, 4);
    return v;
}

// The lines held in memory: ASCII lines as bytes in one arena, other lines as texts, and the
// collator's sort keys where the collation needs them.
class Chunk
{
public:
    struct Entry
    {
        quint32 group;
        quint32 seq;
        quint32 offset;
        quint32 length;
        qint32 wide;
        qint32 key;
        bool fast;
        // For printable ASCII lines when the collation weighs by table: the weights of sixteen
        // characters after the prefix that every such line of the group shares in this chunk.
        std::array<quint64, kPackedWords> packed;
    };

    explicit Chunk(const LineCollation &collation)
        : m_collation(collation)
    {}

    // Sets room aside for `bytes` of lines, so that filling the chunk again and again reuses
    // the same memory instead of growing (and faulting in) a new arena each time.
    void reserve(qint64 bytes) { m_arena.reserve(qsizetype(bytes)); }

    const std::vector<Entry> &entries() const { return m_entries; }
    // Bytes of memory the lines take, roughly.
    qint64 memory() const { return m_memory; }

    void addAscii(quint32 group, quint32 seq, QByteArrayView bytes)
    {
        Entry e{group, seq, quint32(m_arena.size()), quint32(bytes.size()), -1, -1, false, {}};
        e.fast = m_collation.usesWeights() && LineCollation::isPrintableAscii(bytes);
        m_arena.append(bytes);
        if (m_collation.needsSortKeys())
            e.key = addKey(QString::fromLatin1(bytes));
        m_entries.push_back(e);
        m_memory += bytes.size() + qint64(sizeof(Entry));
    }

    void addText(quint32 group, quint32 seq, QString text)
    {
        Entry e{group, seq, 0, 0, -1, -1, false, {}};
        if (m_collation.needsSortKeys())
            e.key = addKey(text);
        m_memory += text.size() * 2 + 48 + qint64(sizeof(Entry));
        m_texts << std::move(text);
        e.wide = qint32(m_texts.size() - 1);
        m_entries.push_back(e);
    }

    Line line(const Entry &e) const
    {
        Line l;
        l.group = e.group;
        l.seq = e.seq;
        l.ref.bytes = bytes(e);
        l.ref.ascii = e.fast;
        l.ref.wide = e.wide >= 0 ? &m_texts.at(e.wide) : nullptr;
        l.ref.key = e.key >= 0 ? &m_keys.at(size_t(e.key)) : nullptr;
        return l;
    }

    // Sorts by group, collation and file order.
    void sort(size_t groupCount)
    {
        // Most comparisons are decided by the packed weights in the entry itself, without
        // reaching for the lines in the arena. The lines of one group share a prefix (type,
        // version, often the herd): the packed characters start where they begin to differ.
        if (m_collation.usesWeights()) {
            std::vector<qint32> sample(groupCount, -1);
            std::vector<qsizetype> shared(groupCount, 0);
            for (size_t i = 0; i < m_entries.size(); ++i) {
                const Entry &e = m_entries[i];
                if (!e.fast)
                    continue;
                if (sample[e.group] < 0) {
                    sample[e.group] = qint32(i);
                    shared[e.group] = e.length;
                } else {
                    shared[e.group] = m_collation.samePrefix(
                            bytes(m_entries[size_t(sample[e.group])]), bytes(e), shared[e.group]);
                }
            }
            for (Entry &e : m_entries) {
                if (e.fast) {
                    for (size_t w = 0; w < kPackedWords; ++w)
                        e.packed[w]
                                = m_collation.pack(bytes(e), shared[e.group] + qsizetype(8 * w));
                }
            }
        }
        std::sort(m_entries.begin(), m_entries.end(), [this](const Entry &a, const Entry &b) {
            if (a.group != b.group)
                return a.group < b.group;
            if (a.fast && b.fast) {
                for (size_t w = 0; w < kPackedWords; ++w) {
                    if (a.packed[w] != b.packed[w])
                        return a.packed[w] < b.packed[w];
                }
                const int c = m_collation.compareAscii(bytes(a), bytes(b));
                return c != 0 ? c < 0 : a.seq < b.seq;
            }
            return compareLines(m_collation, line(a), line(b)) < 0;
        });
    }

    // Writes the entries, in their order, to a new temporary file in `folder`.
    std::unique_ptr<QTemporaryFile> writeRun(const QString &folder) const
    {
        auto file = std::make_unique<QTemporaryFile>(folder + u"~split-XXXXXX.tmp"_s);
        if (!file->open())
            throw Error(u"Cannot create a temporary file in \"%1\". %2"_s.arg(
                    QDir::toNativeSeparators(folder), file->errorString()));
        auto write = [&](const QByteArray &bytes) {
            QString why;
            if (!writeAll(*file, bytes, why)
                || (!file->flush() && !(why = file->errorString()).isEmpty()))
                throw Error(u"Cannot write the temporary file \"%1\". %2"_s.arg(
                        QDir::toNativeSeparators(file->fileName()), why));
        };
        QByteArray out;
        out.reserve(kRunBuffer + 4096);
        for (const Entry &e : m_entries) {
            appendU32(out, e.group);
            appendU32(out, e.seq);
            if (e.wide >= 0) {
                const QByteArray utf8 = m_texts.at(e.wide).toUtf8();
                out.append(kWide);
                appendU32(out, quint32(utf8.size()));
                out.append(utf8);
            } else {
                out.append(e.fast ? kFast : char(0));
                appendU32(out, e.length);
                out.append(bytes(e));
            }
            if (out.size() >= kRunBuffer) {
                write(out);
                out.resize(0);
            }
        }
        write(out);
        return file;
    }

    void clear()
    {
        m_arena.resize(0);
        m_entries.clear();
        m_texts.clear();
        m_keys.clear();
        m_memory = 0;
    }

    // Empties the chunk and gives its memory back.
    void release()
    {
        clear();
        m_arena = QByteArray();
        std::vector<Entry>().swap(m_entries);
    }

private:
    QByteArrayView bytes(const Entry &e) const
    {
        return QByteArrayView(m_arena.constData() + e.offset, e.length);
    }

    qint32 addKey(const QString &text)
    {
        m_keys.push_back(m_collation.sortKey(text));
        m_memory += text.size() * 2 + 64;
        return qint32(m_keys.size() - 1);
    }

    const LineCollation &m_collation;
    QByteArray m_arena;
    std::vector<Entry> m_entries;
    QList<QString> m_texts;
    std::vector<QCollatorSortKey> m_keys;
    qint64 m_memory = 0;
};

// Where the merge takes its lines from: a sorted chunk in memory or a run file.
class Source
{
public:
    virtual ~Source() = default;
    // Moves to the next line; false at the end. The current line stays valid until then.
    virtual bool next() = 0;
    const Line &current() const { return m_line; }

protected:
    Line m_line;
};

class ChunkSource final : public Source
{
public:
    explicit ChunkSource(const Chunk &chunk)
        : m_chunk(chunk)
    {}
    bool next() override
    {
        if (m_index >= m_chunk.entries().size())
            return false;
        m_line = m_chunk.line(m_chunk.entries()[m_index++]);
        return true;
    }

private:
    const Chunk &m_chunk;
    size_t m_index = 0;
};

class RunSource final : public Source
{
public:
    RunSource(QTemporaryFile &file, const LineCollation &collation)
        : m_file(file)
        , m_collation(collation)
    {
        if (!m_file.seek(0))
            throw Error(u"Cannot read the temporary file \"%1\". %2"_s.arg(
                    QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
        // The buffer's full size is set aside at once (its pages are taken only when filled).
        m_buffer.reserve(kRunBuffer + (64 << 10));
    }

    bool next() override
    {
        if (!ensure(13))
            return false;
        const char *p = m_buffer.constData() + m_pos;
        m_line.group = readU32(p);
        m_line.seq = readU32(p + 4);
        const char flags = p[8];
        const quint32 length = readU32(p + 9);
        m_pos += 13;
        if (!ensure(length))
            throw Error(u"The temporary file \"%1\" is truncated"_s.arg(
                    QDir::toNativeSeparators(m_file.fileName())));
        const QByteArrayView bytes(m_buffer.constData() + m_pos, length);
        m_pos += length;
        m_line.ref = {};
        if (flags & kWide) {
            m_wide = QString::fromUtf8(bytes);
            m_line.ref.wide = &m_wide;
            m_line.ref.ascii = false;
        } else {
            m_line.ref.bytes = bytes;
            m_line.ref.ascii = flags & kFast;
        }
        if (m_collation.needsSortKeys()) {
            m_key.emplace(
                    m_collation.sortKey(m_line.ref.wide ? m_wide : QString::fromLatin1(bytes)));
            m_line.ref.key = &*m_key;
        }
        return true;
    }

private:
    bool ensure(qsizetype n)
    {
        while (m_buffer.size() - m_pos < n) {
            if (m_eof)
                return false;
            // What is left goes to the front, and the next bytes are read after it, within
            // the room set aside.
            const qsizetype old = m_buffer.size() - m_pos;
            std::memmove(m_buffer.data(), m_buffer.constData() + m_pos, size_t(old));
            m_pos = 0;
            const qsizetype want = std::max(m_readSize, n);
            m_readSize = kRunBuffer;
            m_buffer.resize(old + want);
            const qint64 got = m_file.read(m_buffer.data() + old, want);
            if (got < 0)
                throw Error(u"Cannot read the temporary file \"%1\". %2"_s.arg(
                        QDir::toNativeSeparators(m_file.fileName()), m_file.errorString()));
            m_buffer.resize(old + got);
            if (got == 0)
                m_eof = true;
        }
        return true;
    }

    QTemporaryFile &m_file;
    const LineCollation &m_collation;
    // The first read is small: the merge starts with a line from every run, and its first
    // group is written (and can be loaded) sooner when it does not wait for a whole buffer of
    // each run first.
    qsizetype m_readSize = 64 << 10;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    QString m_wide;
    std::optional<QCollatorSortKey> m_key;
};

// Writes the sorted lines, one file per group that is written; a group's lines arrive together.
// `fileDone` is called after each file. A durable file is written under a temporary name, made
// safe on disk and renamed; a file only read at once and removed soon after (the load's) is
// written in place, sparing the disk a copy of the whole data set, and removed when its writing
// does not end.
class GroupWriter
{
public:
    GroupWriter(const Groups &groups, const QString &inputName, bool durable,
                std::function<void()> fileDone)
        : m_groups(groups)
        , m_inputName(inputName)
        , m_durable(durable)
        , m_fileDone(std::move(fileDone))
    {}

    ~GroupWriter()
    {
        m_writer.reset();
        if (m_file)
            m_file->remove();
    }

    void write(const Line &line)
    {
        if (line.group != m_group) {
            finish();
            m_group = line.group;
            const Groups::Group &g = m_groups.at(line.group);
            if (g.writable)
                open(g.path);
        }
        if (!m_writer)
            return;
        if (line.ref.wide)
            m_writer->writeLine(*line.ref.wide, u"line %1 of %2"_s.arg(line.seq).arg(m_inputName));
        else
            m_writer->writeRawLine(line.ref.bytes);
    }

    void finish()
    {
        if (!m_writer)
            return;
        m_writer->commit();
        m_writer.reset();
        if (m_file) {
            m_file->close();
            if (m_file->error() != QFileDevice::NoError)
                throw Error(u"Cannot write file \"%1\". %2"_s.arg(
                        QDir::toNativeSeparators(m_file->fileName()), m_file->errorString()));
            m_file.reset();
        }
        if (m_fileDone)
            m_fileDone();
    }

private:
    void open(const QString &path)
    {
        if (m_durable) {
            m_writer = std::make_unique<TextWriter>(path);
            return;
        }
        m_file = std::make_unique<QFile>(path);
        if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            const Error error(u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                                     m_file->errorString()));
            m_file.reset();
            throw error;
        }
        m_writer = std::make_unique<TextWriter>(*m_file, path);
    }

    const Groups &m_groups;
    QString m_inputName;
    bool m_durable;
    std::function<void()> m_fileDone;
    quint32 m_group = kNoGroup;
    std::unique_ptr<QFile> m_file; // the file written in place
    std::unique_ptr<TextWriter> m_writer;
};

// The first line in sorted order among the groups that are written, kept as a copy.
class FirstLine
{
public:
    void offer(const LineCollation &collation, const Line &line)
    {
        if (m_set) {
            Line mine = m_line;
            mine.group = line.group; // the order of groups plays no part here
            if (compareLines(collation, line, mine) >= 0)
                return;
        }
        m_set = true;
        m_line = line;
        if (line.ref.wide) {
            m_wide = *line.ref.wide;
            m_line.ref.wide = &m_wide;
        } else {
            m_bytes = line.ref.bytes.toByteArray();
            m_line.ref.bytes = m_bytes;
        }
        if (line.ref.key) {
            m_key.emplace(*line.ref.key);
            m_line.ref.key = &*m_key;
        }
    }
    bool isSet() const { return m_set; }
    quint32 group() const { return m_line.group; }

private:
    bool m_set = false;
    Line m_line;
    QByteArray m_bytes;
    QString m_wide;
    std::optional<QCollatorSortKey> m_key;
};

} // namespace

// A file read and sorted: the lines of the last chunk in memory, the others in run files.
struct DifSplitter::Sorted
{
    Sorted(const QLocale &locale, const QString &folder, const QString &stem, const QString &input)
        : collation(locale)
        , groups(folder, stem, input)
        , inputName(QFileInfo(input).fileName())
    {}

    // The files to write and the lines counted, known before anything is written.
    Result result() const
    {
        Result r;
        for (quint32 id = 0; id < groups.count(); ++id) {
            const Groups::Group &g = groups.at(id);
            if (g.lines == 0)
                continue;
            if (g.writable) {
                r.files << g.path;
                r.fileLines << g.lines;
                r.lines += g.lines;
            } else {
                r.otherLines += g.lines;
                ++r.otherGroups;
            }
        }
        if (first.isSet())
            r.firstType = groups.at(first.group()).name;
        return r;
    }

    // Merges the runs and the last chunk and writes the groups' files, `durable` or not (see
    // GroupWriter). `progress` is told how many lines are done now and then; `fileDone` after
    // each file. A set `stop` ends the writing early with Stopped.
    void write(bool durable, const std::atomic<bool> *stop,
               const std::function<void(qint64)> &progress, std::function<void()> fileDone)
    {
        GroupWriter writer(groups, inputName, durable, std::move(fileDone));
        qint64 written = 0;
        auto emitLine = [&](const Line &line) {
            writer.write(line);
            if (++written % kProgressLines == 0) {
                if (stop && stop->load(std::memory_order_relaxed))
                    throw Stopped{};
                if (progress)
                    progress(written);
            }
        };
        if (runs.empty()) {
            for (const Chunk::Entry &e : last->entries())
                emitLine(last->line(e));
        } else {
            // A heap of the sources by their current line, smallest on top.
            std::vector<std::unique_ptr<Source>> sources;
            for (auto &run : runs)
                sources.push_back(std::make_unique<RunSource>(*run, collation));
            sources.push_back(std::make_unique<ChunkSource>(*last));
            std::vector<Source *> heap;
            for (auto &source : sources) {
                if (source->next())
                    heap.push_back(source.get());
            }
            auto after = [&](const Source *a, const Source *b) {
                return compareLines(collation, a->current(), b->current()) > 0;
            };
            std::make_heap(heap.begin(), heap.end(), after);
            while (!heap.empty()) {
                std::pop_heap(heap.begin(), heap.end(), after);
                Source *source = heap.back();
                emitLine(source->current());
                if (source->next())
                    std::push_heap(heap.begin(), heap.end(), after);
                else
                    heap.pop_back();
            }
        }
        writer.finish();
        // Nothing is read from them again: the memory and the disk space go back at once, not
        // when whoever waits for the files is done with them.
        for (Chunk &c : chunks)
            c.release();
        for (auto &run : runs)
            run->remove();
    }

    struct Stopped
    {};

    LineCollation collation;
    Groups groups;
    // Two chunks: while one is sorted on a second thread, the other is written to its run file
    // and filled again with the lines read. Each holds at most the chunk size.
    Chunk chunks[2] = {Chunk(collation), Chunk(collation)};
    const Chunk *last = nullptr;
    std::vector<std::unique_ptr<QTemporaryFile>> runs;
    FirstLine first;
    qint64 kept = 0; // lines kept for sorting
    QString inputName;
};

DifSplitter::DifSplitter(const QString &outputFolder, ProgressSink &progress, const QLocale &locale)
    : m_folder(outputFolder.endsWith(u'/') ? outputFolder : outputFolder + u'/')
    , m_progress(progress)
    , m_locale(locale)
{}

DifSplitter::~DifSplitter()
{
    stopWriting();
}

std::unique_ptr<DifSplitter::Sorted> DifSplitter::read(const QString &fileName, const QString &stem)
{
    auto sorted = std::make_unique<Sorted>(m_locale, m_folder, stem, fileName);
    const LineCollation &collation = sorted->collation;
    Groups &groups = sorted->groups;
    Chunk(&chunks)[2] = sorted->chunks;
    Chunk *chunk = &chunks[0];
    std::vector<std::unique_ptr<QTemporaryFile>> &runs = sorted->runs;
    FirstLine &first = sorted->first;

    // Sorts a chunk and notes the first line of each group that is written. `writable` tells
    // for every group of the chunk whether it is written (the groups are not read here: the
    // reading adds to them meanwhile).
    auto sortChunk = [&](Chunk &c, const std::vector<bool> &writable) {
        c.sort(writable.size());
        quint32 group = kNoGroup;
        for (const Chunk::Entry &e : c.entries()) {
            if (e.group != group && writable[e.group])
                first.offer(collation, c.line(e));
            group = e.group;
        }
    };
    std::thread sorting;
    std::exception_ptr sortFailure;
    // However the split ends, the sorting thread is gone before what it uses.
    struct JoinAtEnd
    {
        std::thread &thread;
        ~JoinAtEnd()
        {
            if (thread.joinable())
                thread.join();
        }
    } joinAtEnd{sorting};
    // Sorts `c` on the second thread.
    auto startSorting = [&](Chunk *c) {
        sorting = std::thread([&, c, writable = groups.writable()] {
            try {
                sortChunk(*c, writable);
            } catch (...) {
                sortFailure = std::current_exception();
            }
        });
    };
    // Waits for the chunk being sorted; what ended its sort ends the split.
    auto awaitSorting = [&] {
        if (sorting.joinable())
            sorting.join();
        if (sortFailure)
            std::rethrow_exception(std::exchange(sortFailure, nullptr));
    };

    // Sets a sorted chunk aside in a run file of its own and empties it; an empty chunk has
    // nothing to set aside.
    auto writeRun = [&](Chunk &sortedChunk) {
        if (sortedChunk.entries().empty())
            return;
        runs.push_back(sortedChunk.writeRun(m_folder));
        sortedChunk.clear();
    };

    qint64 &kept = sorted->kept;
    {
        TextReader reader(fileName);
        // A small file needs no more than its own size.
        for (Chunk &c : chunks)
            c.reserve(std::clamp<qint64>(reader.size(), 0, m_chunkBytes));
        m_progress.setMaximum(std::max<qint64>(reader.size(), 0));
        m_progress.setPosition(0);
        qint64 tick = kProgressBytes;
        quint32 seq = 0;
        while (reader.next()) {
            ++seq;
            if (reader.bytesRead() >= tick) {
                m_progress.setPosition(reader.bytesRead());
                tick = reader.bytesRead() + kProgressBytes;
            }
            if (reader.isAscii()) {
                const QByteArrayView bytes = reader.bytes();
                if (TrimBytes(bytes).size() < 3)
                    continue;
                const quint32 group = groups.idOf(bytes.first(3));
                groups.countLine(group);
                chunk->addAscii(group, seq, bytes);
            } else {
                QString text = reader.text();
                // A byte-order mark inside the file is where two files were joined.
                qsizetype bom = 0;
                while (bom < text.size() && text.at(bom) == QChar(0xFEFF))
                    ++bom;
                text.remove(0, bom);
                if (TrimText(text).size() < 3)
                    continue;
                if (isAscii(text)) {
                    const QByteArray bytes = text.toLatin1();
                    const quint32 group = groups.idOf(QByteArrayView(bytes).first(3));
                    groups.countLine(group);
                    chunk->addAscii(group, seq, bytes);
                } else {
                    const quint32 group = groups.idOf(QStringView(text).first(3));
                    groups.countLine(group);
                    chunk->addText(group, seq, std::move(text));
                }
            }
            ++kept;
            if (chunk->memory() >= m_chunkBytes) {
                // The full chunk is sorted on the second thread while this one writes the run
                // file of the chunk sorted before and reads on into it: the two threads then
                // take about as long for a chunk.
                awaitSorting();
                startSorting(chunk);
                chunk = chunk == &chunks[0] ? &chunks[1] : &chunks[0];
                writeRun(*chunk);
            }
        }
        m_progress.setPosition(reader.size());
    }
    // The last chunk is sorted while the run of the one before it is written.
    awaitSorting();
    startSorting(chunk);
    writeRun(chunk == &chunks[0] ? chunks[1] : chunks[0]);
    awaitSorting();
    sorted->last = chunk;
    return sorted;
}

DifSplitter::Result DifSplitter::split(const QString &fileName, const QString &stem)
{
    const std::unique_ptr<Sorted> sorted = read(fileName, stem);
    m_progress.setMaximum(sorted->kept);
    m_progress.setPosition(0);
    sorted->write(true, nullptr, [this](qint64 done) { m_progress.setPosition(done); }, {});
    m_progress.setPosition(sorted->kept);
    return sorted->result();
}

DifSplitter::Result DifSplitter::start(const QString &fileName, const QString &stem)
{
    stopWriting();
    m_sorted = read(fileName, stem);
    const Result result = m_sorted->result();
    m_files = result.files;
    m_filesDone = 0;
    m_finished = false;
    m_failure = nullptr;
    m_stop = false;
    m_writing = std::thread([this] {
        std::exception_ptr failure;
        try {
            m_sorted->write(false, &m_stop, {}, [this] {
                const std::lock_guard lock(m_mutex);
                ++m_filesDone;
                m_changed.notify_all();
            });
        } catch (...) {
            failure = std::current_exception();
        }
        const std::lock_guard lock(m_mutex);
        m_failure = failure;
        m_finished = true;
        m_changed.notify_all();
    });
    return result;
}

void DifSplitter::waitFor(const QString &file, const std::function<void()> &waiting)
{
    const qsizetype index = m_files.indexOf(file);
    if (index < 0)
        throw Error(u"\"%1\" is not a file of the split"_s.arg(QDir::toNativeSeparators(file)));
    std::unique_lock lock(m_mutex);
    while (m_filesDone <= index && !m_finished) {
        if (m_changed.wait_for(lock, std::chrono::milliseconds(100),
                               [&] { return m_filesDone > index || m_finished; }))
            break;
        if (waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    if (m_filesDone > index)
        return;
    if (m_failure)
        std::rethrow_exception(m_failure);
    throw Error(u"\"%1\" was not written"_s.arg(QDir::toNativeSeparators(file)));
}

void DifSplitter::stopWriting()
{
    if (m_writing.joinable()) {
        m_stop = true;
        m_writing.join();
    }
    m_sorted.reset();
}

} // namespace bm

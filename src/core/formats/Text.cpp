#include "Text.h"

#include "Error.h"
#include "FileWrite.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>

#include <sys/stat.h>

namespace bm {

using namespace Qt::StringLiterals;

QString PadLeft(const QString &text, int length, QChar fill)
{
    if (text.size() >= length)
        return text;
    return QString(length - text.size(), fill) + text;
}

QString PadRight(const QString &text, int length, QChar fill)
{
    if (text.size() >= length)
        return text;
    return text + QString(length - text.size(), fill);
}

QString QuoteText(const QString &text, QChar quote)
{
    if (text.isEmpty())
        return text;
    QString result = text;
    if (result.front() != quote)
        result.prepend(quote);
    if (result.back() != quote)
        result.append(quote);
    return result;
}

QStringList SplitText(const QString &text, QChar separator)
{
    return text.split(separator, Qt::KeepEmptyParts);
}

QString TrimText(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 0x20)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 0x20)
        --end;
    if (begin == 0 && end == text.size())
        return text;
    return text.mid(begin, end - begin);
}

QByteArrayView TrimBytes(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && static_cast<unsigned char>(bytes[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(bytes[end - 1]) <= 0x20)
        --end;
    return bytes.sliced(begin, end - begin);
}

bool IsDecimalInteger(QByteArrayView text, qint64 *value)
{
    QByteArrayView t = TrimBytes(text);
    if (t.isEmpty())
        return false;
    bool negative = false;
    qsizetype i = 0;
    if (t[0] == '-' || t[0] == '+') {
        negative = t[0] == '-';
        ++i;
    }
    if (i == t.size())
        return false;
    quint64 v = 0;
    for (; i < t.size(); ++i) {
        const char c = t[i];
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + quint64(c - '0');
        if (v > quint64(std::numeric_limits<qint64>::max()))
            return false;
    }
    if (value)
        *value = negative ? -qint64(v) : qint64(v);
    return true;
}

int StrToInt(const QString &text)
{
    qint64 v = 0;
    const QByteArray latin = text.toLatin1();
    if (text.size() != latin.size() || !IsDecimalInteger(latin, &v)
        || v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw Error(u"'%1' is not a valid integer value"_s.arg(text));
    return int(v);
}

namespace {

// Code points of Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined
// map to the C1 control of the same number, as the system's conversion does.
constexpr std::array<char16_t, 32> kHigh
        = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
           0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
           0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        char32_t cp = 0;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int k = 1; k <= extra; ++k) {
            if ((p[k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) || (extra == 3 && cp < 0x10000)
            || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

QString decodeLine(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    if (isValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return fromWindows1252(bytes);
}

} // namespace

QString fromWindows1252(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kHigh[b - 0x80]) : QChar(char16_t(b));
    }
    return out;
}

bool toWindows1252(QStringView text, QByteArray &out, QString *bad)
{
    out.reserve(out.size() + text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.append(char(u));
            continue;
        }
        const auto found = std::find(kHigh.cbegin(), kHigh.cend(), u);
        if (found == kHigh.cend()) {
            if (bad) {
                // The whole character, both halves of a surrogate pair.
                const bool pair = QChar::isHighSurrogate(u) && i + 1 < text.size()
                                  && text[i + 1].isLowSurrogate();
                *bad = text.mid(i, pair ? 2 : 1).toString();
            }
            return false;
        }
        out.append(char(0x80 + (found - kHigh.cbegin())));
    }
    return true;
}

bool utf8ToWindows1252(QByteArrayView utf8, QByteArray &out, QString *bad)
{
    if (isAscii(utf8)) {
        out.append(utf8);
        return true;
    }
    return toWindows1252(QString::fromUtf8(utf8), out, bad);
}

// ---------------------------------------------------------------------------------------------

namespace {
constexpr qsizetype kChunk = 1 << 20;

// UTF-16 text without a byte-order mark: at its start most characters are plain ASCII, so every
// other byte is zero, which no text in a one-byte code page or in UTF-8 has. Which of the two
// is zero gives the byte order.
std::optional<QStringConverter::Encoding> utf16WithoutMark(QByteArrayView head)
{
    const qsizetype n = std::min<qsizetype>(head.size(), 512) & ~qsizetype(1);
    if (n < 4)
        return std::nullopt;
    qsizetype zeroEven = 0;
    qsizetype zeroOdd = 0;
    for (qsizetype i = 0; i < n; ++i) {
        if (head[i] == 0)
            ++(i % 2 ? zeroOdd : zeroEven);
    }
    const qsizetype characters = n / 2;
    if (zeroEven == 0 && zeroOdd * 2 >= characters)
        return QStringConverter::Utf16LE;
    if (zeroOdd == 0 && zeroEven * 2 >= characters)
        return QStringConverter::Utf16BE;
    return std::nullopt;
}
} // namespace

void refuseSpecialFile(const QString &path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || S_ISREG(st.st_mode)
        || S_ISDIR(st.st_mode))
        return;
    throw Error(u"Cannot open file \"%1\". It is %2, not a file"_s.arg(
            QDir::toNativeSeparators(path), S_ISFIFO(st.st_mode)   ? u"a named pipe"_s
                                            : S_ISSOCK(st.st_mode) ? u"a socket"_s
                                                                   : u"a device"_s));
}

TextReader::TextReader(const QString &path, qsizetype maxLine)
    : m_file(path)
    , m_path(path)
    , m_maxLine(maxLine)
{
    if (QFileInfo(path).isDir())
        throw Error(u"Cannot open file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                         systemMessage(EISDIR)));
    refuseSpecialFile(path);
    if (!m_file.open(QIODevice::ReadOnly))
        throw Error(u"Cannot open file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                         m_file.errorString()));
    m_size = m_file.size();
    fill();
    const QByteArrayView head(m_buffer);
    if (head.startsWith("\xEF\xBB\xBF")) {
        m_mode = Mode::Utf8Bom;
        m_pos = 3;
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        m_mode = Mode::Utf16;
        m_decoder = std::make_unique<QStringDecoder>(head.startsWith("\xFF\xFE")
                                                             ? QStringConverter::Utf16LE
                                                             : QStringConverter::Utf16BE);
        m_pos = 2;
    } else if (const auto order = utf16WithoutMark(head)) {
        m_mode = Mode::Utf16;
        m_decoder = std::make_unique<QStringDecoder>(*order);
    }
}

TextReader::~TextReader() = default;

bool TextReader::fill()
{
    if (m_eof)
        return false;
    if (m_pos > 0) {
        m_buffer.remove(0, m_pos);
        m_pos = 0;
    }
    // Up to a chunk at a time, and no more than the file holds: a small file, or a reader that
    // needs only the first line, never takes a whole chunk of memory.
    const qint64 left = m_size - m_file.pos();
    const qsizetype want = qsizetype(std::clamp<qint64>(left + 1, 4096, kChunk));
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + want);
    const qint64 n = m_file.read(m_buffer.data() + old, want);
    if (n < 0) {
        m_buffer.resize(old);
        throw Error(u"Cannot read file \"%1\". %2"_s.arg(QDir::toNativeSeparators(m_path),
                                                         m_file.errorString()));
    }
    m_buffer.resize(old + n);
    if (n == 0)
        m_eof = true;
    return n > 0;
}

Error TextReader::lineTooLong() const
{
    return Error(u"Cannot read file \"%1\": line %2 is longer than %3 characters, far longer "
                 "than any record"_s.arg(QDir::toNativeSeparators(m_path))
                         .arg(m_lineNo + 1)
                         .arg(QLocale(QLocale::English, QLocale::UnitedStates)
                                      .toString(qint64(m_maxLine))));
}

bool TextReader::next()
{
    m_textValid = false;
    if (m_mode == Mode::Utf16)
        return nextUtf16();
    // Bytes of the unfinished line already searched for its end: each byte is searched once,
    // however many reads the line takes.
    qsizetype searched = 0;
    for (;;) {
        // A CR that ended the previous line swallows one LF that follows it.
        if (m_pendingCr) {
            if (m_pos >= m_buffer.size() && !fill())
                return false;
            if (m_buffer.at(m_pos) == '\n') {
                ++m_pos;
                ++m_consumed;
            }
            m_pendingCr = false;
        }
        const qsizetype avail = m_buffer.size() - m_pos;
        const char *start = m_buffer.constData() + m_pos;
        const char *from = start + searched;
        const qsizetype rest = avail - searched;
        const char *lf = static_cast<const char *>(std::memchr(from, '\n', size_t(rest)));
        const qsizetype scan = lf ? lf - from : rest;
        const char *cr = static_cast<const char *>(std::memchr(from, '\r', size_t(scan)));
        const char *brk = cr ? cr : lf;
        const qsizetype len = brk ? brk - start : avail;
        if (len > m_maxLine)
            throw lineTooLong();
        if (!brk && !m_eof) {
            searched = avail;
            fill(); // moves the unfinished line to the front of the buffer
            continue;
        }
        if (!brk && avail == 0)
            return false;
        m_bytes = QByteArrayView(start, len);
        m_pos += len + (brk ? 1 : 0);
        m_consumed += len + (brk ? 1 : 0);
        if (brk == cr && cr)
            m_pendingCr = true;
        ++m_lineNo;
        m_ascii = Ascii::Unknown;
        return true;
    }
}

bool TextReader::nextUtf16()
{
    qsizetype searched = 0; // characters of the unfinished line already searched
    for (;;) {
        if (m_pendingCr) {
            if (m_widePos >= m_wide.size()) {
                if (!fill() && m_pos >= m_buffer.size())
                    return false;
                m_wide.remove(0, m_widePos);
                m_widePos = 0;
                m_wide += m_decoder->decode(QByteArrayView(m_buffer).sliced(m_pos));
                m_pos = m_buffer.size();
                if (m_widePos >= m_wide.size())
                    continue;
            }
            if (m_wide.at(m_widePos) == u'\n')
                ++m_widePos;
            m_pendingCr = false;
        }
        qsizetype i = m_widePos + searched;
        while (i < m_wide.size() && m_wide.at(i) != u'\r' && m_wide.at(i) != u'\n')
            ++i;
        if (i - m_widePos > m_maxLine)
            throw lineTooLong();
        if (i == m_wide.size() && !m_eof) {
            searched = i - m_widePos;
            m_wide.remove(0, m_widePos);
            m_widePos = 0;
            fill();
            m_wide += m_decoder->decode(QByteArrayView(m_buffer).sliced(m_pos));
            m_pos = m_buffer.size();
            continue;
        }
        if (i == m_wide.size() && i == m_widePos)
            return false;
        m_text = m_wide.mid(m_widePos, i - m_widePos);
        m_textValid = true;
        m_ascii = Ascii::No;
        m_bytes = {};
        if (i < m_wide.size()) {
            m_pendingCr = m_wide.at(i) == u'\r';
            m_widePos = i + 1;
        } else {
            m_widePos = i;
        }
        m_consumed = m_file.pos();
        ++m_lineNo;
        return true;
    }
}

QString TextReader::text() const
{
    if (!m_textValid) {
        // After a UTF-8 byte-order mark every line is UTF-8; without one each line is decoded
        // by what its bytes are.
        if (isAscii())
            m_text = QString::fromLatin1(m_bytes);
        else if (m_mode == Mode::Utf8Bom)
            m_text = QString::fromUtf8(m_bytes);
        else
            m_text = decodeLine(m_bytes);
        m_textValid = true;
    }
    return m_text;
}

qint64 countLines(const QString &path)
{
    TextReader reader(path);
    qint64 n = 0;
    while (reader.next())
        ++n;
    return n;
}

// ---------------------------------------------------------------------------------------------

TextWriter::TextWriter(const QString &path)
    : m_path(path)
    , m_file(path)
    , m_out(&m_file)
{
    // Unbuffered: the lines are gathered in m_buffer, and each write reaches the system at once,
    // so a failure is reported with the system's reason.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Error(u"Cannot create file \"%1\". %2"_s.arg(QDir::toNativeSeparators(path),
                                                           m_file.errorString()));
}

TextWriter::TextWriter(QIODevice &device, const QString &name)
    : m_path(name)
    , m_out(&device)
{}

void TextWriter::writeLine(QStringView line, const QString &context)
{
    QString bad;
    if (!toWindows1252(line, m_buffer, &bad)) {
        throw Error(u"Cannot write \"%1\" to \"%2\"%3: the character is not in the Windows-1252 "
                    "code page"_s.arg(bad, QFileInfo(m_path).fileName(),
                                      context.isEmpty() ? QString() : u" ("_s + context + u')'));
    }
    m_buffer.append("\r\n", 2);
    flushIfLarge();
}

void TextWriter::writeRawLine(QByteArrayView bytes)
{
    // Copied in place: this is the path of every line of a bulk write.
    const qsizetype old = m_buffer.size();
    m_buffer.resize(old + bytes.size() + 2);
    char *d = m_buffer.data() + old;
    std::memcpy(d, bytes.data(), size_t(bytes.size()));
    d[bytes.size()] = '\r';
    d[bytes.size() + 1] = '\n';
    flushIfLarge();
}

void TextWriter::flushIfLarge()
{
    if (m_buffer.size() >= kChunk)
        writeBuffer();
}

void TextWriter::writeBuffer()
{
    QString why;
    if (!writeAll(*m_out, m_buffer, why))
        throw Error(u"Cannot write file \"%1\". %2"_s.arg(QDir::toNativeSeparators(m_path), why));
    m_buffer.resize(0); // keeps the allocation for the next chunk
}

void TextWriter::commit()
{
    writeBuffer();
    m_buffer.clear();
    if (m_out != &m_file)
        return;
    if (!m_file.commit())
        throw Error(u"Cannot write file \"%1\". %2"_s.arg(QDir::toNativeSeparators(m_path),
                                                          m_file.errorString()));
}

} // namespace bm

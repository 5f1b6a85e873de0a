#pragma once

#include "Ascii.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QSaveFile>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

#include <memory>

namespace bm {

class Error;

// Text functions shared by the readers and writers of DIF, CSV and SQL text.
QString PadLeft(const QString &text, int length, QChar fill);
QString PadRight(const QString &text, int length, QChar fill);
QString QuoteText(const QString &text, QChar quote);
QStringList SplitText(const QString &text, QChar separator);
// Removes leading and trailing blanks and control characters (every code up to U+0020).
QString TrimText(const QString &text);
QByteArrayView TrimBytes(QByteArrayView bytes);
// A decimal integer, optionally signed and surrounded by blanks; anything else raises
// "'<text>' is not a valid integer value".
int StrToInt(const QString &text);
// The same test without raising.
bool IsDecimalInteger(QByteArrayView text, qint64 *value = nullptr);

// Windows-1252, the ANSI code page of the systems that exchange DIF files.
QString fromWindows1252(QByteArrayView bytes);
// Appends `text` encoded to `out`. Returns false (and leaves `out` partial) when a character
// cannot be held; `bad` then receives the first such character.
bool toWindows1252(QStringView text, QByteArray &out, QString *bad = nullptr);
// The same for UTF-8 bytes, as SQLite holds text; plain ASCII is copied as it is.
bool utf8ToWindows1252(QByteArrayView utf8, QByteArray &out, QString *bad = nullptr);

// Raises "Cannot open file ...: it is a named pipe, not a file" (or a device, or a socket) when
// `path` names something that is no plain file: opening a pipe would wait for a writer, and a
// device can be read without end. A name with nothing behind it, a folder or a link to a plain
// file passes (the open that follows says what is wrong).
void refuseSpecialFile(const QString &path);

// Streams the lines of a text file. A UTF-8 or UTF-16 byte-order mark selects that encoding, and
// so does a start whose every other byte is zero (UTF-16 without a mark, as some exports write
// it); otherwise a line whose bytes are valid UTF-8 is read as UTF-8, any other as Windows-1252.
// Lines end at CR, LF or CR LF; a break at the very end does not start another line.
//
// The work is linear in the file's size and the memory bounded by the longest line allowed: a
// line longer than that is an error naming the file and the line, never read whole.
class TextReader
{
public:
    // Far longer than any line of a record layout, a layout file or a script.
    static constexpr qsizetype kMaxLine = 64 * 1024;

    // Raises an error naming the file when it cannot be opened or is a folder. `maxLine` is the
    // longest line allowed, in bytes (in characters for UTF-16 text).
    explicit TextReader(const QString &path, qsizetype maxLine = kMaxLine);
    ~TextReader();
    TextReader(const TextReader &) = delete;
    TextReader &operator=(const TextReader &) = delete;

    // Moves to the next line; false at the end of the file.
    bool next();
    // True when the current line is plain ASCII: then bytes() holds it and byte offsets are
    // character offsets. Tested at the first call for the line, so a reader that only counts
    // lines never looks at their bytes.
    bool isAscii() const
    {
        if (m_ascii == Ascii::Unknown)
            m_ascii = bm::isAscii(m_bytes) ? Ascii::Yes : Ascii::No;
        return m_ascii == Ascii::Yes;
    }
    QByteArrayView bytes() const { return m_bytes; }
    // The current line as text (decoded on demand).
    QString text() const;
    const QString &path() const { return m_path; }
    qint64 bytesRead() const { return m_consumed; }
    qint64 size() const { return m_size; }
    // The number of the current line in the file, counted from 1 (blank lines included).
    qint64 lineNumber() const { return m_lineNo; }

private:
    bool fill();
    bool nextUtf16();
    Error lineTooLong() const;

    QFile m_file;
    QString m_path;
    enum class Mode { Bytes, Utf8Bom, Utf16 } m_mode = Mode::Bytes;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    bool m_eof = false;
    bool m_pendingCr = false;
    QByteArrayView m_bytes;
    QByteArray m_lineCopy;
    enum class Ascii : quint8 { Unknown, Yes, No };
    mutable Ascii m_ascii = Ascii::Yes;
    mutable QString m_text;
    mutable bool m_textValid = false;
    std::unique_ptr<QStringDecoder> m_decoder;
    QString m_wide;
    qsizetype m_widePos = 0;
    qint64 m_consumed = 0;
    qint64 m_size = 0;
    qsizetype m_maxLine = kMaxLine;
    qint64 m_lineNo = 0;
};

// Counts the lines of a file as TextReader reads them, without decoding.
qint64 countLines(const QString &path);

// Writes a text file in Windows-1252 without byte-order mark, CR LF after every line. The file
// is written to a temporary file beside the target and renamed over it by commit(), so an
// error never leaves a damaged or half-written target.
class TextWriter
{
public:
    explicit TextWriter(const QString &path);
    // Writes to a device that is already open (standard output), named `name` in messages;
    // lines go out in chunks as they come and commit() sends the rest.
    TextWriter(QIODevice &device, const QString &name);
    // Raises an error when `line` holds a character that Windows-1252 cannot hold; `context`
    // (for example "table 104, row 12") is named in the message.
    void writeLine(QStringView line, const QString &context = QString());
    // Bytes already in Windows-1252 (or plain ASCII).
    void writeRawLine(QByteArrayView bytes);
    void commit();
    const QString &path() const { return m_path; }

private:
    void flushIfLarge();
    void writeBuffer();
    QString m_path;
    QSaveFile m_file;
    QIODevice *m_out = nullptr; // m_file, or the device given
    QByteArray m_buffer;
};

} // namespace bm

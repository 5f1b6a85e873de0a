#include "Text.h"
#include "Error.h"
#include "LineCollation.h"
#include "TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace bm;
using namespace Qt::StringLiterals;

TEST(TextFunctions, padNeverShortens)
{
    EXPECT_EQ(PadLeft(u"12"_s, 5, u' '), u"   12"_s);
    EXPECT_EQ(PadLeft(u"123456"_s, 5, u' '), u"123456"_s);
    EXPECT_EQ(PadRight(u"AB"_s, 4, u' '), u"AB  "_s);
    EXPECT_EQ(PadRight(u""_s, 2, u'0'), u"00"_s);
}

TEST(TextFunctions, quoteTextAddsOnlyMissingQuotes)
{
    const struct
    {
        QString in, out;
    } cases[] = {
            {u""_s, u""_s},
            {u"abc"_s, u"\"abc\""_s},
            {u"\"abc"_s, u"\"abc\""_s},
            {u"abc\""_s, u"\"abc\""_s},
            {u"\""_s, u"\""_s},
            {u"a\"b"_s, u"\"a\"b\""_s},
    };
    for (const auto &c : cases)
        EXPECT_EQ(QuoteText(c.in, u'"'), c.out) << c.in.toStdString();
}

TEST(TextFunctions, splitTextKeepsEmptyItems)
{
    EXPECT_EQ(SplitText(u"a,,b,"_s, u','), (QStringList{u"a"_s, u""_s, u"b"_s, u""_s}));
    EXPECT_EQ(SplitText(u""_s, u','), QStringList{u""_s});
    EXPECT_EQ(SplitText(u"x,y"_s, u','), (QStringList{u"x"_s, u"y"_s}));
    EXPECT_EQ(SplitText(u","_s, u','), (QStringList{u""_s, u""_s}));
    EXPECT_EQ(SplitText(u"abc"_s, u','), QStringList{u"abc"_s});
}

TEST(TextFunctions, strToIntAcceptsOnlyDecimalIntegers)
{
    EXPECT_EQ(StrToInt(u"42"_s), 42);
    EXPECT_EQ(StrToInt(u" -7 "_s), -7);
    for (const QString &bad : {u""_s, u"1.5"_s, u"x1"_s, u"0x10"_s, u"99999999999"_s}) {
        try {
            StrToInt(bad);
            ADD_FAILURE() << "accepted " << bad.toStdString();
        } catch (const Error &e) {
            EXPECT_EQ(e.message(), u"'%1' is not a valid integer value"_s.arg(bad));
        }
    }
}

TEST(TextFunctions, errorBoxAppendsFullStopOnlyAfterLaterCharacters)
{
    EXPECT_EQ(errorBoxText(u"No such table"_s), u"No such table."_s);
    EXPECT_EQ(errorBoxText(u"Done."_s), u"Done."_s);
    EXPECT_EQ(errorBoxText(u"Stop!"_s), u"Stop!"_s); // '!' sorts before '.'
    EXPECT_EQ(errorBoxText(u"Path /"_s), u"Path /."_s);
}

namespace {

QStringList readAll(const QByteArray &bytes)
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/f.txt"_s;
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    f.close();
    TextReader reader(path);
    QStringList lines;
    while (reader.next())
        lines << reader.text();
    return lines;
}

} // namespace

TEST(TextReader, lineEndsAndEncodings)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
            {"empty", "", {}},
            {"crlf", "a\r\nb\r\n", {u"a"_s, u"b"_s}},
            {"no final break", "a\nb", {u"a"_s, u"b"_s}},
            {"cr only", "a\rb\r\rc", {u"a"_s, u"b"_s, u""_s, u"c"_s}},
            {"lone break", "\r\n", {u""_s}},
            {"lf cr is two breaks", "a\n\rb", {u"a"_s, u""_s, u"b"_s}},
            {"utf8 bom", "\xEF\xBB\xBF\xC3\xA9t\xC3\xA9\r\nx", {u"\u00E9t\u00E9"_s, u"x"_s}},
            {"utf8 without bom", "caf\xC3\xA9\n", {u"caf\u00E9"_s}},
            {"windows-1252", "caf\xE9 \x80\x93\n", {u"caf\u00E9 \u20AC\u201C"_s}},
            {"utf16le bom",
             QByteArray("\xFF\xFE"
                        "a\0\r\0\n\0\xE9\0",
                        10),
             {u"a"_s, u"\u00E9"_s}},
            {"utf16be bom", QByteArray("\xFE\xFF\0a\0\r\0b", 8), {u"a"_s, u"b"_s}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(readAll(c.bytes), c.lines) << c.name;
}

TEST(TextReader, longFileAcrossChunksKeepsEveryLine)
{
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += QByteArray::number(i) + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\r" : "\n");
    const QStringList lines = readAll(bytes);
    ASSERT_EQ(lines.size(), 200000);
    EXPECT_EQ(lines.at(12345), u"12345"_s);
    EXPECT_EQ(lines.last(), u"199999"_s);
}

TEST(TextReader, missingFileOrFolderRaises)
{
    EXPECT_THROW(TextReader(u"/nonexistent/x.104"_s), Error);
    QTemporaryDir dir;
    try {
        TextReader reader(dir.path());
        ADD_FAILURE() << "a folder was read";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"Is a directory"_s)) << e.message().toStdString();
    }
}

namespace {

// Text as UTF-16 little-endian with its byte-order mark.
QByteArray utf16(const QString &text)
{
    return QByteArray("\xFF\xFE")
           + QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
}

} // namespace

// Lines of nearly the longest length allowed, each spanning the reader's chunks in new places.
TEST(TextReader, longLinesAcrossChunksAreReadWhole)
{
    QByteArray bytes;
    QString text;
    for (int i = 0; i < 40; ++i) {
        bytes += QByteArray(TextReader::kMaxLine - i, char('a' + i % 26)) + (i % 2 ? "\r\n" : "\n");
        text += QString(TextReader::kMaxLine - i, QChar(u'a' + i % 26)) + u'\n';
    }
    for (const QByteArray &file : {bytes, utf16(text)}) {
        const QStringList lines = readAll(file);
        ASSERT_EQ(lines.size(), 40);
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(lines.at(i), QString(TextReader::kMaxLine - i, QChar(u'a' + i % 26))) << i;
    }
}

// A line far longer than any record is an error naming the file and the line; the reader stops
// there instead of holding the whole line.
TEST(TextReader, lineFarLongerThanAnyRecordIsAnError)
{
    const QByteArray tooLong(TextReader::kMaxLine + 1, 'x');
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
            {"ended by a break", "1041\r\n" + tooLong + "\r\n1042\r\n"},
            {"the last line", "1041\n" + tooLong},
            {"eight megabytes of zeros", "1041\n" + QByteArray(8 << 20, '\0')},
            {"utf-16", utf16(u"1041\n"_s + QString::fromLatin1(tooLong))},
    };
    for (const auto &c : cases) {
        QTemporaryDir dir;
        const QString path = dir.path() + u"/big.104"_s;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(c.bytes);
        f.close();
        TextReader reader(path);
        ASSERT_TRUE(reader.next()) << c.name;
        EXPECT_EQ(reader.lineNumber(), 1) << c.name;
        try {
            reader.next();
            ADD_FAILURE() << c.name << ": no error";
        } catch (const Error &e) {
            EXPECT_TRUE(e.message().contains(u"big.104\": line 2 is longer than 65,536"_s))
                    << c.name << ": " << e.message().toStdString();
        }
    }
}

TEST(TextWriter, writesWindows1252WithCrLfAndRefusesOtherCharacters)
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/out.txt"_s;
    {
        TextWriter w(path);
        w.writeLine(u"caf\u00E9 \u20AC"_s);
        w.writeLine(u""_s);
        w.commit();
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("caf\xE9 \x80\r\n\r\n"));
    f.close();

    // A character outside the code page stops the write and leaves the old file as it was.
    try {
        TextWriter w(path);
        w.writeLine(u"ok"_s);
        w.writeLine(u"\u4E2D"_s, u"table 102, row 2"_s);
        w.commit();
        ADD_FAILURE() << "wrote a character Windows-1252 cannot hold";
    } catch (const Error &e) {
        EXPECT_TRUE(e.message().contains(u"table 102, row 2"_s)) << e.what();
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("caf\xE9 \x80\r\n\r\n"));
}

// The byte tests look at eight bytes at a time: a byte outside the range is found at every
// position of a line, in the words and in the tail, and the bytes at the range's ends pass.
TEST(TextFunctions, asciiAndPrintableTestsSeeEveryByte)
{
    for (int length = 0; length <= 19; ++length) {
        QByteArray line(length, 'a');
        for (int i = 0; i < length; ++i)
            line[i] = i % 2 ? ' ' : '~';
        EXPECT_TRUE(isAscii(line)) << length;
        EXPECT_TRUE(LineCollation::isPrintableAscii(line)) << length;
        for (int at = 0; at < length; ++at) {
            for (const unsigned char bad : {0x00, 0x1F, 0x7F, 0x80, 0xE9, 0xFF}) {
                QByteArray b = line;
                b[at] = char(bad);
                EXPECT_FALSE(LineCollation::isPrintableAscii(b))
                        << length << " " << at << " " << int(bad);
                EXPECT_EQ(isAscii(b), bad < 0x80) << length << " " << at << " " << int(bad);
            }
        }
    }
}

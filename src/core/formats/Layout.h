#pragma once

#include "RecordTypes.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace bm {

// The display formats of a table: the columns the grid shows with fixed decimals.
struct DisplayFormat
{
    QString column;
    int decimals;
};
QList<DisplayFormat> displayFormats(const QString &table);

// A Windows initialization file read with the profile functions' rules: section and key names
// compared without regard to case, values trimmed, line order irrelevant, the first of duplicate
// keys wins, and a missing file reads as empty.
class IniFile
{
public:
    // With `section`, only that section is kept and reading stops once it holds more than
    // `maxKeys` keys (overflowed() then tells so), so a huge file is never read whole.
    static IniFile read(const QString &path, const QString &section = QString(),
                        qsizetype maxKeys = -1);
    // The keys of `section` in file order (each once).
    QStringList keys(const QString &section) const;
    QString value(const QString &section, const QString &key) const;
    bool overflowed() const { return m_overflowed; }

private:
    struct Section
    {
        QString name;
        QStringList keys;
        QStringList values;
        QHash<QString, qsizetype> index; // case-folded key -> position
    };
    const Section *find(const QString &section) const;
    QList<Section> m_sections;
    bool m_overflowed = false;
};

// The four field types of a layout, named exactly so (letter case included) in its files.
enum class FieldType { String, Number, Float, Date };

// A whole-number item of a field definition (start column, width, scale, decimals) as the layout
// file gives it. It is converted when the layout is read, but an item that is not a decimal
// integer raises "'<text>' is not a valid integer value" only where it is used, so a command
// stops at the moment that item first matters (a layout with a bad width still imports an empty
// file). An item of blanks is not given: a blank scale is no scale, for reading and writing.
class LayoutInt
{
public:
    LayoutInt() = default;
    explicit LayoutInt(const QString &text);
    // False when the item is absent, empty or blank.
    bool isGiven() const { return m_given; }
    // True when the item is a decimal integer.
    bool isValid() const { return m_valid; }
    // The value; raises "'<text>' is not a valid integer value" when it is not a decimal integer.
    int value() const;
    const QString &text() const { return m_text; }

private:
    QString m_text;
    int m_value = 0;
    bool m_given = false;
    bool m_valid = false;
};

// One field of a record layout.
struct FieldDef
{
    QString name;
    FieldType type = FieldType::String;
    LayoutInt start; // 1-based column
    LayoutInt width;
    LayoutInt scale;    // Float: the reader divides by it, the writer multiplies (no decimals)
    LayoutInt decimals; // Float: the writer's decimals; the reader ignores it
};
using Layout = QList<FieldDef>;

// The most fields a layout holds, and the last column a field may reach: no line of a DIF file
// is longer (a longer line is refused when read).
constexpr int kMaxLayoutFields = 99;
constexpr int kMaxLayoutColumn = 65536;

// The folder of the layouts: <home>Defs/.
QString defsFolder(const QString &home);
// The layout name of a record type and version: "DIF<code>V<version>.ini".
QString layoutName(const QString &code, const QString &version);

// Reads <home>Defs/<defName>. A missing file, or one without a "Records" section, gives no
// fields. Field i comes from key "01".."99"; a value with fewer than four items raises
// "List index out of bounds (<index>)". Refused at once with an error naming the file: a layout
// of more than 99 fields (reading stops at the 100th key), a type other than the four, a Float
// scale of 0, and a start column or width that would place a field beyond kMaxLayoutColumn.
Layout readLayout(const QString &home, const QString &defName);

// The current version of a record type from <home>Defs/DIFVersion.ini ("" when missing).
QString currentVersion(const QString &home, const QString &code);

// The version character of a DIF file: character 4 of its first line, or "" when the line is
// shorter or the file empty. A byte-order mark is skipped. Raises when the file cannot be read.
QString GetDIFVersion(const QString &fileName);

} // namespace bm

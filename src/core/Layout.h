#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace bm {

// The twelve record types in their fixed order (tabs, Select Files list, every loop over all
// record types). Each code is also the table name and the per-type file extension.
struct RecordType
{
    QString code;
    QString description; // as stored: the eighth keeps its doubled ampersand
};
const QList<RecordType> &recordTypes();
QStringList recordTypeCodes();
// The description for display where "&" is no accelerator mark ("&&" becomes "&").
QString displayDescription(const QString &description);
// -1 when `code` is none of the twelve.
int recordTypeIndex(const QString &code);

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
    static IniFile read(const QString &path);
    // The keys of `section` in file order (each once).
    QStringList keys(const QString &section) const;
    QString value(const QString &section, const QString &key) const;

private:
    struct Section
    {
        QString name;
        QStringList keys;
        QStringList values;
    };
    const Section *find(const QString &section) const;
    QList<Section> m_sections;
};

// One field of a record layout, held as texts as the layout file gives them. Start column,
// width, scale and decimals are converted (StrToInt) where they are used.
struct FieldDef
{
    QString name;
    QString type; // "String", "Number", "Float" or "Date"
    QString start;
    QString width;
    QString scale;    // empty when absent
    QString decimals; // empty when absent
};
using Layout = QList<FieldDef>;

// The folder of the layouts: <home>Defs/.
QString defsFolder(const QString &home);
// The layout name of a record type and version: "DIF<code>V<version>.ini".
QString layoutName(const QString &code, const QString &version);

// Reads <home>Defs/<defName>. A missing file, or one without a "Records" section, gives no
// fields. Field i comes from key "01".."99"; a value with fewer than four items raises
// "List index out of bounds (<index>)". A layout of more than 99 fields, a type other than the
// four, or a Float scale of 0 is refused with an error naming the file.
Layout readLayout(const QString &home, const QString &defName);

// The current version of a record type from <home>Defs/DIFVersion.ini ("" when missing).
QString currentVersion(const QString &home, const QString &code);

// The version character of a DIF file: character 4 of its first line, or "" when the line is
// shorter or the file empty. A byte-order mark is skipped. Raises when the file cannot be read.
QString GetDIFVersion(const QString &fileName);

} // namespace bm

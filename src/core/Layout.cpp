#include "Layout.h"

#include "Error.h"
#include "Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace bm {

using namespace Qt::StringLiterals;

const QList<RecordType> &recordTypes()
{
    static const QList<RecordType> types = {
            {u"101"_s, u"Herd"_s},
            {u"102"_s, u"Cow Pedigree"_s},
            {u"103"_s, u"Lactation"_s},
            {u"104"_s, u"Test Day"_s},
            {u"105"_s, u"Bull Pedigree"_s},
            {u"106"_s, u"Workability"_s},
            {u"107"_s, u"Test Day Production"_s},
            {u"108"_s, u"Mating && Preg Test"_s},
            {u"112"_s, u"Calving Ease"_s},
            {u"114"_s, u"Conformation Trait"_s},
            {u"202"_s, u"Cow ABV 202"_s},
            {u"211"_s, u"Cow ABV 211"_s},
    };
    return types;
}

QStringList recordTypeCodes()
{
    QStringList codes;
    for (const RecordType &t : recordTypes())
        codes << t.code;
    return codes;
}

QString displayDescription(const QString &description)
{
    QString s = description;
    return s.replace(u"&&"_s, u"&"_s);
}

int recordTypeIndex(const QString &code)
{
    const auto &types = recordTypes();
    for (int i = 0; i < types.size(); ++i)
        if (types.at(i).code == code)
            return i;
    return -1;
}

QList<DisplayFormat> displayFormats(const QString &table)
{
    QList<DisplayFormat> formats;
    if (table == u"104"_s || table == u"107"_s)
        formats << DisplayFormat{u"Milk"_s, 1} << DisplayFormat{u"TotalSolidsPercent"_s, 2}
                << DisplayFormat{u"LactosePercent"_s, 2};
    if (table == u"104"_s || table == u"107"_s || table == u"211"_s)
        formats << DisplayFormat{u"FatPercent"_s, 2} << DisplayFormat{u"ProteinPercent"_s, 2};
    return formats;
}

// ---------------------------------------------------------------------------------------------

IniFile IniFile::read(const QString &path)
{
    IniFile ini;
    if (!QFileInfo(path).isFile())
        return ini;
    TextReader reader(path);
    Section *current = nullptr;
    while (reader.next()) {
        const QString line = reader.text().trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            current = nullptr;
            // The first section of a name is the one read; later duplicates are ignored.
            if (!ini.find(name)) {
                ini.m_sections.append(Section{name, {}, {}});
                current = &ini.m_sections.last();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = (eq < 0 ? line : line.left(eq)).trimmed();
        const QString value = eq < 0 ? QString() : line.mid(eq + 1).trimmed();
        bool seen = false;
        for (const QString &k : std::as_const(current->keys))
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                seen = true;
        if (seen)
            continue;
        current->keys.append(key);
        current->values.append(value);
    }
    return ini;
}

const IniFile::Section *IniFile::find(const QString &section) const
{
    for (const Section &s : m_sections)
        if (s.name.compare(section, Qt::CaseInsensitive) == 0)
            return &s;
    return nullptr;
}

QStringList IniFile::keys(const QString &section) const
{
    const Section *s = find(section);
    return s ? s->keys : QStringList();
}

QString IniFile::value(const QString &section, const QString &key) const
{
    const Section *s = find(section);
    if (!s)
        return QString();
    for (qsizetype i = 0; i < s->keys.size(); ++i)
        if (s->keys.at(i).compare(key, Qt::CaseInsensitive) == 0)
            return s->values.at(i);
    return QString();
}

// ---------------------------------------------------------------------------------------------

QString defsFolder(const QString &home)
{
    return home + u"Defs/"_s;
}

QString layoutName(const QString &code, const QString &version)
{
    return u"DIF"_s + code + u'V' + version + u".ini"_s;
}

Layout readLayout(const QString &home, const QString &defName)
{
    const QString path = defsFolder(home) + defName;
    const IniFile ini = IniFile::read(path);
    const qsizetype count = ini.keys(u"Records"_s).size();
    if (count > 99)
        throw Error(u"The layout %1 has %2 fields; a layout holds at most 99"_s.arg(defName).arg(
                count));
    Layout layout;
    layout.reserve(count);
    for (qsizetype i = 1; i <= count; ++i) {
        const QString key = (u"0"_s + QString::number(i)).right(2);
        const QStringList items = SplitText(ini.value(u"Records"_s, key), u',');
        if (items.size() < 4)
            throw Error(u"List index out of bounds (%1)"_s.arg(items.size()));
        FieldDef f;
        f.name = items.at(0);
        f.type = items.at(1);
        f.start = items.at(2);
        f.width = items.at(3);
        if (items.size() > 4)
            f.scale = items.at(4);
        if (items.size() > 5)
            f.decimals = items.at(5);
        if (f.type != u"String"_s && f.type != u"Number"_s && f.type != u"Float"_s
            && f.type != u"Date"_s)
            throw Error(u"The layout %1 gives the field %2 the type \"%3\"; the types are String, "
                        "Number, Float and Date"_s.arg(defName, f.name, f.type));
        if (f.type == u"Float"_s && !f.scale.trimmed().isEmpty()) {
            qint64 scale = 0;
            if (IsDecimalInteger(f.scale.toLatin1(), &scale) && scale == 0)
                throw Error(
                        u"The layout %1 gives the field %2 a scale of 0"_s.arg(defName, f.name));
        }
        layout.append(f);
    }
    return layout;
}

QString currentVersion(const QString &home, const QString &code)
{
    return IniFile::read(defsFolder(home) + u"DIFVersion.ini"_s).value(u"Version"_s, code);
}

QString GetDIFVersion(const QString &fileName)
{
    // The reader skips a byte-order mark, so a file saved with one still gives its version.
    TextReader reader(fileName);
    if (!reader.next())
        return QString();
    const QString line = reader.text();
    return line.size() < 4 ? QString() : QString(line.at(3));
}

} // namespace bm

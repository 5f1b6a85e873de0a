#include "Layout.h"

#include "Error.h"
#include "Text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <limits>

namespace bm {

using namespace Qt::StringLiterals;

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

IniFile IniFile::read(const QString &path, const QString &section, qsizetype maxKeys)
{
    IniFile ini;
    if (!QFileInfo(path).isFile())
        return ini;
    TextReader reader(path);
    Section *current = nullptr;
    QSet<QString> seenSections;
    while (reader.next()) {
        const QString line = reader.text().trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QString name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            current = nullptr;
            // The first section of a name is the one read; later duplicates are ignored.
            const QString folded = name.toCaseFolded();
            if (!seenSections.contains(folded)
                && (section.isEmpty() || name.compare(section, Qt::CaseInsensitive) == 0)) {
                seenSections.insert(folded);
                ini.m_sections.append(Section{name, {}, {}, {}});
                current = &ini.m_sections.last();
            }
            continue;
        }
        if (!current)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        const QString key = (eq < 0 ? line : line.left(eq)).trimmed();
        const QString folded = key.toCaseFolded();
        if (current->index.contains(folded))
            continue;
        if (maxKeys >= 0 && current->keys.size() >= maxKeys) {
            ini.m_overflowed = true;
            break;
        }
        current->index.insert(folded, current->keys.size());
        current->keys.append(key);
        current->values.append(eq < 0 ? QString() : line.mid(eq + 1).trimmed());
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
    const auto at = s->index.constFind(key.toCaseFolded());
    return at == s->index.cend() ? QString() : s->values.at(*at);
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

LayoutInt::LayoutInt(const QString &text)
    : m_text(text)
    , m_given(!text.trimmed().isEmpty())
{
    qint64 v = 0;
    const QByteArray latin = text.toLatin1();
    m_valid = text.size() == latin.size() && IsDecimalInteger(latin, &v)
              && v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max();
    m_value = m_valid ? int(v) : 0;
}

int LayoutInt::value() const
{
    if (!m_valid)
        return StrToInt(m_text); // raises the conversion error
    return m_value;
}

Layout readLayout(const QString &home, const QString &defName)
{
    const QString path = defsFolder(home) + defName;
    const IniFile ini = IniFile::read(path, u"Records"_s, kMaxLayoutFields);
    const qsizetype count = ini.keys(u"Records"_s).size();
    if (ini.overflowed())
        throw Error(
                u"The layout %1 has more than %2 fields; a layout holds at most %2"_s.arg(defName)
                        .arg(kMaxLayoutFields));
    Layout layout;
    layout.reserve(count);
    for (qsizetype i = 1; i <= count; ++i) {
        const QString key = (u"0"_s + QString::number(i)).right(2);
        const QString value = ini.value(u"Records"_s, key);
        const QStringList items = SplitText(value, u',');
        if (items.size() < 4) {
            const QString index = u"List index out of bounds (%1)"_s.arg(items.size());
            if (!ini.keys(u"Records"_s).contains(key, Qt::CaseInsensitive))
                throw Error(u"The layout %1 has no key %2 (its keys run from 01 to %3 without a "
                            "gap): %4"_s.arg(QDir::toNativeSeparators(path), key)
                                    .arg(count, 2, 10, QChar(u'0'))
                                    .arg(index));
            throw Error(u"The layout %1, key %2, holds fewer than four items (name, type, start, "
                        "width): %3"_s.arg(QDir::toNativeSeparators(path), key, index));
        }
        FieldDef f;
        f.name = items.at(0);
        const QString &type = items.at(1);
        if (type == u"String"_s)
            f.type = FieldType::String;
        else if (type == u"Number"_s)
            f.type = FieldType::Number;
        else if (type == u"Float"_s)
            f.type = FieldType::Float;
        else if (type == u"Date"_s)
            f.type = FieldType::Date;
        else
            throw Error(u"The layout %1 gives the field %2 the type \"%3\"; the types are String, "
                        "Number, Float and Date"_s.arg(defName, f.name, type));
        f.start = LayoutInt(items.at(2));
        f.width = LayoutInt(items.at(3));
        if (items.size() > 4)
            f.scale = LayoutInt(items.at(4));
        if (items.size() > 5)
            f.decimals = LayoutInt(items.at(5));
        if (f.type == FieldType::Float && f.scale.isValid() && f.scale.value() == 0)
            throw Error(u"The layout %1 gives the field %2 a scale of 0"_s.arg(defName, f.name));
        // Items that are no whole numbers fail where they are used; whole numbers that would
        // make a line longer than any DIF line are refused here, before anything is sized by
        // them.
        const qint64 start = f.start.isValid() ? f.start.value() : 1;
        const qint64 width = f.width.isValid() ? f.width.value() : 0;
        if (start > kMaxLayoutColumn || width > kMaxLayoutColumn
            || std::max<qint64>(start, 1) + width - 1 > kMaxLayoutColumn)
            throw Error(u"The layout %1 gives the field %2 the start column %3 and the width %4; "
                        "a field must end by column %5"_s
                                .arg(defName, f.name, f.start.text(), f.width.text())
                                .arg(kMaxLayoutColumn));
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

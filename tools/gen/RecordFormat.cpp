#include "RecordFormat.h"

#include "Error.h"
#include "Layout.h"
#include "NumberText.h"
#include "Text.h"

#include <QDir>

#include <charconv>
#include <cmath>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace gen {

RecordFormat::RecordFormat(const QString &home, const QString &code)
    : m_code(code)
{
    const QString version = bm::currentVersion(home, code);
    if (version.isEmpty())
        throw bm::Error(u"%1 gives no current version for record type %2"_s.arg(
                QDir::toNativeSeparators(bm::defsFolder(home) + u"DIFVersion.ini"_s), code));
    m_layoutName = bm::layoutName(code, version);
    const bm::Layout layout = bm::readLayout(home, m_layoutName);
    if (layout.isEmpty())
        throw bm::Error(u"The layout %1 is missing or has no fields"_s.arg(
                QDir::toNativeSeparators(bm::defsFolder(home) + m_layoutName)));

    for (const bm::FieldDef &def : layout) {
        Slot s;
        s.start = def.start.value() - 1;
        s.width = def.width.value();
        s.field = int(m_slots.size());
        s.type = def.type;
        // Written as the DIF writer writes it: decimals win over a scale.
        if (s.type == bm::FieldType::Float) {
            if (def.decimals.isGiven())
                s.decimals = def.decimals.value();
            else if (def.scale.isGiven())
                s.scale = def.scale.value();
        }
        if (s.start < 0 || s.width <= 0)
            throw bm::Error(u"The layout %1 gives the field %2 no column range"_s.arg(m_layoutName,
                                                                                      def.name));
        m_length = std::max(m_length, s.start + s.width);
        m_names.append(def.name);
        m_slots.append(s);
    }

    m_blank.assign(std::size_t(m_length), ' ');
    Line line(*this);
    line.text("RecordType", code.toStdString());
    line.number("VersionNo", bm::StrToInt(version));
    m_blank = std::string(line.bytes());
}

const Slot &RecordFormat::slot(const char *name, Kind kind) const
{
    auto it = m_resolved.find(name);
    if (it == m_resolved.end())
        it = m_resolved.emplace(name, find(name, kind)).first;
    return it->second;
}

Slot RecordFormat::find(const char *name, Kind kind) const
{
    const QLatin1StringView wanted(name);
    for (qsizetype i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(wanted, Qt::CaseInsensitive) != 0)
            continue;
        const Slot &s = m_slots.at(i);
        const bool fits = kind == Kind::Text   ? s.type == bm::FieldType::String
                          : kind == Kind::Date ? s.type == bm::FieldType::Date
                                               : (s.type == bm::FieldType::Number
                                                  || s.type == bm::FieldType::Float);
        if (!fits)
            throw bm::Error(u"The layout %1 gives the field %2 a type the generator cannot fill "
                            "with %3"_s.arg(m_layoutName, m_names.at(i),
                                            kind == Kind::Text   ? u"text"_s
                                            : kind == Kind::Date ? u"a date"_s
                                                                 : u"a number"_s));
        return s;
    }
    return Slot();
}

Line::Line(const RecordFormat &format)
    : m_format(&format)
    , m_buffer(format.blankLine())
{}

void Line::text(const char *field, std::string_view value)
{
    const Slot &slot = m_format->slot(field, Kind::Text);
    if (!slot.present())
        return;
    if (value.size() > std::size_t(slot.width))
        tooWide(slot, value);
    m_buffer.replace(std::size_t(slot.start), value.size(), value);
}

void Line::number(const char *field, qint64 value)
{
    number(m_format->slot(field, Kind::Value), value);
}

void Line::value(const char *field, double value)
{
    this->value(m_format->slot(field, Kind::Value), value);
}

void Line::number(const Slot &slot, qint64 value)
{
    if (!slot.present())
        return;
    if (slot.type == bm::FieldType::Float) {
        this->value(slot, double(value));
        return;
    }
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    placeRight(slot, std::string_view(digits, std::size_t(result.ptr - digits)));
}

void Line::value(const Slot &slot, double value)
{
    if (!slot.present())
        return;
    if (slot.type == bm::FieldType::Number) {
        number(slot, std::llround(value));
        return;
    }
    // The DIF writer's number texts, so a generated line reads as a saved one would.
    std::string digits;
    if (slot.decimals >= 0)
        bm::numtext::appendFixed(digits, value, slot.decimals);
    else if (slot.scale != 0)
        bm::numtext::appendFixed(digits, value * double(slot.scale), 0);
    else
        bm::numtext::appendPlain(digits, value);
    placeRight(slot, digits);
}

void Line::date(const char *field, Day day)
{
    const Slot &slot = m_format->slot(field, Kind::Date);
    if (!slot.present())
        return;
    char text[8];
    formatDate(day, text);
    if (slot.width < 8)
        tooWide(slot, std::string_view(text, 8));
    m_buffer.replace(std::size_t(slot.start), 8, text, 8);
}

void Line::placeRight(const Slot &slot, std::string_view digits)
{
    if (digits.size() > std::size_t(slot.width))
        tooWide(slot, digits);
    m_buffer.replace(std::size_t(slot.start + slot.width) - digits.size(), digits.size(), digits);
}

void Line::tooWide(const Slot &slot, std::string_view value) const
{
    throw bm::Error(u"The value \"%1\" does not fit the field %2 (%3 characters) of %4"_s.arg(
            QString::fromLatin1(value.data(), qsizetype(value.size())),
            m_format->fieldName(slot.field), QString::number(slot.width), m_format->layoutName()));
}

} // namespace gen

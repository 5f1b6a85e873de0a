#pragma once

#include "Dates.h"
#include "Layout.h"

#include <QString>
#include <QStringList>

#include <string>
#include <string_view>
#include <unordered_map>

namespace gen {

// What the generator puts into a field. It is checked against the field's type in the layout
// when the field is resolved: text goes into String fields, numbers into Number and Float
// fields, dates into Date fields.
enum class Kind { Text, Value, Date };

// One field of a record layout, resolved for writing.
struct Slot
{
    int start = -1; // 0-based column; -1 when the layout has no such field
    int width = 0;
    bm::FieldType type = bm::FieldType::String;
    qint64 scale = 0;  // Float: implied-decimal scale, 0 when the layout gives none
    int decimals = -1; // Float: decimals written with a decimal point, -1 when not given
    int field = -1;    // index of the field in its layout, for messages
    bool present() const { return start >= 0; }
};

// The current layout of one record type, read from <home>Defs/. The generator knows record
// contents by field name only; columns, widths, types and scales all come from the layout, so
// a changed layout changes the lines written without a change here.
class RecordFormat
{
public:
    // Raises bm::Error when DIFVersion.ini gives no version for `code` or the layout file is
    // missing or empty.
    RecordFormat(const QString &home, const QString &code);

    const QString &code() const { return m_code; }
    const QString &layoutName() const { return m_layoutName; }
    int length() const { return m_length; }
    const QString &fieldName(int field) const { return m_names.at(field); }

    // The field called `name` (a string literal: it is looked up once, then by its address). A
    // field the layout lacks gives an absent slot, and writing to it does nothing. A field whose
    // layout type does not take `kind` raises bm::Error.
    const Slot &slot(const char *name, Kind kind) const;
    // The line every record of this type starts from: blanks, with RecordType and VersionNo.
    const std::string &blankLine() const { return m_blank; }

private:
    Slot find(const char *name, Kind kind) const;

    QString m_code;
    QString m_layoutName;
    QStringList m_names;
    QList<Slot> m_slots;
    mutable std::unordered_map<const char *, Slot> m_resolved;
    int m_length = 0;
    std::string m_blank;
};

// One record being built field by field, the fields named as in the layout: String
// left-aligned and blank-filled, Number and Float right-aligned with a '-' right before the
// first digit, Date as yyyymmdd. Fields not written stay blank (unknown). A value wider than its
// field raises bm::Error naming the layout and the field, so the generator never writes a line
// that cannot be read back.
class Line
{
public:
    explicit Line(const RecordFormat &format);
    void clear() { m_buffer = m_format->blankLine(); }

    void text(const char *field, std::string_view value);
    void number(const char *field, qint64 value);
    // Number: rounded to a whole number. Float: as the DIF writer writes it: with decimals
    // given, that many decimals; else value times the scale as a whole number; with neither, in
    // its shortest plain form (rounding half away from zero on the decimal expansion).
    void value(const char *field, double value);
    void date(const char *field, Day day);

    std::string_view bytes() const { return m_buffer; }

private:
    void number(const Slot &slot, qint64 value);
    void value(const Slot &slot, double value);
    void placeRight(const Slot &slot, std::string_view digits);
    [[noreturn]] void tooWide(const Slot &slot, std::string_view value) const;

    const RecordFormat *m_format;
    std::string m_buffer;
};

} // namespace gen

#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>

namespace bm {

// What a cell of a row read back holds.
enum class ValueType { Null, Integer, Real, Text, Blob };

// What a column holds by its declared type: the one rule for the grid, the writers, the filter
// and the file check.
enum class ColumnKind { Integer, Real, Date, Text, Boolean, Other, Unknown };

// The kind of a column from its declared type (SQLite's or PostgreSQL's names, any case):
// INTEGER, BIGINT -> Integer; REAL, DOUBLE PRECISION, FLOAT -> Real; DATE, DATETIME,
// TIMESTAMP -> Date; TEXT, CITEXT, VARCHAR, CHAR -> Text; BOOLEAN -> Boolean; an expression
// without a declared type -> Unknown; anything else -> Other.
ColumnKind columnKindOf(QByteArrayView declaredType);

// Field type codes, mapped from the kind of a column: the filter builder, the cell text and
// the file check tell columns apart by them.
enum FieldTypeCode : int {
    ftUnknown = 0,     // no declared type
    ftInteger = 3,     // whole numbers
    ftBoolean = 5,     // true or false
    ftFloat = 6,       // real numbers
    ftDateTime = 11,   // dates
    ftWideString = 24, // text
    ftOther = 99,      // any other declared type
};

// The code of a column's kind.
int fieldTypeCode(ColumnKind kind);

// The rows of a query, one at a time: their columns and the value of each. Column numbers count
// from 0. Text is UTF-8 and stays valid until the reader moves to its next row.
class RowReader
{
public:
    virtual ~RowReader() = default;
    // Moves to the next row: false after the last. Raises when the rows cannot be read.
    virtual bool next() = 0;
    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    virtual ColumnKind columnKind(int column) const = 0;
    virtual ValueType type(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    virtual double real(int column) const = 0;
    virtual QByteArrayView text(int column) const = 0;

    bool isNull(int column) const { return type(column) == ValueType::Null; }
    QString string(int column) const { return QString::fromUtf8(text(column)); }
    // The value as Qt holds it: null, qint64, double, QString or QByteArray (a blob).
    QVariant value(int column) const;
};

} // namespace bm

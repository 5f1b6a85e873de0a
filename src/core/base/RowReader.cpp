#include "RowReader.h"

namespace bm {

ColumnKind columnKindOf(QByteArrayView declaredType)
{
    const QByteArray t = declaredType.trimmed().toByteArray().toUpper();
    if (t.isEmpty())
        return ColumnKind::Unknown;
    if (t.contains("BOOL"))
        return ColumnKind::Boolean;
    if (t.contains("DATE") || t.contains("TIME"))
        return ColumnKind::Date;
    if (t.contains("INT"))
        return ColumnKind::Integer;
    if (t.contains("CHAR") || t.contains("CLOB") || t.contains("TEXT"))
        return ColumnKind::Text;
    if (t.contains("REAL") || t.contains("FLOA") || t.contains("DOUB"))
        return ColumnKind::Real;
    return ColumnKind::Other;
}

int fieldTypeCode(ColumnKind kind)
{
    switch (kind) {
    case ColumnKind::Integer:
        return ftInteger;
    case ColumnKind::Real:
        return ftFloat;
    case ColumnKind::Date:
        return ftDateTime;
    case ColumnKind::Text:
        return ftWideString;
    case ColumnKind::Boolean:
        return ftBoolean;
    case ColumnKind::Unknown:
        return ftUnknown;
    case ColumnKind::Other:
        break;
    }
    return ftOther;
}

QVariant RowReader::value(int column) const
{
    switch (type(column)) {
    case ValueType::Null:
        return QVariant();
    case ValueType::Integer:
        return QVariant(integer(column));
    case ValueType::Real:
        return QVariant(real(column));
    case ValueType::Text:
        return QVariant(string(column));
    case ValueType::Blob:
        return QVariant(text(column).toByteArray());
    }
    return QVariant();
}

} // namespace bm

#include "FilterQuery.h"

#include "Error.h"
#include "Tdm.h"

#include <QLocale>
#include <QRegularExpression>

namespace bm {

using namespace Qt::StringLiterals;

int GetFieldType(Tdm &dm, const QString &table, const QString &FieldName)
{
    for (const db::Column &c : dm.connection().columns(table)) {
        if (c.name.compare(FieldName, Qt::CaseInsensitive) == 0)
            return fieldTypeCode(c.kind);
    }
    throw Error(u"Field '%1' not found"_s.arg(FieldName));
}

void titleClick(SortState &sort, const QString &column)
{
    if (sort.column.compare(column, Qt::CaseInsensitive) != 0) {
        sort.column = column;
        sort.direction = SortDirection::Ascending;
        return;
    }
    if (sort.direction == SortDirection::Ascending)
        sort.direction = SortDirection::Descending;
    else if (sort.direction == SortDirection::Descending)
        sort.direction = SortDirection::Ascending;
}

const QStringList &operatorCaptions()
{
    static const QStringList captions = {
            u"Is Equal To"_s,     u"Is Less Than"_s,           u"Is Less Or Equal To"_s,
            u"Is Greater Than"_s, u"Is Greater Or Equal To"_s, u"Is Between"_s,
            u"Is Empty"_s,        u"Is Not Empty"_s,           u"Contains"_s,
    };
    return captions;
}

QString sqlText(const QString &text)
{
    QString q = text;
    q.replace(u'\'', u"''"_s);
    return u'\'' + q + u'\'';
}

namespace {

// The text between the field and the value, blanks included.
QString fragment(int op)
{
    static const char16_t *const fragments[]
            = {u" = ",       u" < ",       u" <= ",          u" > ",   u" >= ",
               u" BETWEEN ", u" Is Null ", u" Is Not Null ", u" LIKE "};
    return QString::fromUtf16(fragments[op]);
}

// A number typed for a number column, as a SQL numeric literal. The user's decimal separator
// is accepted as well as the point; anything that is not a plain number is refused, so only
// digits, a sign, a point and an exponent ever reach the statement.
QString numberLiteral(const QString &typed, const QString &field)
{
    QString t = typed.trimmed();
    const QString point = QLocale().decimalPoint();
    if (point != u"."_s && !t.contains(u'.'))
        t.replace(point, u"."_s);
    static const QRegularExpression number(u"^[+-]?(\\d+(\\.\\d*)?|\\.\\d+)([eE][+-]?\\d+)?$"_s);
    if (!number.match(t).hasMatch())
        throw Error(u"'%1' is not a number, and the field %2 holds numbers"_s.arg(typed, field));
    return t;
}

// The comparison value of one input, or empty text when the input holds no value.
QString literal(int code, const QString &text, const QDate &date, const QString &field)
{
    switch (code) {
    case ftInteger:
    case ftFloat:
        return text.isEmpty() ? QString() : numberLiteral(text, field);
    case ftDateTime:
        return date.isValid() ? SQLDate(date) : QString();
    case ftWideString:
        return text.isEmpty() ? QString() : sqlText(text);
    default:
        return QString();
    }
}

// A LIKE pattern for "contains <text>": the typed characters match only themselves.
QString containsPattern(const QString &text)
{
    QString escaped;
    for (const QChar c : text) {
        if (c == u'%' || c == u'_' || c == u'\\')
            escaped += u'\\';
        escaped += c;
    }
    return sqlText(u'%' + escaped + u'%') + u" ESCAPE '\\'"_s;
}

} // namespace

QString FilterQuery::head() const
{
    return u"SELECT * FROM "_s + Tdm::quoteId(table) + u' ';
}

QString FilterQuery::orderBy() const
{
    if (sortColumn.isEmpty())
        return QString();
    return u"ORDER BY "_s + orderTerm(descending);
}

QString FilterQuery::sortTerm() const
{
    return Tdm::quoteId(sortColumn) + (sortText ? caseless : QString());
}

QString FilterQuery::orderTerm(bool down) const
{
    // Empty cells come first going up and last going down, on every engine (a server would
    // put them the other way round by itself).
    return sortTerm() + (down ? u" DESC NULLS LAST"_s : u" NULLS FIRST"_s);
}

QString FilterQuery::sql() const
{
    return head() + where + orderBy();
}

FilterQuery buildFilterQuery(const FilterState &state, const FieldTypeLookup &fieldType,
                             const QString &caseless)
{
    FilterQuery query;
    query.table = state.table;
    query.caseless = caseless;

    const bool hasField = !state.field.isEmpty();
    QString value;
    bool text = false; // the field holds text: compared without regard to case for every letter
    if (hasField && (state.startTextEnabled || state.startDateEnabled)) {
        const int code = fieldType(state.field);
        text = code == ftWideString;
        // Only an operator that compares with the value writes it, so only then is typed text
        // that is no number refused: "Contains" makes a pattern of its own, and with no
        // operator (say, a title click with old text in the start input) nothing is compared.
        if (state.op >= opEqual && state.op <= opBetween) {
            value = literal(code, state.startText, state.startDate, state.field);
            const bool endEnabled
                    = code == ftDateTime ? state.endDateEnabled : state.endTextEnabled;
            if (endEnabled
                && (code == ftInteger || code == ftFloat || code == ftDateTime
                    || code == ftWideString))
                value += u" and "_s + literal(code, state.endText, state.endDate, state.field);
        }
    }

    if (hasField && state.op >= opEqual && state.op <= opContains) {
        const QString field = Tdm::quoteId(state.field);
        if (state.op <= opBetween)
            query.where = u"WHERE "_s + field + (text ? caseless : QString()) + fragment(state.op)
                          + value + u' ';
        else if (state.op == opContains)
            query.where = u"WHERE "_s + field + fragment(state.op)
                          + containsPattern(state.startText) + u' ';
        else
            query.where = u"WHERE "_s + field + fragment(state.op);
    }

    query.sortColumn = state.sort.column;
    query.descending = state.sort.direction == SortDirection::Descending;
    if (!query.sortColumn.isEmpty()) {
        try {
            query.sortText = fieldType(query.sortColumn) == ftWideString;
        } catch (const Error &) {
            // No such column: the statement says so when it runs.
        }
    }
    return query;
}

QString CreateSQL(const FilterState &state, bool WhereOnly, const FieldTypeLookup &fieldType,
                  const QString &caseless)
{
    const FilterQuery query = buildFilterQuery(state, fieldType, caseless);
    return WhereOnly ? query.where : query.sql();
}

QString checkFilter(const FilterState &state)
{
    const QString incomplete = u"Incomplete Filter."_s;
    if (state.field.isEmpty() || state.op < 0)
        return incomplete;
    if (!state.dateMode) {
        if ((state.startTextEnabled && state.startText.isEmpty())
            || (state.endTextEnabled && state.endText.isEmpty()))
            return incomplete;
        return QString();
    }
    const struct
    {
        bool enabled;
        const QDate &date;
        const QString &text;
    } inputs[] = {{state.startDateEnabled, state.startDate, state.startDateText},
                  {state.endDateEnabled, state.endDate, state.endDateText}};
    for (const auto &input : inputs) {
        if (input.enabled && !input.date.isValid() && input.text.trimmed().isEmpty())
            return incomplete;
    }
    for (const auto &input : inputs) {
        if (input.enabled && !input.date.isValid())
            return u"'%1' is not a date. Type a date like %2."_s.arg(
                    input.text.trimmed(),
                    QLocale().toString(QDate::currentDate(), shortDateFormat()));
    }
    if (state.op == opContains)
        return u"Cannot use the Contains Operator on a Date field."_s;
    return QString();
}

} // namespace bm

#pragma once

#include "RowReader.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

namespace bm {

class Tdm;

// The code of column `FieldName` of `table`. Raises "Field '<name>' not found" when the table
// has no such column, and the database's error when it cannot be read.
int GetFieldType(Tdm &dm, const QString &table, const QString &FieldName);

// The grid's sort state: a column (or none) and a direction. Only descending adds "DESC"; a sort
// column with direction None orders ascending.
enum class SortDirection { None, Descending, Ascending };
struct SortState
{
    QString column;
    SortDirection direction = SortDirection::None;
};

// A click on the title of `column`: another column becomes the sort column, ascending; the sort
// column flips between ascending and descending, while None stays None. Column names are
// compared without regard to case.
void titleClick(SortState &sort, const QString &column);

// The operators of the filter bar, by position.
enum FilterOperator : int {
    opEqual = 0,
    opLess,
    opLessOrEqual,
    opGreater,
    opGreaterOrEqual,
    opBetween,
    opEmpty,
    opNotEmpty,
    opContains,
};
// The nine captions, in position order.
const QStringList &operatorCaptions();

// What the filter bar and the grid hold at the moment a statement is built.
struct FilterState
{
    QString table;         // the current table (caption of the selected tab)
    QString field;         // the filter field; empty when none is selected
    int op = -1;           // FilterOperator position, -1 when none is selected
    bool dateMode = false; // the date inputs are shown instead of the text inputs
    QString startText;     // as typed, not trimmed
    QString endText;
    bool startTextEnabled = true;
    bool endTextEnabled = true;
    QDate startDate; // a null date stands for an empty date input, or one that holds no date
    QDate endDate;
    QString startDateText; // the date inputs' text, as typed
    QString endDateText;
    bool startDateEnabled = true;
    bool endDateEnabled = true;
    SortState sort;
};

// The parts of the browse statement. Identifiers are quoted and values are written as checked
// literals, so nothing typed can change the statement's structure. Text is compared and sorted
// without regard to case for every letter (TextFold.h): `caseless` is the engine's term for it
// (db::Connection::caseless()); "Contains" goes through LIKE, which the engines fold alike.
struct FilterQuery
{
    QString table;
    QString where;      // "WHERE ... " (ends with a blank) or empty
    QString sortColumn; // empty when unsorted
    bool descending = false;
    bool sortText = false; // the sort column holds text, sorted without regard to case
    QString caseless;      // follows a text operand compared or sorted without regard to case

    QString head() const;    // SELECT * FROM "<table>" (and a blank)
    QString orderBy() const; // ORDER BY <orderTerm(descending)>, or empty
    // The sort column as an ORDER BY term: "<column>", with the collation that folds every
    // letter when it holds text.
    QString sortTerm() const;
    // sortTerm() going up or down, with its empty cells first going up and last going down.
    QString orderTerm(bool down) const;
    // The whole statement: head, WHERE clause and ORDER BY clause.
    QString sql() const;
};

using FieldTypeLookup = std::function<int(const QString &fieldName)>;

// Builds the browse statement from the filter bar. The field's type is asked of `fieldType`
// only when a value may be needed (a filter field and an enabled start input). A value that an
// operator compares with and that is not a number for a number column raises an error naming
// the value and the field; text that no comparison uses ("Contains", no operator) is never
// refused. An empty value leaves the comparison without a value, which the database refuses.
// `caseless` is the engine's db::Connection::caseless().
FilterQuery buildFilterQuery(const FilterState &state, const FieldTypeLookup &fieldType,
                             const QString &caseless);

// The whole statement, or with `WhereOnly` only its WHERE clause (empty without a filter).
QString CreateSQL(const FilterState &state, bool WhereOnly, const FieldTypeLookup &fieldType,
                  const QString &caseless);

// The Apply button's checks in their order: the first failing check's message, or empty text
// when the filter bar is complete. A date input that holds text which is no date is named in a
// message of its own, with an example of a date typed the way the grid shows it.
QString checkFilter(const FilterState &state);

// A SQL text literal: single quotes, inner quotes doubled.
QString sqlText(const QString &text);

} // namespace bm

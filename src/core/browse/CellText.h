#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>

namespace bm {

// The text of a grid cell: what the grid shows, what an editor starts from, and the value a
// typed text stands for. Columns are told apart by their field type code (RowReader.h); stored
// values are never changed by the display: Date columns show in the locale's short date form and
// are stored as ISO text, and number columns with display decimals show fixed decimals.
namespace celltext {

// The text shown for `value` in a column of type `code`; `decimals` >= 0 shows a number with
// that many fixed decimals, rounded as the writers round (numtext::fixed).
QString display(int code, const QVariant &value, int decimals = -1);
// The text an editor starts from: numbers in full, in the locale's form without group
// separators; dates in the locale's short date form.
QString edit(int code, const QVariant &value);
// The date `text` stands for, typed as people type dates: in the short date form the grid shows
// ("19 Nov 2010" under the C locale), or as day, month and year in the order of the locale's
// short date form with any of "/", ".", "-", "," or blanks between them (19/11/2010 under a
// day-first locale, 11/19/2010 under a month-first one), the month as a number or as a name
// (the locale's or English, long or short), the year in four digits or two (two digits fall in
// the hundred years ending 20 years from now); or as ISO 8601, 2010-11-19. A null date when the
// text is no such date or its year lies outside 1 to 9999.
QDate parseDate(const QString &text, const QLocale &locale = QLocale());

// The value `text` typed into column `field` of type `code` stands for, or an error message in
// `error`. Blank text in a number or date column, and empty text in a text column, is Null.
QVariant parse(int code, const QString &field, const QString &text, QString *error);

} // namespace celltext

} // namespace bm

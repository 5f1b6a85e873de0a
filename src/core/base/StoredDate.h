#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QLocale>
#include <QString>

namespace bm {

// Dates as the herd database holds them: ISO text "YYYY-MM-DD" with a four-digit year. The one
// home for turning stored dates into dates and back, for the importer, the writers, the grid
// and the filter.

// "0999-01-31"; empty for an invalid date.
QByteArray storedDate(const QDate &date);
// The date of stored text: blanks before it are skipped, a time after it (after a blank or "T")
// is not read; invalid unless it is a real date in that form. Parsed digit by digit: bulk
// readers call it for every row.
QDate dateFromStored(QByteArrayView text);
// The locale's short date form with the year always in four digits, so a date shown, typed or
// written to a file is never ambiguous about its century.
QString shortDateFormat(const QLocale &locale = QLocale());

} // namespace bm

#pragma once

#include <QByteArrayView>
#include <QDate>

namespace bm {

// The date a Date column holds: ISO text "yyyy-mm-dd" (blanks around it, and anything after the
// tenth character, such as a time, are not read). An invalid date when the text holds no date
// that can be. Parsed digit by digit: bulk readers call it for every row.
QDate storedDate(QByteArrayView iso);

} // namespace bm

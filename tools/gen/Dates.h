#pragma once

namespace gen {

// A calendar date as a day number (days since 1970-01-01), so that intervals are plain
// subtraction. Conversions use the proleptic Gregorian calendar.
using Day = int;

Day dayFromCivil(int year, int month, int day);
void civilFromDay(Day d, int &year, int &month, int &day);
int yearOf(Day d);
// Whole months from `from` to `to` (age at calving).
int monthsBetween(Day from, Day to);
// Writes the 8 characters yyyymmdd.
void formatDate(Day d, char *out);

} // namespace gen

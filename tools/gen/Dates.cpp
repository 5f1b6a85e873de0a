#include "Dates.h"

namespace gen {

// Day-number conversions after the well-known era-based algorithm: 400-year eras of 146097
// days, years counted from March so that the leap day falls at the end of a year.
Day dayFromCivil(int year, int month, int day)
{
    year -= month <= 2;
    const int era = (year >= 0 ? year : year - 399) / 400;
    const int yoe = year - era * 400;
    const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDay(Day d, int &year, int &month, int &day)
{
    const int z = d + 719468;
    const int era = (z >= 0 ? z : z - 146096) / 146097;
    const int doe = z - era * 146097;
    const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = yoe + era * 400 + (month <= 2);
}

int yearOf(Day d)
{
    int y, m, dd;
    civilFromDay(d, y, m, dd);
    return y;
}

int monthsBetween(Day from, Day to)
{
    int y1, m1, d1, y2, m2, d2;
    civilFromDay(from, y1, m1, d1);
    civilFromDay(to, y2, m2, d2);
    return (y2 - y1) * 12 + (m2 - m1) - (d2 < d1 ? 1 : 0);
}

void formatDate(Day d, char *out)
{
    int y, m, dd;
    civilFromDay(d, y, m, dd);
    const int parts[3] = {y, m, dd};
    const int widths[3] = {4, 2, 2};
    int pos = 0;
    for (int i = 0; i < 3; ++i) {
        int v = parts[i];
        for (int k = widths[i] - 1; k >= 0; --k) {
            out[pos + k] = char('0' + v % 10);
            v /= 10;
        }
        pos += widths[i];
    }
}

} // namespace gen

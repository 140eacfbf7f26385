// The calendar against an independent table, the time stamp of a DateTime, calendar arithmetic,
// the ISO 8601 reader, and the date built-ins as scripts call them.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "builtin_harness.h"
#include "stdlib/datetime.h"

using namespace qel;

namespace {

// Generated with Python's datetime and calendar modules (not with this runtime):
//   serial = date.toordinal() - date(1899, 12, 30).toordinal(); dow = isoweekday() % 7 (0 Sunday);
//   mdays = calendar.monthrange(y, m)[1]; the IncMonth result adds n months with divmod over
//   y * 12 + m - 1 + n and cuts the day to the new month's length; 0 0 0 outside years 1 .. 9999.
// Dates: the first and last day of January, February, March and December of years around the
// 4/100/400 rules and the ends of the range, day 0 and its neighbours, and random dates (seed 1899).
struct CalendarRow {
    int y, m, d;
    int32_t serial;
    int dow, mdays;
    int n, iy, im, id;
};

const CalendarRow kCalendar[] = {
    {1, 1, 1, -693593, 1, 31, 1, 1, 2, 1},
    {1, 1, 31, -693563, 3, 31, -1, 0, 0, 0},
    {1, 2, 1, -693562, 4, 28, 12, 2, 2, 1},
    {1, 2, 28, -693535, 3, 28, -13, 0, 0, 0},
    {1, 3, 1, -693534, 4, 31, 25, 3, 4, 1},
    {1, 3, 31, -693504, 6, 31, 0, 1, 3, 31},
    {1, 12, 1, -693259, 6, 31, 7, 2, 7, 1},
    {1, 12, 31, -693229, 1, 31, -30, 0, 0, 0},
    {2, 1, 1, -693228, 2, 31, 1199, 101, 12, 1},
    {2, 1, 31, -693198, 4, 31, -2400, 0, 0, 0},
    {2, 2, 1, -693197, 5, 28, 11, 3, 1, 1},
    {2, 2, 28, -693170, 4, 28, -11, 1, 3, 28},
    {2, 3, 1, -693169, 5, 31, 1, 2, 4, 1},
    {2, 3, 31, -693139, 0, 31, -1, 2, 2, 28},
    {2, 12, 1, -692894, 0, 31, 12, 3, 12, 1},
    {2, 12, 31, -692864, 2, 31, -13, 1, 11, 30},
    {3, 1, 1, -692863, 3, 31, 25, 5, 2, 1},
    {3, 1, 31, -692833, 5, 31, 0, 3, 1, 31},
    {3, 2, 1, -692832, 6, 28, 7, 3, 9, 1},
    {3, 2, 28, -692805, 5, 28, -30, 0, 0, 0},
    {3, 3, 1, -692804, 6, 31, 1199, 103, 2, 1},
    {3, 3, 31, -692774, 1, 31, -2400, 0, 0, 0},
    {3, 12, 1, -692529, 1, 31, 11, 4, 11, 1},
    {3, 12, 31, -692499, 3, 31, -11, 3, 1, 31},
    {4, 1, 1, -692498, 4, 31, 1, 4, 2, 1},
    {4, 1, 31, -692468, 6, 31, -1, 3, 12, 31},
    {4, 2, 1, -692467, 0, 29, 12, 5, 2, 1},
    {4, 2, 29, -692439, 0, 29, -13, 3, 1, 29},
    {4, 3, 1, -692438, 1, 31, 25, 6, 4, 1},
    {4, 3, 31, -692408, 3, 31, 0, 4, 3, 31},
    {4, 12, 1, -692163, 3, 31, 7, 5, 7, 1},
    {4, 12, 31, -692133, 5, 31, -30, 2, 6, 30},
    {31, 2, 9, -682597, 0, 28, 1199, 131, 1, 9},
    {99, 1, 1, -657799, 4, 31, -2400, 0, 0, 0},
    {99, 1, 31, -657769, 6, 31, 11, 99, 12, 31},
    {99, 2, 1, -657768, 0, 28, -11, 98, 3, 1},
    {99, 2, 28, -657741, 6, 28, 1, 99, 3, 28},
    {99, 3, 1, -657740, 0, 31, -1, 99, 2, 1},
    {99, 3, 31, -657710, 2, 31, 12, 100, 3, 31},
    {99, 12, 1, -657465, 2, 31, -13, 98, 11, 1},
    {99, 12, 31, -657435, 4, 31, 25, 102, 1, 31},
    {100, 1, 1, -657434, 5, 31, 0, 100, 1, 1},
    {100, 1, 31, -657404, 0, 31, 7, 100, 8, 31},
    {100, 2, 1, -657403, 1, 28, -30, 97, 8, 1},
    {100, 2, 28, -657376, 0, 28, 1199, 200, 1, 28},
    {100, 3, 1, -657375, 1, 31, -2400, 0, 0, 0},
    {100, 3, 31, -657345, 3, 31, 11, 101, 2, 28},
    {100, 12, 1, -657100, 3, 31, -11, 100, 1, 1},
    {100, 12, 31, -657070, 5, 31, 1, 101, 1, 31},
    {101, 1, 1, -657069, 6, 31, -1, 100, 12, 1},
    {101, 1, 31, -657039, 1, 31, 12, 102, 1, 31},
    {101, 2, 1, -657038, 2, 28, -13, 100, 1, 1},
    {101, 2, 28, -657011, 1, 28, 25, 103, 3, 28},
    {101, 3, 1, -657010, 2, 31, 0, 101, 3, 1},
    {101, 3, 31, -656980, 4, 31, 7, 101, 10, 31},
    {101, 12, 1, -656735, 4, 31, -30, 99, 6, 1},
    {101, 12, 31, -656705, 6, 31, 1199, 201, 11, 30},
    {248, 10, 9, -603097, 1, 31, -2400, 48, 10, 9},
    {399, 1, 1, -548227, 5, 31, 11, 399, 12, 1},
    {399, 1, 31, -548197, 0, 31, -11, 398, 2, 28},
    {399, 2, 1, -548196, 1, 28, 1, 399, 3, 1},
    {399, 2, 28, -548169, 0, 28, -1, 399, 1, 28},
    {399, 3, 1, -548168, 1, 31, 12, 400, 3, 1},
    {399, 3, 31, -548138, 3, 31, -13, 398, 2, 28},
    {399, 12, 1, -547893, 3, 31, 25, 402, 1, 1},
    {399, 12, 31, -547863, 5, 31, 0, 399, 12, 31},
    {400, 1, 1, -547862, 6, 31, 7, 400, 8, 1},
    {400, 1, 31, -547832, 1, 31, -30, 397, 7, 31},
    {400, 2, 1, -547831, 2, 29, 1199, 500, 1, 1},
    {400, 2, 29, -547803, 2, 29, -2400, 200, 2, 28},
    {400, 3, 1, -547802, 3, 31, 11, 401, 2, 1},
    {400, 3, 31, -547772, 5, 31, -11, 399, 4, 30},
    {400, 12, 1, -547527, 5, 31, 1, 401, 1, 1},
    {400, 12, 31, -547497, 0, 31, -1, 400, 11, 30},
    {401, 1, 1, -547496, 1, 31, 12, 402, 1, 1},
    {401, 1, 31, -547466, 3, 31, -13, 399, 12, 31},
    {401, 2, 1, -547465, 4, 28, 25, 403, 3, 1},
    {401, 2, 28, -547438, 3, 28, 0, 401, 2, 28},
    {401, 3, 1, -547437, 4, 31, 7, 401, 10, 1},
    {401, 3, 31, -547407, 6, 31, -30, 398, 9, 30},
    {401, 12, 1, -547162, 6, 31, 1199, 501, 11, 1},
    {401, 12, 31, -547132, 1, 31, -2400, 201, 12, 31},
    {530, 6, 18, -500212, 0, 30, 11, 531, 5, 18},
    {569, 10, 27, -485836, 5, 31, -11, 568, 11, 27},
    {607, 5, 13, -472125, 3, 31, 1, 607, 6, 13},
    {951, 7, 7, -346426, 3, 31, -1, 951, 6, 7},
    {1435, 5, 11, -169706, 1, 31, 12, 1436, 5, 11},
    {1600, 1, 1, -109571, 6, 31, -13, 1598, 12, 1},
    {1600, 1, 31, -109541, 1, 31, 25, 1602, 2, 28},
    {1600, 2, 1, -109540, 2, 29, 0, 1600, 2, 1},
    {1600, 2, 29, -109512, 2, 29, 7, 1600, 9, 29},
    {1600, 3, 1, -109511, 3, 31, -30, 1597, 9, 1},
    {1600, 3, 31, -109481, 5, 31, 1199, 1700, 2, 28},
    {1600, 12, 1, -109236, 5, 31, -2400, 1400, 12, 1},
    {1600, 12, 31, -109206, 0, 31, 11, 1601, 11, 30},
    {1625, 12, 28, -100078, 0, 31, -11, 1625, 1, 28},
    {1651, 12, 9, -90601, 6, 31, 1, 1652, 1, 9},
    {1700, 1, 1, -73046, 5, 31, -1, 1699, 12, 1},
    {1700, 1, 31, -73016, 0, 31, 12, 1701, 1, 31},
    {1700, 2, 1, -73015, 1, 28, -13, 1699, 1, 1},
    {1700, 2, 28, -72988, 0, 28, 25, 1702, 3, 28},
    {1700, 3, 1, -72987, 1, 31, 0, 1700, 3, 1},
    {1700, 3, 31, -72957, 3, 31, 7, 1700, 10, 31},
    {1700, 12, 1, -72712, 3, 31, -30, 1698, 6, 1},
    {1700, 12, 31, -72682, 5, 31, 1199, 1800, 11, 30},
    {1752, 1, 1, -54054, 6, 31, -2400, 1552, 1, 1},
    {1752, 1, 31, -54024, 1, 31, 11, 1752, 12, 31},
    {1752, 2, 1, -54023, 2, 29, -11, 1751, 3, 1},
    {1752, 2, 29, -53995, 2, 29, 1, 1752, 3, 29},
    {1752, 3, 1, -53994, 3, 31, -1, 1752, 2, 1},
    {1752, 3, 31, -53964, 5, 31, 12, 1753, 3, 31},
    {1752, 12, 1, -53719, 5, 31, -13, 1751, 11, 1},
    {1752, 12, 31, -53689, 0, 31, 25, 1755, 1, 31},
    {1800, 1, 1, -36522, 3, 31, 0, 1800, 1, 1},
    {1800, 1, 31, -36492, 5, 31, 7, 1800, 8, 31},
    {1800, 2, 1, -36491, 6, 28, -30, 1797, 8, 1},
    {1800, 2, 28, -36464, 5, 28, 1199, 1900, 1, 28},
    {1800, 3, 1, -36463, 6, 31, -2400, 1600, 3, 1},
    {1800, 3, 31, -36433, 1, 31, 11, 1801, 2, 28},
    {1800, 12, 1, -36188, 1, 31, -11, 1800, 1, 1},
    {1800, 12, 31, -36158, 3, 31, 1, 1801, 1, 31},
    {1851, 2, 20, -17845, 4, 28, -1, 1851, 1, 20},
    {1852, 9, 25, -17262, 6, 30, 12, 1853, 9, 25},
    {1863, 7, 9, -13323, 4, 31, -13, 1862, 6, 9},
    {1866, 3, 29, -12329, 4, 31, 25, 1868, 4, 29},
    {1867, 3, 2, -11991, 6, 31, 0, 1867, 3, 2},
    {1879, 8, 5, -7452, 2, 31, 7, 1880, 3, 5},
    {1884, 12, 23, -5485, 2, 31, -30, 1882, 6, 23},
    {1891, 5, 22, -3144, 5, 31, 1199, 1991, 4, 22},
    {1891, 8, 19, -3055, 3, 31, -2400, 1691, 8, 19},
    {1897, 12, 21, -739, 2, 31, 11, 1898, 11, 21},
    {1899, 1, 1, -363, 0, 31, -11, 1898, 2, 1},
    {1899, 1, 31, -333, 2, 31, 1, 1899, 2, 28},
    {1899, 2, 1, -332, 3, 28, -1, 1899, 1, 1},
    {1899, 2, 28, -305, 2, 28, 12, 1900, 2, 28},
    {1899, 3, 1, -304, 3, 31, -13, 1898, 2, 1},
    {1899, 3, 31, -274, 5, 31, 25, 1901, 4, 30},
    {1899, 12, 1, -29, 5, 31, 0, 1899, 12, 1},
    {1899, 12, 29, -1, 5, 31, 7, 1900, 7, 29},
    {1899, 12, 30, 0, 6, 31, -30, 1897, 6, 30},
    {1899, 12, 31, 1, 0, 31, 1199, 1999, 11, 30},
    {1900, 1, 1, 2, 1, 31, -2400, 1700, 1, 1},
    {1900, 1, 31, 32, 3, 31, 11, 1900, 12, 31},
    {1900, 2, 1, 33, 4, 28, -11, 1899, 3, 1},
    {1900, 2, 28, 60, 3, 28, 1, 1900, 3, 28},
    {1900, 3, 1, 61, 4, 31, -1, 1900, 2, 1},
    {1900, 3, 31, 91, 6, 31, 12, 1901, 3, 31},
    {1900, 4, 20, 111, 5, 30, -13, 1899, 3, 20},
    {1900, 7, 10, 192, 2, 31, 25, 1902, 8, 10},
    {1900, 12, 1, 336, 6, 31, 0, 1900, 12, 1},
    {1900, 12, 31, 366, 1, 31, 7, 1901, 7, 31},
    {1902, 9, 17, 991, 3, 30, -30, 1900, 3, 17},
    {1903, 10, 11, 1380, 0, 31, 1199, 2003, 9, 11},
    {1904, 1, 1, 1462, 5, 31, -2400, 1704, 1, 1},
    {1904, 1, 31, 1492, 0, 31, 11, 1904, 12, 31},
    {1904, 2, 1, 1493, 1, 29, -11, 1903, 3, 1},
    {1904, 2, 29, 1521, 1, 29, 1, 1904, 3, 29},
    {1904, 3, 1, 1522, 2, 31, -1, 1904, 2, 1},
    {1904, 3, 31, 1552, 4, 31, 12, 1905, 3, 31},
    {1904, 12, 1, 1797, 4, 31, -13, 1903, 11, 1},
    {1904, 12, 31, 1827, 6, 31, 25, 1907, 1, 31},
    {1909, 12, 30, 3652, 4, 31, 0, 1909, 12, 30},
    {1910, 5, 22, 3795, 0, 31, 7, 1910, 12, 22},
    {1917, 2, 26, 6267, 1, 28, -30, 1914, 8, 26},
    {1919, 8, 24, 7176, 0, 31, 1199, 2019, 7, 24},
    {1928, 11, 27, 10559, 2, 30, -2400, 1728, 11, 27},
    {1933, 9, 9, 12306, 6, 30, 11, 1934, 8, 9},
    {1935, 1, 30, 12814, 3, 31, -11, 1934, 2, 28},
    {1947, 11, 10, 17481, 1, 30, 1, 1947, 12, 10},
    {1950, 4, 6, 18359, 4, 30, -1, 1950, 3, 6},
    {1953, 2, 13, 19403, 5, 28, 12, 1954, 2, 13},
    {1964, 3, 29, 23465, 0, 31, -13, 1963, 2, 28},
    {1970, 1, 1, 25569, 4, 31, 25, 1972, 2, 1},
    {1970, 1, 31, 25599, 6, 31, 0, 1970, 1, 31},
    {1970, 2, 1, 25600, 0, 28, 7, 1970, 9, 1},
    {1970, 2, 28, 25627, 6, 28, -30, 1967, 8, 28},
    {1970, 3, 1, 25628, 0, 31, 1199, 2070, 2, 1},
    {1970, 3, 31, 25658, 2, 31, -2400, 1770, 3, 31},
    {1970, 12, 1, 25903, 2, 31, 11, 1971, 11, 1},
    {1970, 12, 31, 25933, 4, 31, -11, 1970, 1, 31},
    {1977, 6, 5, 28281, 0, 30, 1, 1977, 7, 5},
    {1981, 11, 16, 29906, 1, 30, -1, 1981, 10, 16},
    {1983, 3, 13, 30388, 0, 31, 12, 1984, 3, 13},
    {1984, 10, 26, 30981, 5, 31, -13, 1983, 9, 26},
    {1991, 3, 25, 33322, 1, 31, 25, 1993, 4, 25},
    {1998, 11, 13, 36112, 5, 30, 0, 1998, 11, 13},
    {1999, 1, 1, 36161, 5, 31, 7, 1999, 8, 1},
    {1999, 1, 31, 36191, 0, 31, -30, 1996, 7, 31},
    {1999, 2, 1, 36192, 1, 28, 1199, 2099, 1, 1},
    {1999, 2, 28, 36219, 0, 28, -2400, 1799, 2, 28},
    {1999, 3, 1, 36220, 1, 31, 11, 2000, 2, 1},
    {1999, 3, 31, 36250, 3, 31, -11, 1998, 4, 30},
    {1999, 12, 1, 36495, 3, 31, 1, 2000, 1, 1},
    {1999, 12, 31, 36525, 5, 31, -1, 1999, 11, 30},
    {2000, 1, 1, 36526, 6, 31, 12, 2001, 1, 1},
    {2000, 1, 31, 36556, 1, 31, -13, 1998, 12, 31},
    {2000, 2, 1, 36557, 2, 29, 25, 2002, 3, 1},
    {2000, 2, 29, 36585, 2, 29, 0, 2000, 2, 29},
    {2000, 3, 1, 36586, 3, 31, 7, 2000, 10, 1},
    {2000, 3, 31, 36616, 5, 31, -30, 1997, 9, 30},
    {2000, 12, 1, 36861, 5, 31, 1199, 2100, 11, 1},
    {2000, 12, 31, 36891, 0, 31, -2400, 1800, 12, 31},
    {2001, 1, 1, 36892, 1, 31, 11, 2001, 12, 1},
    {2001, 1, 31, 36922, 3, 31, -11, 2000, 2, 29},
    {2001, 2, 1, 36923, 4, 28, 1, 2001, 3, 1},
    {2001, 2, 28, 36950, 3, 28, -1, 2001, 1, 28},
    {2001, 3, 1, 36951, 4, 31, 12, 2002, 3, 1},
    {2001, 3, 31, 36981, 6, 31, -13, 2000, 2, 29},
    {2001, 7, 7, 37079, 6, 31, 25, 2003, 8, 7},
    {2001, 12, 1, 37226, 6, 31, 0, 2001, 12, 1},
    {2001, 12, 31, 37256, 1, 31, 7, 2002, 7, 31},
    {2004, 1, 1, 37987, 4, 31, -30, 2001, 7, 1},
    {2004, 1, 31, 38017, 6, 31, 1199, 2103, 12, 31},
    {2004, 2, 1, 38018, 0, 29, -2400, 1804, 2, 1},
    {2004, 2, 29, 38046, 0, 29, 11, 2005, 1, 29},
    {2004, 3, 1, 38047, 1, 31, -11, 2003, 4, 1},
    {2004, 3, 31, 38077, 3, 31, 1, 2004, 4, 30},
    {2004, 12, 1, 38322, 3, 31, -1, 2004, 11, 1},
    {2004, 12, 31, 38352, 5, 31, 12, 2005, 12, 31},
    {2005, 10, 23, 38648, 0, 31, -13, 2004, 9, 23},
    {2019, 9, 18, 43726, 3, 30, 25, 2021, 10, 18},
    {2023, 1, 1, 44927, 0, 31, 0, 2023, 1, 1},
    {2023, 1, 31, 44957, 2, 31, 7, 2023, 8, 31},
    {2023, 2, 1, 44958, 3, 28, -30, 2020, 8, 1},
    {2023, 2, 28, 44985, 2, 28, 1199, 2123, 1, 28},
    {2023, 3, 1, 44986, 3, 31, -2400, 1823, 3, 1},
    {2023, 3, 31, 45016, 5, 31, 11, 2024, 2, 29},
    {2023, 12, 1, 45261, 5, 31, -11, 2023, 1, 1},
    {2023, 12, 31, 45291, 0, 31, 1, 2024, 1, 31},
    {2024, 1, 1, 45292, 1, 31, -1, 2023, 12, 1},
    {2024, 1, 31, 45322, 3, 31, 12, 2025, 1, 31},
    {2024, 2, 1, 45323, 4, 29, -13, 2023, 1, 1},
    {2024, 2, 29, 45351, 4, 29, 25, 2026, 3, 29},
    {2024, 3, 1, 45352, 5, 31, 0, 2024, 3, 1},
    {2024, 3, 31, 45382, 0, 31, 7, 2024, 10, 31},
    {2024, 7, 28, 45501, 0, 31, -30, 2022, 1, 28},
    {2024, 12, 1, 45627, 0, 31, 1199, 2124, 11, 1},
    {2024, 12, 31, 45657, 2, 31, -2400, 1824, 12, 31},
    {2025, 8, 31, 45900, 0, 31, 11, 2026, 7, 31},
    {2027, 2, 23, 46441, 2, 28, -11, 2026, 3, 23},
    {2042, 10, 13, 52152, 1, 31, 1, 2042, 11, 13},
    {2043, 6, 22, 52404, 1, 30, -1, 2043, 5, 22},
    {2046, 10, 26, 53626, 5, 31, 12, 2047, 10, 26},
    {2049, 3, 18, 54500, 4, 31, -13, 2048, 2, 18},
    {2050, 9, 8, 55039, 4, 30, 25, 2052, 10, 8},
    {2068, 4, 10, 61463, 2, 30, 0, 2068, 4, 10},
    {2078, 10, 30, 65318, 0, 31, 7, 2079, 5, 30},
    {2079, 5, 2, 65502, 2, 31, -30, 2076, 11, 2},
    {2080, 1, 11, 65756, 4, 31, 1199, 2179, 12, 11},
    {2086, 1, 10, 67947, 4, 31, -2400, 1886, 1, 10},
    {2094, 6, 28, 71038, 1, 30, 11, 2095, 5, 28},
    {2100, 1, 1, 73051, 5, 31, -11, 2099, 2, 1},
    {2100, 1, 31, 73081, 0, 31, 1, 2100, 2, 28},
    {2100, 2, 1, 73082, 1, 28, -1, 2100, 1, 1},
    {2100, 2, 28, 73109, 0, 28, 12, 2101, 2, 28},
    {2100, 3, 1, 73110, 1, 31, -13, 2099, 2, 1},
    {2100, 3, 31, 73140, 3, 31, 25, 2102, 4, 30},
    {2100, 12, 1, 73385, 3, 31, 0, 2100, 12, 1},
    {2100, 12, 31, 73415, 5, 31, 7, 2101, 7, 31},
    {2101, 12, 5, 73754, 1, 31, -30, 2099, 6, 5},
    {2106, 2, 16, 75288, 2, 28, 1199, 2206, 1, 16},
    {2111, 2, 16, 77114, 1, 28, -2400, 1911, 2, 16},
    {2113, 12, 14, 78146, 4, 31, 11, 2114, 11, 14},
    {2124, 12, 1, 82151, 5, 31, -11, 2124, 1, 1},
    {2129, 4, 11, 83743, 1, 30, 1, 2129, 5, 11},
    {2130, 8, 11, 84230, 5, 31, -1, 2130, 7, 11},
    {2132, 3, 17, 84814, 1, 31, 12, 2133, 3, 17},
    {2132, 4, 1, 84829, 2, 30, -13, 2131, 3, 1},
    {2134, 9, 4, 85715, 6, 30, 25, 2136, 10, 4},
    {2400, 1, 1, 182623, 6, 31, 0, 2400, 1, 1},
    {2400, 1, 31, 182653, 1, 31, 7, 2400, 8, 31},
    {2400, 2, 1, 182654, 2, 29, -30, 2397, 8, 1},
    {2400, 2, 29, 182682, 2, 29, 1199, 2500, 1, 29},
    {2400, 3, 1, 182683, 3, 31, -2400, 2200, 3, 1},
    {2400, 3, 31, 182713, 5, 31, 11, 2401, 2, 28},
    {2400, 12, 1, 182958, 5, 31, -11, 2400, 1, 1},
    {2400, 12, 31, 182988, 0, 31, 1, 2401, 1, 31},
    {2444, 5, 3, 198817, 2, 31, -1, 2444, 4, 3},
    {2490, 10, 8, 215776, 0, 31, 12, 2491, 10, 8},
    {2974, 6, 25, 392448, 6, 30, -13, 2973, 5, 25},
    {2983, 5, 18, 395697, 0, 31, 25, 2985, 6, 18},
    {3115, 4, 30, 443890, 5, 30, 0, 3115, 4, 30},
    {3564, 2, 16, 607811, 0, 29, 7, 3564, 9, 16},
    {3619, 3, 6, 627918, 3, 31, -30, 3616, 9, 6},
    {3651, 12, 27, 639902, 3, 31, 1199, 3751, 11, 27},
    {3715, 11, 11, 663231, 1, 30, -2400, 3515, 11, 11},
    {4687, 1, 4, 1017936, 2, 31, 11, 4687, 12, 4},
    {4737, 9, 7, 1036444, 2, 30, -11, 4736, 10, 7},
    {4857, 4, 19, 1080133, 4, 30, 1, 4857, 5, 19},
    {5012, 7, 7, 1136824, 2, 31, -1, 5012, 6, 7},
    {5076, 11, 29, 1160345, 3, 30, 12, 5077, 11, 29},
    {5535, 8, 25, 1327894, 0, 31, -13, 5534, 7, 25},
    {5765, 2, 9, 1411704, 6, 28, 25, 5767, 3, 9},
    {5890, 11, 4, 1457627, 2, 30, 0, 5890, 11, 4},
    {5916, 3, 15, 1466889, 3, 31, 7, 5916, 10, 15},
    {6360, 11, 16, 1629303, 3, 30, -30, 6358, 5, 16},
    {6426, 3, 5, 1653153, 4, 31, 1199, 6526, 2, 5},
    {6498, 7, 7, 1679575, 1, 31, -2400, 6298, 7, 7},
    {6770, 3, 31, 1778822, 2, 31, 11, 6771, 2, 28},
    {7165, 3, 8, 1923070, 1, 31, -11, 7164, 4, 8},
    {7522, 4, 13, 2053497, 4, 30, 1, 7522, 5, 13},
    {7628, 11, 4, 2092419, 6, 30, -1, 7628, 10, 4},
    {7808, 11, 7, 2158165, 1, 30, 12, 7809, 11, 7},
    {7915, 12, 9, 2197277, 4, 31, -13, 7914, 11, 9},
    {8183, 1, 15, 2294835, 3, 31, 25, 8185, 2, 15},
    {8909, 2, 16, 2560033, 6, 28, 0, 8909, 2, 16},
    {9168, 8, 19, 2654815, 1, 31, 7, 9169, 3, 19},
    {9275, 4, 5, 2693760, 5, 30, -30, 9272, 10, 5},
    {9394, 2, 23, 2737183, 0, 28, 1199, 9494, 1, 23},
    {9454, 10, 30, 2759346, 1, 31, -2400, 9254, 10, 30},
    {9519, 5, 17, 2782920, 6, 31, 11, 9520, 4, 17},
    {9675, 6, 27, 2839940, 4, 30, -11, 9674, 7, 27},
    {9999, 1, 1, 2958101, 5, 31, 1, 9999, 2, 1},
    {9999, 1, 31, 2958131, 0, 31, -1, 9998, 12, 31},
    {9999, 2, 1, 2958132, 1, 28, 12, 0, 0, 0},
    {9999, 2, 28, 2958159, 0, 28, -13, 9998, 1, 28},
    {9999, 3, 1, 2958160, 1, 31, 25, 0, 0, 0},
    {9999, 3, 31, 2958190, 3, 31, 0, 9999, 3, 31},
    {9999, 12, 1, 2958435, 3, 31, 7, 0, 0, 0},
    {9999, 12, 31, 2958465, 5, 31, -30, 9997, 6, 30},
};

TEST(DateCalendar, MatchesIndependentTable) {
    for (const CalendarRow& r : kCalendar) {
        SCOPED_TRACE(testing::Message() << r.y << "-" << r.m << "-" << r.d);
        EXPECT_EQ(encode_date(r.y, r.m, r.d), r.serial);
        EXPECT_EQ(days_in_month(r.y, r.m), r.mdays);
        EXPECT_EQ(to_timestamp(r.serial).date, r.serial + kDateDelta);
        // Any time of the day decodes to the same date.
        for (double t : {0.0, 0.25, 0.9999}) {
            DateParts p = decode_date(r.serial + t);
            EXPECT_EQ(p.year, r.y);
            EXPECT_EQ(p.month, r.m);
            EXPECT_EQ(p.day, r.d);
            EXPECT_EQ(p.day_of_week, r.dow + 1);
            EXPECT_EQ(day_of_week(r.serial + t), r.dow);
        }
        double expected = r.iy ? encode_date(r.iy, r.im, r.id) : 0.0;
        EXPECT_DOUBLE_EQ(inc_month(r.serial + 0.25, r.n), expected + 0.25) << "n = " << r.n;
        if (r.n % 12 == 0) EXPECT_DOUBLE_EQ(inc_month(r.serial, r.n), expected);
    }
}

// Every day from 1 January 1 to 31 December 9999 follows the one before it.
TEST(DateCalendar, EveryDayFollowsThePreviousOne) {
    DateParts prev = decode_date(-693593);
    ASSERT_EQ(prev.year, 1);
    ASSERT_EQ(prev.month, 1);
    ASSERT_EQ(prev.day, 1);
    for (int32_t serial = -693592; serial <= 2958465; ++serial) {
        DateParts p = decode_date(serial);
        bool nextDay = p.year == prev.year && p.month == prev.month && p.day == prev.day + 1;
        bool nextMonth = p.year == prev.year && p.month == prev.month + 1 && p.day == 1 &&
                         prev.day == days_in_month(prev.year, prev.month);
        bool nextYear = p.year == prev.year + 1 && p.month == 1 && p.day == 1 && prev.month == 12 && prev.day == 31;
        ASSERT_TRUE(nextDay || nextMonth || nextYear) << serial;
        ASSERT_EQ(p.day_of_week, prev.day_of_week % 7 + 1) << serial;
        ASSERT_EQ(encode_date(p.year, p.month, p.day), serial);
        prev = p;
    }
    EXPECT_EQ(prev.year, 9999);
    EXPECT_EQ(prev.month, 12);
    EXPECT_EQ(prev.day, 31);
}

TEST(DateCalendar, InvalidPartsEncodeAsZero) {
    struct { int y, m, d; } bad[] = {{1900, 2, 29}, {2100, 2, 29}, {2001, 2, 29}, {0, 1, 1},   {10000, 1, 1},
                                    {-4, 1, 1},    {2001, 13, 1}, {2001, 0, 1},  {2001, 4, 31}, {2001, 1, 0},
                                    {2001, 1, 32}, {2001, 1, -1}};
    for (auto& b : bad) EXPECT_EQ(encode_date(b.y, b.m, b.d), 0.0) << b.y << "-" << b.m << "-" << b.d;
    EXPECT_EQ(encode_date(1899, 12, 30), 0.0);
    EXPECT_EQ(encode_date(1900, 1, 1), 2.0);
    EXPECT_EQ(encode_date(2000, 2, 29), 36585.0);
    EXPECT_EQ(days_in_month(2001, 0), 0);
    EXPECT_EQ(days_in_month(2001, 13), 0);

    struct { int h, m, s, ms; double expected; } times[] = {
        {12, 0, 0, 0, 0.5},
        {6, 0, 0, 0, 0.25},
        {0, 0, 0, 1, 1 / kMsPerDay},
        {23, 59, 59, 999, 86399999 / kMsPerDay},
        {24, 0, 0, 0, 0},
        {0, 60, 0, 0, 0},
        {0, 0, 60, 0, 0},
        {0, 0, 0, 1000, 0},
        {-1, 0, 0, 0, 0},
        {0, 0, 0, -1, 0},
    };
    for (auto& t : times) EXPECT_DOUBLE_EQ(encode_time(t.h, t.m, t.s, t.ms), t.expected) << t.h << ":" << t.m;
}

TEST(DateTimeStamp, RoundsToTheMillisecondAndCarriesMidnight) {
    double day = encode_date(2024, 2, 29);
    struct { double fraction; int32_t date, time; } cases[] = {
        {0.0, 0, 0},
        {0.5, 0, 43200000},
        {(1000 + 0.4) / kMsPerDay, 0, 1000},
        {(1000 + 0.6) / kMsPerDay, 0, 1001},
        {86399999 / kMsPerDay, 0, 86399999},
        // rounds up to midnight: the next day at 0:00, never 24:00
        {(86400000 - 0.2) / kMsPerDay, 1, 0},
    };
    for (auto& c : cases) {
        TimeStamp ts = to_timestamp(day + c.fraction);
        EXPECT_EQ(ts.date, static_cast<int32_t>(day) + kDateDelta + c.date) << c.fraction;
        EXPECT_EQ(ts.time, c.time) << c.fraction;
    }
    TimeParts t = decode_time(day + (86400000 - 0.2) / kMsPerDay);
    EXPECT_EQ(t.hour, 0);
    DateParts p = decode_date(day + (86400000 - 0.2) / kMsPerDay);
    EXPECT_EQ(p.month, 3);
    EXPECT_EQ(p.day, 1);
}

TEST(DateTimeStamp, NegativeValuesCountBackFromDayZero) {
    // -1.25 is a quarter past day -2: 28 December 1899 at 18:00.
    DateParts p = decode_date(-1.25);
    EXPECT_EQ(p.year, 1899);
    EXPECT_EQ(p.month, 12);
    EXPECT_EQ(p.day, 28);
    TimeParts t = decode_time(-1.25);
    EXPECT_EQ(t.hour, 18);
    EXPECT_EQ(t.minute, 0);
    EXPECT_EQ(day_of_week(-1.25), 4);  // a Thursday
    EXPECT_DOUBLE_EQ(encode_date(1899, 12, 28) + encode_time(18, 0, 0, 0), -1.25);
}

TEST(DateTimeStamp, ValuesOutsideTheStampDecodeAsBeforeYearOne) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (double d : {nan, inf, -inf, 1e12, -1e12, -693594.0, -693594.5, -700000.0}) {
        DateParts p = decode_date(d);
        EXPECT_EQ(p.year, 0) << d;
        EXPECT_EQ(p.month, 0) << d;
        EXPECT_EQ(p.day, 0) << d;
        EXPECT_EQ(p.day_of_week, 0) << d;
        int w = day_of_week(d);
        EXPECT_TRUE(w >= 0 && w <= 6) << d;
    }
    // The week goes on before year 1: day -693594 is the day before a Monday.
    EXPECT_EQ(day_of_week(-693593), 1);
    EXPECT_EQ(day_of_week(-693594), 0);
    EXPECT_EQ(day_of_week(-693600), 1);
    // The largest day that still decodes.
    DateParts far = decode_date(2146790000.0);
    EXPECT_GT(far.year, 5000000);
    EXPECT_TRUE(far.month >= 1 && far.month <= 12);
}

TEST(DateArithmetic, DaysBetween) {
    double noon = encode_date(2024, 3, 1) + 0.5;
    struct { double a, b; int32_t days; } cases[] = {
        {noon, encode_date(2024, 3, 2) + encode_time(11, 59, 0, 0), 0},
        {noon, encode_date(2024, 3, 2) + 0.5, 1},
        {encode_date(2024, 3, 1), encode_date(2024, 3, 8), 7},
        {encode_date(2024, 3, 8), encode_date(2024, 3, 1), 7},
        {-1.25, 1.25, 2},
        {-0.5, 0.25, 0},
        {encode_date(1, 1, 1), encode_date(9999, 12, 31), 3652058},
        // 4.2 thousand million days: more than an int holds
        {2100000000.0, -2100000000.0, INT32_MAX},
    };
    for (auto& c : cases) EXPECT_EQ(days_between(c.a, c.b), c.days) << c.a << " " << c.b;
}

TEST(DateArithmetic, IncMonthKeepsTheTimeAndCutsTheDay) {
    const double t = encode_time(7, 30, 0, 0);
    struct { int y, m, d, n, ey, em, ed; } cases[] = {
        {2001, 1, 31, 1, 2001, 2, 28},   {2001, 3, 31, -1, 2001, 2, 28},  {2000, 12, 15, 13, 2002, 1, 15},
        {2000, 1, 31, 1, 2000, 2, 29},   {2000, 1, 15, -1, 1999, 12, 15}, {2000, 1, 15, -12, 1999, 1, 15},
        {2000, 1, 15, -13, 1998, 12, 15}, {2000, 2, 29, 12, 2001, 2, 28},  {2000, 5, 31, 0, 2000, 5, 31},
        {9999, 12, 31, -1, 9999, 11, 30}, {1, 1, 1, 1, 1, 2, 1},
    };
    for (auto& c : cases) {
        double got = inc_month(encode_date(c.y, c.m, c.d) + t, c.n);
        EXPECT_DOUBLE_EQ(got, encode_date(c.ey, c.em, c.ed) + t) << c.y << "-" << c.m << "-" << c.d << " " << c.n;
    }
    // Out of the years 1 .. 9999: day 0 with the time of day; no overflow for huge counts.
    EXPECT_DOUBLE_EQ(inc_month(encode_date(9999, 12, 1) + t, 1), t);
    EXPECT_DOUBLE_EQ(inc_month(encode_date(1, 1, 1) + t, -1), t);
    EXPECT_DOUBLE_EQ(inc_month(encode_date(2000, 1, 1) + t, int64_t{INT32_MAX} * 12), t);
    EXPECT_DOUBLE_EQ(inc_month(encode_date(2000, 1, 1) + t, int64_t{INT32_MIN} * 12), t);
    // Days before day 0 keep their time of day too.
    EXPECT_DOUBLE_EQ(inc_month(encode_date(1899, 11, 28) + 0.75, 1), -1.25);
}

TEST(DateArithmetic, IncMinuteMovesForwardOnBothSidesOfDayZero) {
    struct { double d; int n; int y, m, day, h, min; } cases[] = {
        {encode_date(2024, 2, 29) + 0.5, 90, 2024, 2, 29, 13, 30},
        {encode_date(2024, 2, 29) + 0.5, -720, 2024, 2, 29, 0, 0},
        {encode_date(2024, 2, 29) + 0.5, 721, 2024, 3, 1, 0, 1},
        {-1.25, 60, 1899, 12, 28, 19, 0},  // 18:00 on 28 December 1899, one hour later
        {-1.25, -60, 1899, 12, 28, 17, 0},
        {-0.5, 720, 1899, 12, 30, 0, 0},
    };
    for (auto& c : cases) {
        double got = inc_minute(c.d, c.n);
        DateParts p = decode_date(got);
        TimeParts t = decode_time(got);
        EXPECT_EQ(p.year, c.y) << c.d << " " << c.n;
        EXPECT_EQ(p.month, c.m) << c.d << " " << c.n;
        EXPECT_EQ(p.day, c.day) << c.d << " " << c.n;
        EXPECT_EQ(t.hour, c.h) << c.d << " " << c.n;
        EXPECT_EQ(t.minute, c.min) << c.d << " " << c.n;
    }
}

TEST(DateIso8601, ReadsDatesTimesAndOffsets) {
    struct { const char* text; double expected; } good[] = {
        {"2024-01-31", encode_date(2024, 1, 31)},
        {"2024-01-31T08:15", encode_date(2024, 1, 31) + encode_time(8, 15, 0, 0)},
        {"2024-01-31 08:15:07", encode_date(2024, 1, 31) + encode_time(8, 15, 7, 0)},
        {"2024-01-31T08:15:00.25Z", encode_date(2024, 1, 31) + encode_time(8, 15, 0, 250)},
        {"2024-01-31T08:15:00.250+02:00", encode_date(2024, 1, 31) + encode_time(8, 15, 0, 250)},
        {"2024-01-31T08:15:00-0530", encode_date(2024, 1, 31) + encode_time(8, 15, 0, 0)},
        {"1899-12-30", 0.0},
        {"1899-12-28T18:00", -1.25},
        {"0001-01-01", -693593.0},
    };
    for (auto& g : good) {
        double d = 12345;
        EXPECT_TRUE(parse_iso8601(g.text, &d)) << g.text;
        EXPECT_DOUBLE_EQ(d, g.expected) << g.text;
    }
    // A date before day 0 reads back as written.
    double d = 0;
    ASSERT_TRUE(parse_iso8601("1850-06-15T06:30", &d));
    DateParts p = decode_date(d);
    TimeParts t = decode_time(d);
    EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, 18500615);
    EXPECT_EQ(t.hour * 100 + t.minute, 630);

    const char* bad[] = {"",
                         "2024",
                         "2024-1-31",
                         "2024-02-30",
                         "1900-02-29",
                         "0000-01-01",
                         "2024-13-01",
                         "2024-01-31T24:00",
                         "2024-01-31T08:60",
                         "2024-01-31T08:15:61",
                         "2024-01-31T08:15:00.",
                         "2024-01-31T08",
                         "2024-01-31T08:15+25:00",
                         "2024-01-31X",
                         "2024-01-31T08:15:00Zjunk"};
    for (const char* b : bad) {
        double untouched = 42;
        EXPECT_FALSE(parse_iso8601(b, &untouched)) << b;
        EXPECT_EQ(untouched, 42) << b;
    }
}

// ---- the built-ins, through the operand stack ----

class DateBuiltins : public qeltest::Builtins {};

TEST_F(DateBuiltins, EncodeAndDecodeThroughTheStack) {
    i(2000); i(2); i(29);
    ASSERT_EQ(call(bi_EncodeDate), "");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(top_double(), 36585.0);
    reset();
    i(1900); i(2); i(29);
    ASSERT_EQ(call(bi_EncodeDate), "");
    EXPECT_EQ(top_double(), 0.0);
    reset();
    i(18); i(30); i(15); i(500);
    ASSERT_EQ(call(bi_EncodeTime), "");
    EXPECT_EQ(count(), 1);
    EXPECT_DOUBLE_EQ(top_double(), (18 * 3600000.0 + 30 * 60000 + 15500) / kMsPerDay);
    reset();

    // Each reference receives 16 bits; what follows them is untouched.
    uint32_t year = 0xAAAAAAAA, month = 0xBBBBBBBB, day = 0xCCCCCCCC;
    d(36585.75); p(&year); p(&month); p(&day);
    ASSERT_EQ(call(bi_DecodeDate), "");
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(year, 0xAAAA0000u + 2000);
    EXPECT_EQ(month, 0xBBBB0000u + 2);
    EXPECT_EQ(day, 0xCCCC0000u + 29);

    uint16_t shorts[3] = {7, 7, 7};
    d(-700000.0); p(&shorts[0]); p(&shorts[1]); p(&shorts[2]);
    ASSERT_EQ(call(bi_DecodeDate), "");
    EXPECT_EQ(shorts[0] + shorts[1] + shorts[2], 0);

    // A missing reference writes nothing at all.
    reset();
    year = 1;
    day = 1;
    d(36585.0); p(&year); p(nullptr); p(&day);
    EXPECT_EQ(call(bi_DecodeDate), "Null reference");
    EXPECT_EQ(year, 1u);
    EXPECT_EQ(day, 1u);
}

TEST_F(DateBuiltins, PartsOfAValueReplaceIt) {
    const double v = encode_date(2023, 7, 4) + encode_time(21, 5, 9, 0);
    struct { qel::BuiltinFn fn; int32_t expected; const char* name; } cases[] = {
        {bi_YearOf, 2023, "YearOf"},   {bi_MonthOf, 7, "MonthOf"},   {bi_DayOf, 4, "DayOf"},
        {bi_HourOf, 21, "HourOf"},     {bi_MinuteOf, 5, "MinuteOf"}, {bi_SecondOf, 9, "SecondOf"},
        {bi_DayOfWeek, 2, "DayOfWeek"},
    };
    for (auto& c : cases) {
        reset();
        d(v);
        ASSERT_EQ(call(c.fn), "") << c.name;
        EXPECT_EQ(count(), 1) << c.name;
        EXPECT_EQ(top_int(), c.expected) << c.name;
    }
    // An int argument is a whole day.
    reset();
    i(0);
    ASSERT_EQ(call(bi_DayOfWeek), "");
    EXPECT_EQ(top_int(), 6);
    reset();
    i(1);
    ASSERT_EQ(call(bi_DayOfWeek), "");
    EXPECT_EQ(top_int(), 0);
    reset();
    d(-3.5);
    ASSERT_EQ(call(bi_DateOf), "");
    EXPECT_EQ(top_double(), -4.0);
}

TEST_F(DateBuiltins, ArithmeticThroughTheStack) {
    const double t = encode_time(7, 30, 0, 0);
    d(encode_date(2001, 1, 31) + t); i(1);
    ASSERT_EQ(call(bi_IncMonth), "");
    EXPECT_EQ(count(), 1);
    EXPECT_DOUBLE_EQ(top_double(), encode_date(2001, 2, 28) + t);
    reset();
    d(encode_date(2000, 2, 29) + t); i(-3);
    ASSERT_EQ(call(bi_IncYear), "");
    EXPECT_DOUBLE_EQ(top_double(), encode_date(1997, 2, 28) + t);
    reset();
    // twelve times this count does not fit an int
    d(encode_date(2000, 2, 29) + t); i(400000000);
    ASSERT_EQ(call(bi_IncYear), "");
    EXPECT_DOUBLE_EQ(top_double(), t);
    reset();
    d(10.5); i(-11);
    ASSERT_EQ(call(bi_IncDay), "");
    EXPECT_DOUBLE_EQ(top_double(), -0.5);
    reset();
    d(-1.25); i(60);
    ASSERT_EQ(call(bi_IncMinute), "");
    EXPECT_DOUBLE_EQ(top_double(), -1.25 + 60 / 1440.0);
    reset();
    d(encode_date(2024, 3, 1) + 0.5); d(encode_date(2024, 3, 2) + encode_time(11, 59, 0, 0));
    ASSERT_EQ(call(bi_DaysBetween), "");
    EXPECT_EQ(count(), 1);
    EXPECT_EQ(top_int(), 0);
    reset();
    i(2024); i(2);
    ASSERT_EQ(call(bi_DaysPerMonth), "");
    EXPECT_EQ(top_int(), 29);
    for (int month : {0, 13, -1, INT32_MIN}) {
        reset();
        i(2024); i(month);
        ASSERT_EQ(call(bi_DaysPerMonth), "");
        EXPECT_EQ(top_int(), 0) << month;
    }
}

TEST_F(DateBuiltins, ClockAgreesWithItself) {
    ASSERT_EQ(call(bi_Date), "");
    double date = top_double();
    ASSERT_EQ(call(bi_Now), "");
    double now = top_double();
    ASSERT_EQ(call(bi_Time), "");
    double time = top_double();
    EXPECT_EQ(count(), 3);
    EXPECT_EQ(date, std::floor(date));
    EXPECT_GE(date, encode_date(2024, 1, 1));
    EXPECT_GE(now, date);
    EXPECT_LT(now, date + 2);  // a midnight may pass between the two readings
    EXPECT_GE(time, 0.0);
    EXPECT_LT(time, 1.0);
}

TEST_F(DateBuiltins, WrongArgumentKindsAreConversionErrors) {
    s(u"x");
    EXPECT_EQ(call(bi_YearOf), "Cannot convert 'string' to 'double'");
    reset();
    d(1.0); d(2.0);
    EXPECT_EQ(call(bi_IncMonth), "Cannot convert 'double' to 'int'");
    reset();
    i(5); d(1.0);
    EXPECT_EQ(call(bi_FormatDateTime), "Cannot convert 'int' to 'string'");
    reset();
    d(1.0); i(0); i(0); s(u"y");
    EXPECT_EQ(call(bi_DecodeDate), "Cannot convert 'string' to 'pointer'");
}

TEST_F(DateBuiltins, ShortDayNamesInsideAndOutsideTheWeek) {
    const char* names[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    for (int k = 0; k < 7; ++k) {
        reset();
        i(k);
        ASSERT_EQ(call(bi_ShortDayNames), "");
        EXPECT_EQ(count(), 1);
        EXPECT_EQ(top_string(), names[k]);
    }
    for (int k : {-1, 7, 1000, INT32_MIN}) {
        reset();
        i(k);
        ASSERT_EQ(call(bi_ShortDayNames), "");
        EXPECT_EQ(top_string(), "") << k;
    }
}

}  // namespace

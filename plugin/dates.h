// Conversions between the host's DateGroup, time values and the years the
// zip format can hold, shared by every layer. All work in local time through
// the C library, whose broken-down time record is static and shared with
// libzip: calls must not overlap.
#ifndef ZIPCVX_DATES_H
#define ZIPCVX_DATES_H

#include <time.h>

#include "plugin/host_interface.h"

// The time value of a local date, normalised as mktime does (31 February
// becomes 3 March).  -1 when the date cannot be represented.
time_t DateGroupToTime(const DateGroup& date);

// The local date of t. False when the calendar functions cannot reach it.
bool TimeToDateGroup(time_t t, DateGroup* date);

// True when t, as a local date, lies in the years that the zip format's
// date field holds, 1980 to 2107. libzip would write an earlier year as 1980
// and a later one less a multiple of 128 years.
bool ZipCanHoldTime(time_t t);

#endif

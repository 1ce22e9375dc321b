// Entry times as scripts see them: "05-Mar-2017 09:07:03", day-month-year
// and time of day in local time, with English three-letter month names.
#ifndef ZIPCVX_DATE_STRINGS_H
#define ZIPCVX_DATE_STRINGS_H

#include <stddef.h>
#include <time.h>

#include "plugin/host_interface.h"

// Stands for a time that an entry does not have.
inline constexpr char kFallbackDateString[] = "01-Jan-1978 12:00:00";

// Room for any formatted date, the longest possible year included.
inline constexpr size_t kDateBufferSize = 64;

// Reads a date string into out.  Every field sits at a fixed position, so a
// year of other than four characters fails.  The text is never read past its
// terminating zero.  On failure out may hold some fields and is to be ignored.
// Only upper bounds are checked for hour, minute and second: a negative field
// is left to the normalisation of DateGroupToTime.
bool ParseDateString(const char* text, DateGroup* out);

// The time value of a local date, normalised as mktime does (31 February
// becomes 3 March).  -1 when the date cannot be represented.
time_t DateGroupToTime(const DateGroup& date);

// True when t, as a local date, lies in the years that the zip format's
// date field holds, 1980 to 2107. libzip would write an earlier year as 1980
// and a later one less a multiple of 128 years. Uses the C library's static
// local-time record.
bool ZipCanHoldTime(time_t t);

// Writes t as a local date string.  A time that the C library cannot convert
// is written as kFallbackDateString.  Uses the C library's static local-time
// record and one static record of its own, so calls must not overlap.
void FormatDateString(time_t t, char (&buffer)[kDateBufferSize]);

#endif

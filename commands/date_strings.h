// Entry times as scripts see them: "05-Mar-2017 09:07:03", day-month-year
// and time of day in local time, with English three-letter month names.
#ifndef ZIPCVX_DATE_STRINGS_H
#define ZIPCVX_DATE_STRINGS_H

#include <stddef.h>
#include <time.h>

#include "plugin/dates.h"

// Stands for a time that an entry does not have.
inline constexpr char kFallbackDateString[] = "01-Jan-1978 12:00:00";

// Room for any formatted date, the longest possible year included.
inline constexpr size_t kDateBufferSize = 64;

// Reads a date string into out.  Every field sits at a fixed position, so a
// year of other than four characters fails.  The text is never read past its
// terminating zero.  On failure out may hold some fields and is to be ignored.
// Only upper bounds are checked for hour, minute and second: a negative field
// is left to the normalisation of DateGroupToTime (plugin/dates.h).
bool ParseDateString(const char* text, DateGroup* out);

// Writes t as a local date string.  A time that the C library cannot convert
// is written as kFallbackDateString.  Uses the C library's static local-time
// record and one static record of its own, so calls must not overlap.
void FormatDateString(time_t t, char (&buffer)[kDateBufferSize]);

#endif

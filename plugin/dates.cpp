#include "plugin/dates.h"

#include <limits.h>

time_t DateGroupToTime(const DateGroup& date) {
    // tm_year would overflow; no time value lies that far back anyway.
    if (date.year < INT_MIN + 1900) return -1;

    struct tm fields = {};
    fields.tm_sec = date.second;
    fields.tm_min = date.minute;
    fields.tm_hour = date.hour;
    fields.tm_mday = date.day;
    fields.tm_mon = date.month;
    fields.tm_year = date.year - 1900;
    fields.tm_isdst = -1;  // the C library decides whether summer time applies
    return mktime(&fields);
}

bool TimeToDateGroup(time_t t, DateGroup* date) {
    const struct tm* parts = localtime(&t);
    if (parts == nullptr) return false;
    *date = DateGroup{parts->tm_sec,  parts->tm_min, parts->tm_hour,
                      parts->tm_mday, parts->tm_mon, parts->tm_year + 1900};
    return true;
}

bool ZipCanHoldTime(time_t t) {
    const struct tm* local = localtime(&t);
    return local != nullptr && local->tm_year >= 1980 - 1900 && local->tm_year <= 2107 - 1900;
}

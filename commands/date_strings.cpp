#include "commands/date_strings.h"

#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "plugin/platform.h"

namespace {

constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Offsets of the fields and separators in a date string.
constexpr size_t kDayAt = 0;
constexpr size_t kMonthAt = 3;
constexpr size_t kYearAt = 7;
constexpr size_t kHourAt = 12;
constexpr size_t kMinuteAt = 15;
constexpr size_t kSecondAt = 18;

struct Separator {
    size_t at;
    char c;
};
constexpr Separator kSeparators[] = {{2, '-'}, {6, '-'}, {14, ':'}, {17, ':'}};

// The formatter's own copy of the local-time record, which the C library
// shares with every caller of localtime, libzip included.
constinit struct tm gFormatTime = {};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// atoi's rules without its undefined behaviour: a value beyond int32_t
// saturates, as strtol does where long has 32 bits.  It stops at the first
// non-digit, so it never reads past a terminating zero.
int32_t ReadInteger(const char* p) {
    while (IsBlank(*p))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    int64_t magnitude = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (magnitude <= int64_t{INT32_MAX} + 1) magnitude = magnitude * 10 + (*p - '0');
    }
    if (negative)
        return magnitude > int64_t{INT32_MAX} ? INT32_MIN : static_cast<int32_t>(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : static_cast<int32_t>(magnitude);
}

int32_t FindMonth(const char* name) {
    for (int32_t i = 0; i < 12; ++i) {
        if (CompareNoCaseN(name, kMonthNames[i], 3) == 0) return i;
    }
    return -1;
}

}  // namespace

bool ParseDateString(const char* text, DateGroup* out) {
    // The separators are checked one after the other, each only once every
    // character before it is known not to be the end of the text.
    size_t length = 0;
    for (const Separator& separator : kSeparators) {
        while (length <= separator.at && text[length] != '\0')
            ++length;
        if (length <= separator.at || text[separator.at] != separator.c) return false;
    }

    out->day = ReadInteger(text + kDayAt);
    if (out->day < 1 || out->day > 31) return false;
    out->month = FindMonth(text + kMonthAt);
    if (out->month < 0) return false;
    out->year = ReadInteger(text + kYearAt);
    out->hour = ReadInteger(text + kHourAt);
    if (out->hour > 23) return false;
    out->minute = ReadInteger(text + kMinuteAt);
    if (out->minute > 59) return false;
    out->second = ReadInteger(text + kSecondAt);
    return out->second <= 59;
}

void FormatDateString(time_t t, char (&buffer)[kDateBufferSize]) {
    const struct tm* local = localtime(&t);
    if (local == nullptr) {
        memcpy(buffer, kFallbackDateString, sizeof kFallbackDateString);
        return;
    }
    gFormatTime = *local;
    // The year is widened because tm_year + 1900 overflows int for the
    // latest years that localtime can give.
    snprintf(buffer, kDateBufferSize, "%.2d-%s-%lld %.2d:%.2d:%.2d", gFormatTime.tm_mday,
             kMonthNames[gFormatTime.tm_mon], static_cast<long long>(gFormatTime.tm_year) + 1900,
             gFormatTime.tm_hour, gFormatTime.tm_min, gFormatTime.tm_sec);
}

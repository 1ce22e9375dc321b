// The date-string parser on any bytes, and the formatter on any time value.
// Parsing never reads past the text's terminating zero; a date that parses
// with every field in its ordinary range formats back to the same text; any
// time the formatter writes parses again. Runs in UTC, where every local
// time exists exactly once.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "commands/date_strings.h"

namespace {

#define Check(condition) \
    if (!(condition)) __builtin_trap()

bool Ordinary(const DateGroup& d) {
    return d.second >= 0 && d.second <= 59 && d.minute >= 0 && d.minute <= 59 && d.hour >= 0 &&
           d.hour <= 23 && d.day >= 1 && d.day <= 28 && d.year >= 1900 && d.year <= 9999;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The text ends at its first zero, in a block of exactly its length.
    const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    char* exact = static_cast<char*>(malloc(length + 1));
    memcpy(exact, data, length);
    exact[length] = 0;
    DateGroup parsed{};
    const bool ok = ParseDateString(exact, &parsed);
    free(exact);

    char formatted[kDateBufferSize];
    if (ok) {
        const time_t t = DateGroupToTime(parsed);
        FormatDateString(t, formatted);
        Check(strnlen(formatted, sizeof formatted) < sizeof formatted);
        if (Ordinary(parsed) && t != -1) {
            DateGroup again{};
            Check(ParseDateString(formatted, &again));
            Check(memcmp(&again, &parsed, sizeof again) == 0);
        }
    }

    // Any time value, taken from the first eight bytes.
    int64_t raw = 0;
    memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
    FormatDateString(static_cast<time_t>(raw), formatted);
    Check(strnlen(formatted, sizeof formatted) < sizeof formatted);
    DateGroup back{};
    Check(ParseDateString(formatted, &back) || strlen(formatted) != 20);
    return 0;
}

// Any bytes as an archive path and as a date string, and any time value:
// SplitArchivePath stays inside its buffers and returns parts that hold
// together; dates round-trip (in UTC, where each local time exists once).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>

#include "adapter/archive_path.h"
#include "commands/date_strings.h"

namespace {

#define Check(condition) \
    if (!(condition)) __builtin_trap()

void SplitAndCheck(const char* path, size_t length, int32_t directoryFlag) {
    char archive[kArchivePathSize];
    char entry[kArchivePathSize];
    const char* reference = path;
    if (SplitArchivePath(&reference, archive, entry, directoryFlag) == 0) {
        Check(reference == path);
        return;
    }
    const size_t archiveLength = strnlen(archive, kArchivePathSize);
    const size_t entryLength = strnlen(entry, kArchivePathSize);
    Check(reference == archive && archiveLength >= 4 && archiveLength < kArchivePathSize &&
          entryLength < kArchivePathSize && memcmp(path, archive, archiveLength) == 0);
    Check(strncasecmp(archive + archiveLength - 4, ".zip", 4) == 0);
    Check(memchr(entry, '\\', entryLength) == nullptr);
    if (entryLength == 0) {
        Check(length == archiveLength);
    } else {
        Check(path[archiveLength] == '/' || path[archiveLength] == '\\');
        if (directoryFlag != 0) Check(entry[entryLength - 1] == '/');
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("TZ", "UTC", 1);
    tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
    char* exact = static_cast<char*>(malloc(length + 1));
    memcpy(exact, data, length);
    exact[length] = 0;
    SplitAndCheck(exact, length, 0);
    SplitAndCheck(exact, length, 1);
    DateGroup parsed{};
    const bool ok = ParseDateString(exact, &parsed);
    free(exact);

    char formatted[kDateBufferSize];
    if (ok) {
        const time_t t = DateGroupToTime(parsed);
        FormatDateString(t, formatted);
        Check(strnlen(formatted, sizeof formatted) < sizeof formatted);
        const DateGroup& d = parsed;  // every field in its ordinary range
        DateGroup again{};
        if (d.second >= 0 && d.second <= 59 && d.minute >= 0 && d.minute <= 59 && d.hour >= 0 &&
            d.hour <= 23 && d.day >= 1 && d.day <= 28 && d.year >= 1900 && d.year <= 9999 &&
            t != -1)
            Check(ParseDateString(formatted, &again) && memcmp(&again, &parsed, sizeof again) == 0);
    }
    int64_t raw = 0;  // any time value, from the first eight bytes
    memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
    FormatDateString(static_cast<time_t>(raw), formatted);
    Check(strnlen(formatted, sizeof formatted) < sizeof formatted);
    DateGroup back{};
    Check(ParseDateString(formatted, &back) || strlen(formatted) != 20);
    return 0;
}

#include "host/conversions.h"

#include <cmath>
#include <ctime>

namespace cvx {

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

StatRecord RecordFromStat(const struct stat& st, const char* name) {
    StatRecord r{};
    r.kind = S_ISREG(st.st_mode)   ? 0
             : S_ISDIR(st.st_mode) ? 1
             : S_ISLNK(st.st_mode) ? kKindLink
                                   : kKindOther;
    r.size = S_ISREG(st.st_mode) ? static_cast<int64_t>(st.st_size) : 0;
    r.dates[0] = r.dates[1] = r.dates[2] = DateFromTime(static_cast<long long>(st.st_mtime));
    r.name = name;
    return r;
}

DateGroup DateFromTime(long long seconds) {
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    localtime_r(&t, &parts);
    return DateGroup{parts.tm_sec, parts.tm_min,  parts.tm_hour,
                     parts.tm_mday, parts.tm_mon, parts.tm_year + 1900};
}

}  // namespace cvx

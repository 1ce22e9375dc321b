// The stand-in host names the system's zone in TZ when TZ is unset, so that
// the C library reads the zone file once instead of at every conversion;
// local times must come out exactly as they did without it.
#include "host/time_zone.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/scoped_time_zone.h"

namespace zipcvx_test {
namespace {

// Instants around the turns of daylight saving time in many zones, and far
// from now.
std::string LocalTimes() {
    std::string text;
    for (time_t t : {0, 954550800, 972781200, 1616893200, 1635642000, 1700000000, 2147483647}) {
        struct tm parts {};
        localtime_r(&t, &parts);
        char line[80];
        strftime(line, sizeof line, "%Y-%m-%d %H:%M:%S %z %Z", &parts);
        text += line + std::string(parts.tm_isdst > 0 ? " dst\n" : "\n");
    }
    return text;
}

const char* SystemZone() {
    return access("/etc/localtime", R_OK) == 0 ? ":/etc/localtime" : nullptr;
}

TEST(PinLocalTimeZone, NamesTheSystemZoneOnlyWhenTzIsUnset) {
    ScopedTimeZone restore("Asia/Tokyo");
    cvx::PinLocalTimeZone();
    EXPECT_STREQ(getenv("TZ"), "Asia/Tokyo");
    unsetenv("TZ");
    tzset();
    const std::string before = LocalTimes();
    cvx::PinLocalTimeZone();
    EXPECT_STREQ(getenv("TZ"), SystemZone());
    EXPECT_EQ(LocalTimes(), before);
}

}  // namespace
}  // namespace zipcvx_test

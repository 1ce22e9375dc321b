// The stand-in host names the system's zone in TZ when TZ is unset, so that
// the C library reads the zone file once instead of at every conversion;
// local times must come out exactly as they did without it.
#include "host/time_zone.h"

#include <gtest/gtest.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

// Puts TZ back as the test found it.
class RestoreTimeZone {
  public:
    RestoreTimeZone() {
        const char* zone = getenv("TZ");
        if (zone != nullptr) saved_ = zone;
        had_ = zone != nullptr;
    }
    ~RestoreTimeZone() {
        if (had_) {
            setenv("TZ", saved_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::string saved_;
    bool had_ = false;
};

std::string Local(time_t t) {
    struct tm parts {};
    localtime_r(&t, &parts);
    char text[80];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S %z %Z", &parts);
    return text + std::string(parts.tm_isdst > 0 ? " dst" : "");
}

// Instants around the turns of daylight saving time in many zones, and far
// from now.
const time_t kInstants[] = {0,          954550800,  972781200, 1616893200,
                            1635642000, 1700000000, 2147483647};

TEST(PinLocalTimeZone, NamesTheSystemZoneOnlyWhenTzIsUnset) {
    RestoreTimeZone restore;
    setenv("TZ", "Asia/Tokyo", 1);
    cvx::PinLocalTimeZone();
    EXPECT_STREQ(getenv("TZ"), "Asia/Tokyo");

    unsetenv("TZ");
    tzset();
    std::vector<std::string> before;
    for (time_t t : kInstants)
        before.push_back(Local(t));
    cvx::PinLocalTimeZone();
    if (access("/etc/localtime", R_OK) == 0) {
        EXPECT_STREQ(getenv("TZ"), ":/etc/localtime");
    } else {
        EXPECT_EQ(getenv("TZ"), nullptr) << "nothing to name";
    }
    std::vector<std::string> after;
    for (time_t t : kInstants)
        after.push_back(Local(t));
    EXPECT_EQ(after, before);
}

class HostTimeZone : public PluginHost {};

TEST_F(HostTimeZone, AStartedHostHasItsZoneNamed) {
    RestoreTimeZone restore;
    StopHost();
    unsetenv("TZ");
    StartHost();
    if (access("/etc/localtime", R_OK) == 0) {
        EXPECT_EQ(Eval("os.getenv('TZ')"), ":/etc/localtime");
    }
}

}  // namespace
}  // namespace zipcvx_test

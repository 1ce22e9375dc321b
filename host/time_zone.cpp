#include "host/time_zone.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>

namespace cvx {

// glibc's zone file when TZ is unset, named as TZ names a file.
constexpr char kSystemZone[] = ":/etc/localtime";

void PinLocalTimeZone() {
    if (getenv("TZ") != nullptr || access(kSystemZone + 1, R_OK) != 0) return;
    setenv("TZ", kSystemZone, 0);
    tzset();
}

}  // namespace cvx

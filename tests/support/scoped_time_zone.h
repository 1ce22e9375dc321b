// Local time follows TZ. ctest runs the tests in Europe/Berlin; a test that
// depends on the zone still sets it itself, and Berlin comes back after.
#ifndef ZIPCVX_TESTS_SCOPED_TIME_ZONE_H
#define ZIPCVX_TESTS_SCOPED_TIME_ZONE_H

#include <stdlib.h>
#include <time.h>

namespace zipcvx_test {

struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* zone) { setenv("TZ", zone, 1), tzset(); }
    ~ScopedTimeZone() { setenv("TZ", "Europe/Berlin", 1), tzset(); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
};

}  // namespace zipcvx_test

#endif

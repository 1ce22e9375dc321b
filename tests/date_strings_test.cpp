#include "commands/date_strings.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <limits>
#include <string>
#include <vector>

// Found by argument-dependent lookup, so it lives where DateGroup does.
static bool operator==(const DateGroup& a, const DateGroup& b) {
    return memcmp(&a, &b, sizeof a) == 0;
}

namespace {

// Where time_t has 32 bits, time values cover only the years 1901 to 2038.
constexpr bool kWideTime = sizeof(time_t) == 8;

// Local time follows TZ; ctest runs the tests in Europe/Berlin.
struct ScopedTimeZone {
    explicit ScopedTimeZone(const char* zone) { setenv("TZ", zone, 1), tzset(); }
    ~ScopedTimeZone() { setenv("TZ", "Europe/Berlin", 1), tzset(); }
};

DateGroup Date(int32_t day, int32_t month, int32_t year, int32_t hour, int32_t minute,
               int32_t second) {
    return DateGroup{second, minute, hour, day, month, year};
}

// The text goes into a block of exactly its size, so that a sanitizer build
// catches any read past the terminating zero.
bool Parse(const char* text, DateGroup* out) {
    std::vector<char> exact(text, text + strlen(text) + 1);
    return ParseDateString(exact.data(), out);
}

std::string Format(time_t t) {
    char buffer[kDateBufferSize];
    FormatDateString(t, buffer);
    return buffer;
}

std::string Normalised(const char* text) {
    DateGroup date{};
    EXPECT_TRUE(Parse(text, &date)) << text;
    return Format(DateGroupToTime(date));
}

TEST(ParseDateString, AcceptsWhatItsFixedPositionsAndAtoiRulesAllow) {
    const struct {
        const char* text;
        DateGroup want;
    } cases[] = {
        {" 1-jAN-1978 12:00:00", Date(1, 0, 1978, 12, 0, 0)},
        {"+9-dec-2017 23:59:59", Date(9, 11, 2017, 23, 59, 59)},
        {"31-Feb-2017T12:00:00", Date(31, 1, 2017, 12, 0, 0)},
        {"01-Jan-2017 12:00:00 UTC", Date(1, 0, 2017, 12, 0, 0)},
        {"01-Jan-2017 12:00:0007", Date(1, 0, 2017, 12, 0, 7)},
        {"01-Jan-2017 12:00: 7", Date(1, 0, 2017, 12, 0, 7)},
        {"01-Jan-2017 -1:-5:-9", Date(1, 0, 2017, -1, -5, -9)},
        {"01-Jan-2017012:00:00", Date(1, 0, 2017012, 12, 0, 0)},  // the year reads on
    };
    for (const auto& c : cases) {
        DateGroup got{};
        ASSERT_TRUE(Parse(c.text, &got)) << c.text;
        EXPECT_EQ(c.want, got) << c.text;
    }
}

TEST(ParseDateString, Rejects) {
    for (const char* text : {
             "",
             "01-Jan-2017 12:00", "01-Ja",  // ends before a separator
             "1-Jan-2017 12:00:00",          // a one-digit day moves every separator
             "00-Jan-2017 12:00:00", "32-Jan-2017 12:00:00", "-1-Jan-2017 12:00:00",
             "01-Mai-2017 12:00:00", "01-Jan-2017 24:00:00", "01-Jan-2017 12:60:00",
             "01-Jan-2017 12:00:60",
             "01-Jan-2017 12:00:4294967296",  // must not wrap round to 0
         }) {
        DateGroup got{};
        EXPECT_FALSE(Parse(text, &got)) << text;
    }
}

TEST(DateGroupToTime, LetsTheZoneDecideOnSummerTime) {
    const struct {
        const char* zone;
        const char* text;
        time_t want;
    } cases[] = {
        {"Europe/Berlin", "01-Jan-2017 12:00:00", 1483268400},
        {"Europe/Berlin", "26-Mar-2017 01:59:59", 1490489999},  // the last second of winter
        {"Europe/Berlin", "26-Mar-2017 03:00:00", 1490490000},  // is followed by 03:00
        {"America/New_York", "01-Jul-2017 12:00:00", 1498924800},
        {"Asia/Kolkata", "01-Jan-2017 12:00:00", 1483252200},
    };
    for (const auto& c : cases) {
        ScopedTimeZone zone(c.zone);
        DateGroup date{};
        ASSERT_TRUE(Parse(c.text, &date)) << c.text;
        EXPECT_EQ(c.want, DateGroupToTime(date)) << c.text << " in " << c.zone;
    }
}

TEST(DateGroupToTime, NormalisesOutOfRangeFieldsOrGivesMinusOne) {
    ScopedTimeZone zone("Europe/Berlin");
    EXPECT_EQ("02-Mar-2016 12:00:00", Normalised("31-Feb-2016 12:00:00"));
    EXPECT_EQ("31-Dec-2016 23:00:00", Normalised("01-Jan-2017 -1:00:00"));
    // Every month's name, formatted and parsed back.
    for (int32_t month = 0; month < 12; ++month) {
        const DateGroup date = Date(15, month, 2021, 10, 20, 30);
        const std::string text = Format(DateGroupToTime(date));
        DateGroup back{};
        EXPECT_TRUE(Parse(text.c_str(), &back) && date == back) << text;
    }
    EXPECT_EQ(kFallbackDateString, Normalised(kFallbackDateString));
    EXPECT_EQ(-1, DateGroupToTime(Date(1, INT32_MAX, INT32_MAX, 0, 0, 0)));
    EXPECT_EQ(-1, DateGroupToTime(Date(1, 0, INT32_MIN, 0, 0, 0)));
}

TEST(FormatDateString, WritesLocalTime) {
    {
        ScopedTimeZone zone("Europe/Berlin");
        EXPECT_EQ("05-Mar-2017 09:07:03", Format(1488701223));
        // The year gets just the digits it needs.
        if (kWideTime) {
            EXPECT_EQ("01-Jan-999 12:00:00", Format(DateGroupToTime(Date(1, 0, 999, 12, 0, 0))));
        }
    }
    ScopedTimeZone zone("America/New_York");
    EXPECT_EQ("05-Mar-2017 03:07:03", Format(1488701223));
}

TEST(FormatDateString, CopesWithTheEndsOfTime) {
    ScopedTimeZone zone("UTC");
    constexpr time_t kLatest = std::numeric_limits<time_t>::max();
    if (!kWideTime) {
        // localtime converts every 32-bit time value.
        EXPECT_EQ("19-Jan-2038 03:14:07", Format(kLatest));
        EXPECT_EQ("13-Dec-1901 20:45:52", Format(std::numeric_limits<time_t>::min()));
        return;
    }
    EXPECT_EQ(kFallbackDateString, Format(kLatest));  // beyond what localtime converts
    // The latest year localtime gives no longer fits an int once 1900 is added.
    struct tm last = {};
    last.tm_year = INT32_MAX;
    last.tm_mon = 11;
    last.tm_mday = 31;
    EXPECT_EQ("31-Dec-2147485547 00:00:00", Format(timegm(&last)));
}

}  // namespace

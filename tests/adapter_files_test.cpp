// The adapter's file handles: read-only, seeking anywhere (reads are checked
// byte for byte by the fault sweeps, corrupt entries by the bad-archive sweep).
#include <gtest/gtest.h>

#include <climits>

#include "adapter/entry_cache.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

using AdapterFiles = PicsTest;

// Entries are served only for reading. A seek returns the old position and
// takes any target, except one that cannot be represented; reads with a
// negative count or position, or whose end would overflow, are refused.
TEST_F(AdapterFiles, ReadOnlySeeksAnywhereAndRefusesNegativeOrOverflowingReads) {
    EXPECT_EQ(Open(pics + "/doc.txt", kOpenWrite), nullptr);
    EXPECT_EQ(Open(pics + "/doc.txt", 0), nullptr);
    void* file = Open(pics + "/Doc.Txt", kOpenRead | kOpenWrite);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(A().FWrite(file, "x", 1) + A().FPutC(file, 'x') + A().FFlush(file), 0);
    const AdapterFile& r = *static_cast<const AdapterFile*>(file);  // the plugin's record
    const struct {
        int64_t offset;
        int32_t mode;
        int64_t before, after;
        int32_t eof;
    } seeks[] = {
        {1000, kSeekStart, 0, 1000, 1},
        {4, 7, 1000, 1000, 1},  // an unknown mode
        {-3, kSeekStart, 1000, -3, 0},
        {INT64_MAX - 2, kSeekStart, -3, INT64_MAX - 2, 1},
        {10, kSeekCurrent, INT64_MAX - 2, INT64_MAX - 2, 1},
        {INT64_MIN, kSeekStart, INT64_MAX - 2, INT64_MIN, 0},
        {-1, kSeekCurrent, INT64_MIN, INT64_MIN, 0},
        {INT64_MAX, kSeekEnd, INT64_MIN, INT64_MIN, 0},
    };
    char buffer[16];
    for (const auto& c : seeks) {
        SCOPED_TRACE(c.offset);
        EXPECT_EQ(A().FSeek(file, c.offset, c.mode), c.before);
        EXPECT_EQ(r.position, c.after);
        EXPECT_EQ(A().FEof(file), c.eof);
        EXPECT_EQ(A().FRead(file, buffer, 16), 0);
        EXPECT_EQ(A().FGetC(file), -1);
    }
    EXPECT_EQ(r.cached, 0) << "seeking reads nothing";
    A().FSeek(file, 0, kSeekStart);
    EXPECT_EQ(A().FRead(file, buffer, -1), 0);
    EXPECT_EQ(A().FRead(file, buffer, INT32_MIN), 0);
    EXPECT_EQ(A().FRead(file, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), std::string(kDocText, 5));
    EXPECT_EQ(A().FSeek(file, -1, kSeekEnd), 5);
    EXPECT_EQ(A().FGetC(file), '\n');
    A().FClose(file);
}

// A cache that cannot grow fails that read alone: the stream and the bytes
// already cached stay, so the same read succeeds once memory is there.
int gReallocs, gFailAt;
class LinkedAdapterFiles : public PicsTest {
    void SetUp() override { linked = true, PicsTest::SetUp(); }
};
TEST_F(LinkedAdapterFiles, ACacheThatCannotGrowFailsOnlyThatRead) {
    gCacheRealloc = [](void* block, size_t size) -> void* {
        return ++gReallocs == gFailAt ? nullptr : realloc(block, size);
    };
    void* file = Open(pics + "/img/a.png");
    char buffer[8];
    gFailAt = 1;
    EXPECT_EQ(A().FRead(file, buffer, 8), 0);
    ASSERT_EQ(A().FRead(file, buffer, 8), 8);
    EXPECT_EQ(buffer[7], 7);
    gFailAt = gReallocs + 1;
    A().FSeek(file, 99999, kSeekStart);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(A().FGetC(file), 99999 % 251);
    A().FClose(file);
    gCacheRealloc = realloc;
}

}  // namespace
}  // namespace zipcvx_test

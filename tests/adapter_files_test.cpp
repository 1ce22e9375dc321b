// The adapter's file handles: letter case, the entry cache, seeking, the end
// of an entry, corrupt entries, and a host or a cache that fails mid-read.
// (Which end of a stream counts as clean is shown by extracting 7-Zip's AES
// entries and corrupt ones.)
#include <gtest/gtest.h>

#include <climits>

#include "adapter/entry_cache.h"
#include "support/adapter_calls.h"
#include "support/fixtures.h"

namespace zipcvx_test {
namespace {

using AdapterFiles = PicsTest;

TEST_F(AdapterFiles, ServesEntriesOnlyForReading) {
    void* file = Open(pics + "/Doc.Txt", kOpenRead | kOpenWrite);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(A().FWrite(file, "x", 1) + A().FPutC(file, 'x') + A().FFlush(file), 0);
    EXPECT_EQ(ReadAll(file), kDocText);
    EXPECT_EQ(A().FClose(file), 1);
    EXPECT_EQ(Open(pics + "/doc.txt", kOpenWrite), nullptr);
    EXPECT_EQ(Open(pics + "/doc.txt", 0), nullptr);
}

TEST_F(AdapterFiles, TheCacheGrowsByWholeChunksForEachHandleAlone) {
    void* one = Open(pics + "/img/a.png");
    void* two = Open(pics + "/IMG/A.png");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    const AdapterFile& r = FileRecord(one);
    EXPECT_EQ(r.size, 100000);
    char buffer[10];
    ASSERT_EQ(A().FRead(one, buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), Big().substr(0, 10));
    EXPECT_EQ(r.cached, 65536);
    A().FSeek(one, 70000, kSeekStart);
    ASSERT_EQ(A().FGetC(one), static_cast<unsigned char>(Big()[70000]));
    EXPECT_EQ(r.cached, 100000) << "the remaining 34,464 bytes in one chunk";
    A().FSeek(one, 15, kSeekStart);
    ASSERT_EQ(A().FRead(one, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), Big().substr(15, 5));
    EXPECT_EQ(r.fetched, 100000) << "read backwards from memory";

    EXPECT_EQ(FileRecord(two).cache, nullptr);
    A().FSeek(two, 3, kSeekStart);
    std::string all(200000, '\0');
    EXPECT_EQ(A().FRead(two, all.data(), 200000), 100000 - 3) << "two chunks in one read";
    EXPECT_EQ(all.substr(0, 100000 - 3), Big().substr(3));
    A().FClose(one);
    A().FClose(two);
}

// A seek returns the old position and takes any target, except one that
// cannot be represented; reads with a negative count or position, or whose
// end would overflow, are refused.
TEST_F(AdapterFiles, SeeksAnywhereAndRefusesNegativeOrOverflowingReads) {
    void* file = Open(pics + "/doc.txt");
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
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
    EXPECT_EQ(A().FSeek(file, -1, kSeekEnd), 5);
    EXPECT_EQ(A().FGetC(file), '\n');
    A().FClose(file);
}

// libzip checks the CRC, and notices data beyond the declared size, only on
// the read that reaches the end of the stream; the adapter makes that read
// when its cache reaches the entry's size, and keeps no chunk that failed.
TEST_F(AdapterFiles, CorruptEntriesFailOnTheReadThatNeedsTheLastChunk) {
    const std::string bad = Path("bad.zip");
    MakeZip(bad, {{"big.bin", Big(), false},
                  {"small.txt", "some text that is short"},
                  {"long.txt", std::string(5000, 'x')}});
    CorruptCrc(bad, "big.bin");
    CorruptCrc(bad, "small.txt");
    UnderstateSize(bad, "long.txt", 10);

    void* file = Open(bad + "/big.bin");
    ASSERT_NE(file, nullptr);
    std::string buffer(1000, '\0');
    ASSERT_EQ(A().FRead(file, buffer.data(), 1000), 1000) << "the first chunk is not the last";
    A().FSeek(file, 70000, kSeekStart);
    EXPECT_EQ(A().FRead(file, buffer.data(), 10), 0);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(FileRecord(file).position, 70000);
    EXPECT_EQ(FileRecord(file).cached, 65536) << "the last chunk is not kept";
    EXPECT_EQ(A().FSeek(file, 100, kSeekStart), 70000);
    ASSERT_EQ(A().FRead(file, buffer.data(), 10), 10) << "cached bytes stay readable";
    EXPECT_EQ(buffer.substr(0, 10), Big().substr(100, 10));
    A().FClose(file);

    for (const char* name : {"small.txt", "long.txt"}) {
        file = Open(bad + "/" + name);
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(A().FGetC(file), -1) << name;
        EXPECT_EQ(A().FRead(file, buffer.data(), 4), 0) << name;
        A().FClose(file);
    }
}

TEST_F(AdapterFiles, AFailedHostReadEndsTheStream) {
    void* file = Open(pics + "/img/a.png");
    ASSERT_NE(file, nullptr);
    host().FailNth(cvx::Fault::ReadFile, 1);
    char buffer[8];
    EXPECT_EQ(A().FRead(file, buffer, 8), 0);
    host().ClearFaults();
    EXPECT_EQ(A().FRead(file, buffer, 8), 0) << "a failed stream is read no more";
    EXPECT_EQ(FileRecord(file).cached, 0);
    A().FClose(file);
}

using LinkedAdapterFiles = Linked<PicsTest>;

TEST_F(LinkedAdapterFiles, ACacheThatCannotGrowFailsOnlyThatRead) {
    gCacheRealloc = CountingRealloc;
    void* file = Open(pics + "/img/a.png");
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    char buffer[8];
    gHeapHook.failAt = 1;
    EXPECT_EQ(A().FRead(file, buffer, 8), 0);
    EXPECT_EQ(r.cached, 0);
    EXPECT_EQ(r.position, 0);
    ASSERT_EQ(A().FRead(file, buffer, 8), 8) << "the stream was not touched";
    EXPECT_EQ(buffer[7], 7);
    gHeapHook.failAt = 3;
    A().FSeek(file, 69999, kSeekStart);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(r.cached, 65536);
    EXPECT_EQ(A().FGetC(file), 69999 % 251);
    EXPECT_EQ(gHeapHook.calls, 4) << "one realloc per chunk, and the failed one";
    EXPECT_EQ(A().FClose(file), 1);
}

}  // namespace
}  // namespace zipcvx_test

// Failures inside the adapter: every allocation of every entry point fails
// in turn, then the cache cannot grow and the host cannot read. Each
// failure gives the entry point's null or 0 answer, and nothing stays
// allocated or open.
#include <gtest/gtest.h>

#include <functional>

#include "adapter/entry_cache.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

class AdapterFaults : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        MakeZip(Path("pics.zip"), {{"img/", ""},
                                   {"img/a.png", CountingBytes(70000)},
                                   {"sub/deep/x.txt", "x"},
                                   {"doc.txt", "document"}});
    }

    // Runs op with the k-th allocation failing, for k = 1, 2, ... until op
    // succeeds with no allocation failing; op returns whether it succeeded.
    // Returns the number of allocations op makes.
    int Sweep(const char* what, const std::function<bool()>& op, const char* tag = "") {
        for (int k = 1; k < 50; ++k) {
            host().FailNth(cvx::Fault::Alloc, k, tag);
            const bool succeeded = op();
            const bool failedOne = host().fault(cvx::Fault::Alloc).failures > 0;
            host().ClearFaults();
            EXPECT_EQ(host().LiveBlocks(), 0u) << what << ", allocation " << k;
            EXPECT_EQ(host().OpenFiles(), 0u) << what << ", allocation " << k;
            if (!failedOne) {
                EXPECT_TRUE(succeeded) << what;
                return k - 1;
            }
            EXPECT_FALSE(succeeded) << what << " succeeded with allocation " << k << " failing";
        }
        ADD_FAILURE() << what << " never succeeded";
        return 0;
    }
};

TEST_F(AdapterFaults, EveryAllocationOfEveryEntryPointMayFail) {
    const std::string entry = Path("pics.zip/IMG/A.png");
    EXPECT_EQ(Sweep("FOpen",
                    [&] {
                        void* file = A().FOpen(entry.c_str(), kOpenRead, nullptr);
                        if (file == nullptr) return false;
                        A().FClose(file);
                        return true;
                    }),
              2);  // the handle, the source's state

    for (const char* path : {"pics.zip/doc.txt", "pics.zip/img", "pics.zip/sub/deep"}) {
        const std::string full = Path(path);
        EXPECT_EQ(Sweep(path,
                        [&] {
                            StatRecord r;
                            if (A().Stat(full.c_str(), kStatFullName, &r) == 0) return false;
                            host().AdoptBlock(const_cast<char*>(r.name));
                            return true;
                        }),
                  1);
    }

    void* file = A().FOpen(entry.c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    host().FailNth(cvx::Fault::Alloc, 1);
    StatRecord r{};
    EXPECT_EQ(A().FStat(file, kStatFullName, &r), 0);
    host().ClearFaults();
    EXPECT_EQ(r.originCode, 2) << "what was written stays written";
    EXPECT_EQ(A().FClose(file), 1);

    // The listing's nodes may fail without failing the listing.
    int listed = 0;
    const auto list = [&] {
        void* dir = A().OpenDir(Path("pics.zip").c_str());
        if (dir == nullptr) return false;
        StatRecord e;
        listed = 0;
        while (A().NextDirEntry(dir, &e) == 1)
            ++listed;
        A().CloseDir(dir);
        return true;
    };
    EXPECT_EQ(Sweep("OpenDir", list, "zipplug"), 1);
    for (int k = 1; k <= 2; ++k) {
        host().FailNth(cvx::Fault::Alloc, k, "zcd");
        EXPECT_TRUE(list());
        // img/ is mentioned again by img/a.png and then listed again; sub
        // has no later mention.
        EXPECT_EQ(listed, k == 1 ? 4 : 3);
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
    host().ClearFaults();
}

TEST_F(AdapterFaults, HostReadErrorsFailTheReadThatMeetsThem) {
    void* file = A().FOpen(Path("pics.zip/img/a.png").c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    host().FailNth(cvx::Fault::ReadFile, 1);
    char buffer[8];
    EXPECT_EQ(A().FRead(file, buffer, 8), 0);
    host().ClearFaults();
    EXPECT_EQ(A().FRead(file, buffer, 8), 0) << "a failed stream is read no more";
    EXPECT_EQ(FileRecord(file).cached, 0);
    A().FClose(file);

    host().FailNth(cvx::Fault::OpenFile, 1);
    EXPECT_EQ(A().FOpen(Path("pics.zip/img/a.png").c_str(), kOpenRead, nullptr), nullptr);
    host().FailNth(cvx::Fault::SeekFile, 1);
    EXPECT_EQ(A().FOpen(Path("pics.zip/img/a.png").c_str(), kOpenRead, nullptr), nullptr);
}

// The cache's own memory comes from the C library; this part runs the
// plugin's code linked into the tests, where its realloc can be replaced.
int gReallocCalls = 0;
int gReallocFailAt = 0;

void* CountingRealloc(void* block, size_t size) {
    return ++gReallocCalls == gReallocFailAt ? nullptr : realloc(block, size);
}

TEST_F(AdapterFaults, ACacheThatCannotGrowFailsOnlyThatRead) {
    gPlugin.services = host().services();
    gCacheRealloc = CountingRealloc;
    void* file = ::FOpen(Path("pics.zip/img/a.png").c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    char buffer[8];
    gReallocFailAt = 1;
    EXPECT_EQ(::FRead(file, buffer, 8), 0);
    EXPECT_EQ(r.cached, 0);
    EXPECT_EQ(r.position, 0);
    ASSERT_EQ(::FRead(file, buffer, 8), 8) << "the stream was not touched";
    EXPECT_EQ(buffer[7], 7);
    gReallocFailAt = 3;
    ::FSeek(file, 69999, kSeekStart);
    EXPECT_EQ(::FGetC(file), -1);
    EXPECT_EQ(r.cached, 65536);
    EXPECT_EQ(::FGetC(file), 69999 % 251);
    EXPECT_EQ(gReallocCalls, 4) << "one realloc per chunk, and the failed one";
    EXPECT_EQ(::FClose(file), 1);
    gCacheRealloc = realloc;
    gPlugin.services = nullptr;
}

}  // namespace
}  // namespace zipcvx_test

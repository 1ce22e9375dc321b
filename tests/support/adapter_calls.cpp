#include "support/adapter_calls.h"

#include <stdlib.h>

#include "adapter/entry_cache.h"
#include "adapter/seen_index.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace zipcvx_test {

void AdapterTest::SetUp() {
    options.fixedDate = true;
    options.date = kHostNow;
    PluginHost::SetUp();
    if (linked) gPlugin.services = host().services();
}

void AdapterTest::TearDown() {
    if (linked) {
        gCacheRealloc = realloc;
        gSeenIndexCalloc = calloc;
        gPlugin.services = nullptr;
    }
    PluginHost::TearDown();
}

AdapterCalls& AdapterTest::A() {
    if (linked) {
        static AdapterCalls code{::FOpen, ::FClose,  ::FRead,    ::FGetC,       ::FWrite,
                                 ::FPutC, ::FSeek,   ::FFlush,   ::FEof,        ::Stat,
                                 ::FStat, ::OpenDir, ::CloseDir, ::NextDirEntry};
        return code;
    }
    if (!calls_ || callsFor_ != &host()) {
        const cvx::Host& h = host();
        calls_ = std::make_unique<AdapterCalls>(AdapterCalls{
            h.Entry<FOpenFn>("FOpen"), h.Entry<FCloseFn>("FClose"), h.Entry<FReadFn>("FRead"),
            h.Entry<FGetCFn>("FGetC"), h.Entry<FWriteFn>("FWrite"), h.Entry<FPutCFn>("FPutC"),
            h.Entry<FSeekFn>("FSeek"), h.Entry<FFlushFn>("FFlush"), h.Entry<FEofFn>("FEof"),
            h.Entry<StatFn>("Stat"), h.Entry<FStatFn>("FStat"), h.Entry<OpenDirFn>("OpenDir"),
            h.Entry<CloseDirFn>("CloseDir"), h.Entry<NextDirEntryFn>("NextDirEntry")});
        callsFor_ = &h;
    }
    return *calls_;
}

std::string AdapterTest::ReadAll(void* file, int32_t block) {
    std::string all;
    std::string buffer(static_cast<size_t>(block), '\0');
    int32_t n;
    while ((n = A().FRead(file, buffer.data(), block)) > 0)
        all.append(buffer, 0, n);
    return all;
}

std::string AdapterTest::List(const std::string& path, bool details) {
    void* dir = A().OpenDir(path.c_str());
    if (dir == nullptr) return "(none)";
    std::string listed;
    StatRecord r;
    while (A().NextDirEntry(dir, &r) == 1) {
        for (const DateGroup& d : r.dates) {
            EXPECT_TRUE(d.year == r.dates[0].year && d.second == r.dates[0].second) << r.name;
        }
        EXPECT_EQ(r.originPath, nullptr);
        listed += (listed.empty() ? ""
                   : details      ? ", "
                                  : " ") +
                  std::string(r.name) + (r.kind == 1 ? "/" : "");
        if (details) listed += " " + std::to_string(r.size) + " " + std::to_string(r.dates[0].year);
    }
    EXPECT_EQ(A().NextDirEntry(dir, &r), 0) << "an exhausted listing stays exhausted";
    A().CloseDir(dir);
    return listed;
}

const std::string& AdapterTest::Big() {
    static const std::string big = CountingBytes(100000);
    return big;
}

std::string AdapterTest::MakePics() {
    const std::string path = Path("pics.zip");
    MakeZip(path, {{"img/", "", true, {2016, 1, 31, 23, 59, 58}},
                   {"img/a.png", Big()},
                   {"doc.txt", kDocText, false},
                   {"IMG/b.png", "bb"},
                   {"Img/sub/c.png", "c"},
                   {"doc/deep/x.txt", "x"},
                   {"empty.txt", ""}});
    return path;
}

}  // namespace zipcvx_test

#include "support/adapter_calls.h"

#include <stdlib.h>

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
        gSeenIndexCalloc = calloc;
        gPlugin.services = nullptr;
    }
    PluginHost::TearDown();
}

AdapterCalls& AdapterTest::A() {
    if (linked) {
#define ZIPCVX_LINKED(name, result, params) ::name,
        static AdapterCalls code{CVX_ENTRY_POINTS(ZIPCVX_LINKED)};
#undef ZIPCVX_LINKED
        return code;
    }
    if (callsFor_ != &host()) {
        const cvx::Host& h = host();
#define ZIPCVX_LOADED(name, result, params) h.entries().name,
        calls_ = {CVX_ENTRY_POINTS(ZIPCVX_LOADED)};
#undef ZIPCVX_LOADED
        callsFor_ = &h;
    }
    return calls_;
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
        listed += std::string(listed.empty() ? "" : details ? ", " : " ") + r.name;
        if (r.kind == 1) listed += "/";
        if (details) listed += " " + std::to_string(r.size) + " " + std::to_string(r.dates[0].year);
    }
    EXPECT_EQ(A().NextDirEntry(dir, &r), 0) << "an exhausted listing stays exhausted";
    A().CloseDir(dir);
    return listed;
}

void PicsTest::SetUp() {
    AdapterTest::SetUp();
    pics = Path("pics.zip");
    MakeZip(pics, {{"img/", "", true, {2016, 1, 31, 23, 59, 58}},
                   {"img/a.png", CountingBytes(100000)},
                   {"doc.txt", kDocText, false},
                   {"IMG/b.png", "bb"},
                   {"Img/sub/c.png", "c"},
                   {"doc/deep/x.txt", "x"},
                   {"empty.txt", ""}});
}

}  // namespace zipcvx_test

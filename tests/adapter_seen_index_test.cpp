// Listings of many subdirectories, where the index beside the seen list
// does the finding: each subdirectory once, at its first mention and in
// that mention's letter case, through every growth of the index, and the
// same listing when the index's table cannot be had.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cctype>
#include <set>
#include <vector>

#include "adapter/adapter_dir.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

// Names whose subdirectories are mentioned again and again, in other
// letter cases and out of order, beside names that only share a prefix
// (dir1, dir10, dir100) and files of the root.
std::vector<std::string> ManyNames() {
    std::vector<std::string> names;
    for (int i = 0; i < 300; ++i) {
        names.push_back("dir" + std::to_string(i) + "/a.txt");
        if (i % 3 == 0) names.push_back("DIR" + std::to_string(i / 2) + "/b.txt");
        if (i % 5 == 0) names.push_back("Dir" + std::to_string(299 - i) + "/");
        if (i % 7 == 0) names.push_back("file" + std::to_string(i) + ".txt");
    }
    names.push_back("dir1/x/y.txt");
    names.push_back("dIr10/");
    return names;
}

std::string Lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return s;
}

// The root's listing worked out from the names alone: (kind, name) pairs.
std::vector<std::pair<int32_t, std::string>> ExpectedRoot(const std::vector<std::string>& names) {
    std::vector<std::pair<int32_t, std::string>> listed;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        const size_t slash = name.find('/');
        if (slash == std::string::npos) {
            listed.push_back({0, name});
        } else if (seen.insert(Lower(name.substr(0, slash))).second) {
            listed.push_back({1, name.substr(0, slash)});
        }
    }
    return listed;
}

int gCallocCalls = 0;
int gCallocFailAt = 0;

void* CountingCalloc(size_t count, size_t size) {
    return ++gCallocCalls == gCallocFailAt ? nullptr : calloc(count, size);
}

// The plugin's code linked into the tests, so that the index's calloc
// can be replaced.
class SeenIndexListing : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        gPlugin.services = host().services();
        std::vector<ZipEntry> entries;
        for (const std::string& name : names_)
            entries.push_back({name, "x"});
        MakeZip(Path("many.zip"), entries);
    }
    void TearDown() override {
        gSeenIndexCalloc = calloc;
        gPlugin.services = nullptr;
        AdapterTest::TearDown();
    }

    // The root's listing; *indexed tells whether the index stayed in use.
    std::vector<std::pair<int32_t, std::string>> ListRoot(bool* indexed = nullptr) {
        std::vector<std::pair<int32_t, std::string>> listed;
        void* dir = ::OpenDir(Path("many.zip").c_str());
        EXPECT_NE(dir, nullptr);
        if (dir == nullptr) return listed;
        StatRecord r;
        while (::NextDirEntry(dir, &r) == 1)
            listed.push_back({r.kind, r.name});
        if (indexed != nullptr) {
            *indexed = static_cast<const AdapterDir*>(dir)->seenIndex.unusable == 0;
        }
        EXPECT_EQ(host().LiveBlocksByTag()["zcd"], CountSubdirs(listed));
        ::CloseDir(dir);
        return listed;
    }

    static int CountSubdirs(const std::vector<std::pair<int32_t, std::string>>& listed) {
        int n = 0;
        for (const auto& [kind, name] : listed)
            n += kind;
        return n;
    }

    const std::vector<std::string> names_ = ManyNames();
};

TEST_F(SeenIndexListing, EachSubdirectoryOnceAtItsFirstMention) {
    const auto expected = ExpectedRoot(names_);
    ASSERT_GT(CountSubdirs(expected), 256) << "the index must grow several times";
    bool indexed = false;
    EXPECT_EQ(ListRoot(&indexed), expected);
    EXPECT_TRUE(indexed);
    // A directory's own listing is not touched by names that merely share
    // its prefix.
    void* dir = ::OpenDir(Path("many.zip/DIR1").c_str());
    ASSERT_NE(dir, nullptr);
    StatRecord r;
    std::vector<std::string> inside;
    while (::NextDirEntry(dir, &r) == 1)
        inside.push_back(r.name);
    ::CloseDir(dir);
    EXPECT_EQ(inside, (std::vector<std::string>{"a.txt", "b.txt", "x"}));
}

// Without its table, at the start or at any growth, the index gives way
// to the walk of the list, and the listing stays the same.
TEST_F(SeenIndexListing, ATableThatCannotBeHadLeavesTheListingAsItIs) {
    const auto expected = ExpectedRoot(names_);
    gSeenIndexCalloc = CountingCalloc;
    for (int failAt : {1, 2, 4}) {
        gCallocCalls = 0;
        gCallocFailAt = failAt;
        bool indexed = true;
        EXPECT_EQ(ListRoot(&indexed), expected) << "table " << failAt << " failing";
        EXPECT_FALSE(indexed);
        EXPECT_EQ(gCallocCalls, failAt) << "no table is asked for once one failed";
    }
}

}  // namespace
}  // namespace zipcvx_test

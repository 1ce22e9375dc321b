// Directory listings: subdirectories, letter case, nesting, odd names, and
// many subdirectories, where the seen index does the finding.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <set>

#include "adapter/seen_index.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

using AdapterDirectory = PicsTest;

TEST_F(AdapterDirectory, ListsEachSubdirectoryOnceInEntryOrder) {
    EXPECT_EQ(List(pics, true), "img/ 0 2016, doc.txt 11 2017, doc/ 0 2031, empty.txt 0 2017");
    EXPECT_EQ(List(pics + "/IMG/", true), "a.png 100000 2017, b.png 2 2017, sub/ 0 2031")
        << "its own entry is never listed";
    EXPECT_EQ(List(pics + "\\iMg\\sUb", true), "c.png 1 2017");
    MakeZip(Path("empty.zip"), {});
    EXPECT_EQ(List(Path("empty.zip")), "") << "the root always exists";
}

TEST_F(AdapterDirectory, FilesAreNeverMergedAndOddNamesKeepTheirPlace) {
    MakeZip(Path("odd.zip"), {{"doc.txt", "1"}, {"/abs/x", "2"}, {"DOC.TXT", "33"}, {"a//b", "4"}});
    EXPECT_EQ(List(Path("odd.zip"), true), "doc.txt 1 2017, / 0 2031, DOC.TXT 2 2017, a/ 0 2031");
    EXPECT_EQ(List(Path("odd.zip/a")), "/");
}

TEST_F(AdapterDirectory, TwoListingsOpenAtOnceKeepTheirOwnPlace) {
    void* root = A().OpenDir(pics.c_str());
    void* img = A().OpenDir((pics + "/img").c_str());
    ASSERT_TRUE(root != nullptr && img != nullptr);
    StatRecord r;
    for (const auto& [dir, name] :
         {std::pair{img, "a.png"}, {root, "img"}, {img, "b.png"}, {root, "doc.txt"}}) {
        ASSERT_EQ(A().NextDirEntry(dir, &r), 1);
        EXPECT_STREQ(r.name, name);
    }
    EXPECT_EQ(host().LiveBlocksByTag()["zcd"], 1) << "one seen subdirectory, in the root";
    A().CloseDir(root);
    A().CloseDir(img);
}

// The linked code, whose seen index takes its tables from CountingCalloc:
// it counts its calls and fails the one numbered gFailAt (none when 0).
int gCalls, gFailAt;
void* CountingCalloc(size_t count, size_t size) {
    return ++gCalls == gFailAt ? nullptr : calloc(count, size);
}
class SeenIndexListing : public AdapterTest {
    void SetUp() override { linked = true, AdapterTest::SetUp(); }
};

// Subdirectories mentioned again, in other letter cases, beside names that
// share a prefix: each listed once, at its first mention, through every
// growth of the index and when a table cannot be had.
TEST_F(SeenIndexListing, EachSubdirectoryOnceAtItsFirstMention) {
    std::vector<ZipEntry> entries;
    std::string expected;
    std::set<std::string> seen;
    const auto add = [&](const std::string& name) {
        entries.push_back({name, "x"});
        const size_t slash = name.find('/');
        std::string lower = name.substr(0, slash);
        std::transform(lower.begin(), lower.end(), lower.begin(), tolower);
        if (slash != std::string::npos && !seen.insert(lower).second) return;
        expected += (expected.empty() ? "" : " ") +
                    name.substr(0, slash == std::string::npos ? slash : slash + 1);
    };
    for (int i = 0; i < 300; ++i) {
        add("dir" + std::to_string(i) + "/a.txt");
        if (i % 3 == 0) add("DIR" + std::to_string(i / 2) + "/b.txt");
        if (i % 5 == 0) add("Dir" + std::to_string(299 - i) + "/");
        if (i % 7 == 0) add("file" + std::to_string(i) + ".txt");
    }
    add("dir1/x/y.txt");
    add("dIr10/");
    ASSERT_GT(seen.size(), 256u) << "the index must grow several times";
    MakeZip(Path("many.zip"), entries);

    gSeenIndexCalloc = CountingCalloc;
    for (int failAt : {0, 1, 2, 4}) {
        gCalls = 0, gFailAt = failAt;
        EXPECT_EQ(List(Path("many.zip")), expected) << "table " << failAt << " failing";
        if (failAt == 0)
            EXPECT_GE(gCalls, 3) << "the index grew";
        else
            EXPECT_EQ(gCalls, failAt) << "no table is asked for once one failed";
    }
    EXPECT_EQ(List(Path("many.zip/DIR1")), "a.txt b.txt x/") << "dir10 and dir100 are not in it";
}

}  // namespace
}  // namespace zipcvx_test

// Directory listings through the loaded plugin, on the archives whose
// listings matter: subdirectories with and without entries of their own,
// letter case, nesting, empty archives and odd names.
#include <gtest/gtest.h>

#include <vector>

#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

struct Listed {
    int32_t kind;
    std::string name;
    int64_t size;
    int32_t year;  // of the first date group; the others are checked equal
    bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Listed& l) {
    return out << "{" << l.kind << ", " << l.name << ", " << l.size << ", " << l.year << "}";
}

class AdapterDirectory : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        ZipEntry img{"img/", ""};
        img.date[0] = 2015;
        MakeZip(Path("pics.zip"), {img,
                                   {"img/a.png", "aaaa"},
                                   {"doc.txt", "document"},
                                   {"IMG/b.png", "bb"},
                                   {"Img/sub/c.png", "c"}});
        MakeZip(Path("deep.zip"), {{"a/b/c.txt", "deep"}});
        MakeZip(Path("empty.zip"), {});
    }
    // The whole listing; a path that does not open gives nothing and sets opened.
    std::vector<Listed> List(const std::string& path, bool* opened = nullptr) {
        std::vector<Listed> listed;
        void* dir = A().OpenDir(path.c_str());
        if (opened != nullptr) *opened = dir != nullptr;
        if (dir == nullptr) return listed;
        StatRecord r;
        while (A().NextDirEntry(dir, &r) == 1) {
            EXPECT_EQ(r.dates[0].year, r.dates[1].year);
            EXPECT_EQ(r.dates[0].second, r.dates[2].second);
            EXPECT_EQ(r.originPath, nullptr);
            listed.push_back({r.kind, r.name, r.size, r.dates[0].year});
        }
        EXPECT_EQ(A().NextDirEntry(dir, &r), 0) << "an exhausted listing stays exhausted";
        A().CloseDir(dir);
        return listed;
    }
};

TEST_F(AdapterDirectory, ListsEachSubdirectoryOnceInEntryOrder) {
    EXPECT_EQ(List(Path("pics.zip")),
              (std::vector<Listed>{{1, "img", 0, 2015}, {0, "doc.txt", 8, 2017}}));
    const std::vector<Listed> img = {
        {0, "a.png", 4, 2017}, {0, "b.png", 2, 2017}, {1, "sub", 0, 2031}};
    EXPECT_EQ(List(Path("pics.zip/img")), img) << "its own entry is never listed";
    EXPECT_EQ(List(Path("pics.zip/IMG/")), img);
    EXPECT_EQ(List(Path("pics.zip\\iMg\\sUb")), (std::vector<Listed>{{0, "c.png", 1, 2017}}));
}

TEST_F(AdapterDirectory, DirectoriesKnownOnlyFromDeeperNames) {
    EXPECT_EQ(List(Path("deep.zip")), (std::vector<Listed>{{1, "a", 0, 2031}}));
    EXPECT_EQ(List(Path("deep.zip/a")), (std::vector<Listed>{{1, "b", 0, 2031}}));
    EXPECT_EQ(List(Path("deep.zip/a/b")), (std::vector<Listed>{{0, "c.txt", 4, 2017}}));
}

TEST_F(AdapterDirectory, OpensOnlyDirectoriesThatExist) {
    WriteFileBytes(Path("text.zip"), "plain text");
    const struct {
        std::string path;
        bool opens;
    } cases[] = {
        {Path("empty.zip"), true},  // the root always exists, even with nothing in it
        {Path("empty.zip/a"), false},
        {Path("deep.zip/a/b/c.txt"), false},
        {Path("deep.zip/a/b/c"), false},
        {Path("deep.zip/"), false},  // a separator with nothing behind it
        {Path("deep.zip/a/b/"), true},
        {Path("pics.zip/doc.txt"), false},
        {Path("pics.zip/im"), false},
        {Path("missing.zip"), false},
        {Path("text.zip"), false},
        {TempDir(), false},
    };
    for (const auto& c : cases) {
        bool opened = false;
        const size_t listed = List(c.path, &opened).size();
        EXPECT_EQ(opened, c.opens) << c.path;
        if (c.path == Path("empty.zip")) {
            EXPECT_EQ(listed, 0u);
        }
    }
    EXPECT_EQ(A().OpenDir(nullptr), nullptr);
}

TEST_F(AdapterDirectory, FilesAreNeverMergedAndOddNamesKeepTheirPlace) {
    MakeZip(Path("odd.zip"), {{"doc.txt", "1"}, {"/abs/x", "2"}, {"DOC.TXT", "33"}, {"a//b", "4"}});
    EXPECT_EQ(List(Path("odd.zip")), (std::vector<Listed>{{0, "doc.txt", 1, 2017},
                                                          {1, "", 0, 2031},
                                                          {0, "DOC.TXT", 2, 2017},
                                                          {1, "a", 0, 2031}}));
    EXPECT_EQ(List(Path("odd.zip/a")), (std::vector<Listed>{{1, "", 0, 2031}}));
}

TEST_F(AdapterDirectory, TwoListingsOpenAtOnceKeepTheirOwnPlace) {
    void* root = A().OpenDir(Path("pics.zip").c_str());
    void* img = A().OpenDir(Path("pics.zip/img").c_str());
    ASSERT_NE(root, nullptr);
    ASSERT_NE(img, nullptr);
    StatRecord r;
    ASSERT_EQ(A().NextDirEntry(img, &r), 1);
    EXPECT_STREQ(r.name, "a.png");
    ASSERT_EQ(A().NextDirEntry(root, &r), 1);
    EXPECT_STREQ(r.name, "img");
    ASSERT_EQ(A().NextDirEntry(img, &r), 1);
    EXPECT_STREQ(r.name, "b.png");
    ASSERT_EQ(A().NextDirEntry(root, &r), 1);
    EXPECT_STREQ(r.name, "doc.txt");
    EXPECT_EQ(host().LiveBlocksByTag()["zcd"], 1) << "one seen subdirectory, in the root";
    A().CloseDir(root);
    A().CloseDir(img);
}

// Without its node a subdirectory is still listed, and may come again.
TEST_F(AdapterDirectory, ASubdirectoryThatCannotBeRecordedIsListedAllTheSame) {
    host().FailNth(cvx::Fault::Alloc, 1, "zcd");
    EXPECT_EQ(
        List(Path("pics.zip")),
        (std::vector<Listed>{{1, "img", 0, 2015}, {1, "img", 0, 2031}, {0, "doc.txt", 8, 2017}}));
}

}  // namespace
}  // namespace zipcvx_test

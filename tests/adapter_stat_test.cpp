// Stat and FStat through the loaded plugin: files, directories with and
// without entries of their own, names returned, dates and long names.
#include <gtest/gtest.h>

#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

bool SameDate(const DateGroup& a, const DateGroup& b) {
    return a.second == b.second && a.minute == b.minute && a.hour == b.hour && a.day == b.day &&
           a.month == b.month && a.year == b.year;
}

class AdapterStat : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        ZipEntry dir{"img/", ""};
        dir.date[0] = 2016;
        dir.date[1] = 1;  // January
        dir.date[2] = 31;
        dir.date[3] = 23;
        dir.date[4] = 59;
        dir.date[5] = 58;
        MakeZip(Path("pics.zip"), {dir,
                                   {"img/a.png", std::string(1234, 'a')},
                                   {"doc/deep/x.txt", "x"},
                                   {"notes", "a file, not a directory"}});
    }
    // Stat's answer for an entry part, with its record.
    int32_t StatOf(const std::string& entryPart, StatRecord* record, int32_t flags = 0) {
        const std::string path = Path("pics.zip") + (entryPart.empty() ? "" : "/" + entryPart);
        return A().Stat(path.c_str(), flags, record);
    }
};

TEST_F(AdapterStat, DescribesFilesAndDirectories) {
    const DateGroup entryDate{2, 7, 9, 5, 2, 2017};  // 05-Mar-2017 09:07:02
    const DateGroup dirDate{58, 59, 23, 31, 0, 2016};
    const struct {
        const char* entryPart;
        int32_t result;
        int32_t kind = 0;
        int64_t size = 0;
        const char* name = nullptr;
        DateGroup date = {};
    } cases[] = {
        {"img/a.png", 1, 0, 1234, "img/a.png", entryDate},
        {"IMG/A.PNG", 1, 0, 1234, "img/a.png", entryDate},  // the stored letters
        {"IMG\\a.png", 1, 0, 1234, "img/a.png", entryDate},
        {"img", 1, 1, 0, "img/", dirDate},
        {"Img", 1, 1, 0, "Img/", dirDate},    // the caller's letters
        {"img/", 1, 1, 0, "img/", dirDate},   // its own entry found directly is a directory
        {"doc", 1, 1, 0, "doc/", kHostNow},   // known only from deeper names
        {"doc/", 1, 1, 0, "doc/", kHostNow},  // the '/' is not doubled
        {"DOC/Deep", 1, 1, 0, "DOC/Deep/", kHostNow},
        {"doc\\deep\\", 1, 1, 0, "doc/deep/", kHostNow},
        {"notes", 1, 0, 23, "notes", entryDate},
        {"notes/", 0},
        {"im", 0},
        {"do", 0},
        {"doc/deep/x", 0},
        {"missing", 0},
        {"", 0},  // the archive itself
    };
    for (const auto& c : cases) {
        StatRecord r;
        memset(&r, 0xA5, sizeof r);
        ASSERT_EQ(StatOf(c.entryPart, &r), c.result) << c.entryPart;
        if (c.result == 0) {
            EXPECT_EQ(r.name, nullptr) << "the record is cleared first: " << c.entryPart;
            continue;
        }
        EXPECT_EQ(r.kind, c.kind) << c.entryPart;
        EXPECT_EQ(r.size, c.size) << c.entryPart;
        EXPECT_STREQ(r.name, c.name) << c.entryPart;
        for (const DateGroup& d : r.dates)
            EXPECT_TRUE(SameDate(d, c.date)) << c.entryPart;
        EXPECT_EQ(r.originCode, 0);
        EXPECT_EQ(r.originPath, nullptr);
    }
}

TEST_F(AdapterStat, DeclinesPathsItDoesNotServe) {
    WriteFileBytes(Path("text.zip"), "plain text");
    StatRecord r;
    for (const std::string& path : {Path("missing.zip/a"), Path("text.zip/a"), Path("pics.zip/"),
                                    Path("pics.zipx/img"), Path("plain/img")}) {
        EXPECT_EQ(A().Stat(path.c_str(), 0, &r), 0) << path;
    }
    EXPECT_EQ(A().Stat(nullptr, 0, &r), 0);
    EXPECT_EQ(host().OpenFiles(), 0u);
}

TEST_F(AdapterStat, NamesGoToTheSharedBufferOrToABlockForTheCaller) {
    StatRecord first, second;
    ASSERT_EQ(StatOf("img/a.png", &first), 1);
    ASSERT_EQ(StatOf("notes", &second), 1);
    EXPECT_EQ(first.name, second.name) << "one shared buffer";
    EXPECT_STREQ(first.name, "notes");

    StatRecord full;
    ASSERT_EQ(StatOf("img/a.png", &full, kStatFullName | 1), 1);
    EXPECT_EQ(host().LiveBlocksByTag()["fullpath"], 1);
    ASSERT_EQ(StatOf("doc", &second, kStatFullName), 1);
    EXPECT_EQ(host().LiveBlocksByTag()["fullpath"], 2);
    EXPECT_STREQ(full.name, "img/a.png");
    EXPECT_STREQ(second.name, "doc/");
    EXPECT_EQ(host().blocks_.at(const_cast<char*>(full.name)).size, 10u) << "exactly its length";
    host().AdoptBlock(const_cast<char*>(full.name));
    host().AdoptBlock(const_cast<char*>(second.name));
}

TEST_F(AdapterStat, FStatWorksFromTheOpenHandle) {
    const std::string path = Path("pics.zip/IMG/a.png");
    void* file = A().FOpen(path.c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    const size_t opens = host().fault(cvx::Fault::OpenFile).calls;
    StatRecord r{};
    ASSERT_EQ(A().FStat(file, 0, &r), 1);
    EXPECT_EQ(host().fault(cvx::Fault::OpenFile).calls, static_cast<int64_t>(opens));
    EXPECT_EQ(r.kind, 0);
    EXPECT_EQ(r.size, 1234);
    EXPECT_STREQ(r.name, "img/a.png");
    EXPECT_EQ(r.originCode, 2);
    EXPECT_STREQ(r.originPath, Path("pics.zip").c_str());
    EXPECT_EQ(r.dates[2].year, 2017);
    ASSERT_EQ(A().FStat(file, kStatFullName, &r), 1);
    EXPECT_STREQ(r.name, "img/a.png");
    host().AdoptBlock(const_cast<char*>(r.name));
    A().FClose(file);

    file = A().FOpen(Path("pics.zip/img/").c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(A().FStat(file, 0, &r), 1);
    EXPECT_EQ(r.kind, 1) << "a directory entry is a directory";
    EXPECT_EQ(r.size, 0);
    A().FClose(file);
}

// Names are copied into 1024-byte buffers: whatever does not fit is
// declined or skipped, never written past the end.
TEST_F(AdapterStat, LongNamesNeverOverflowTheBuffers) {
    const std::string longFile(1100, 'n');
    const std::string tooLongDir(1024, 'e');
    const std::string longestDir(1022, 'd');
    MakeZip(Path("l.zip"), {{longFile, "x"}, {tooLongDir + "/x", "y"}, {longestDir + "/x", "z"}});
    StatRecord r;
    const std::string filePath = Path("l.zip/") + longFile;
    EXPECT_EQ(A().Stat(filePath.c_str(), kStatFullName, &r), 0) << "the path does not fit";
    EXPECT_EQ(A().FOpen(filePath.c_str(), kOpenRead, nullptr), nullptr);

    void* dir = A().OpenDir(Path("l.zip").c_str());
    ASSERT_NE(dir, nullptr);
    ASSERT_EQ(A().NextDirEntry(dir, &r), 1);
    EXPECT_EQ(r.kind, 1);
    EXPECT_EQ(r.name, longestDir) << "names too long for the buffer are skipped";
    EXPECT_EQ(A().NextDirEntry(dir, &r), 0);
    A().CloseDir(dir);

    ASSERT_EQ(A().Stat((Path("l.zip/") + longestDir).c_str(), 0, &r), 1);
    EXPECT_EQ(r.name, longestDir + "/");
    EXPECT_EQ(A().Stat((Path("l.zip/") + longestDir + "d").c_str(), 0, &r), 0)
        << "no room for the directory's '/'";
}

TEST_F(AdapterStat, LongStoredNamesNeedTheFullNameFlag) {
    const std::string stored = std::string(1030, 'n');
    MakeZip(Path("n.zip"), {{stored, "x"}});
    // The entry's name is longer than any path the split accepts; a handle
    // on it can only be had by index, white-box.
    zip_t* archive = zip_open(Path("n.zip").c_str(), ZIP_RDONLY, nullptr);
    ASSERT_NE(archive, nullptr);
    AdapterFile file{};
    file.archive = archive;
    ASSERT_EQ(zip_stat_index(archive, 0, 0, &file.entry), 0);
    StatRecord r{};
    EXPECT_EQ(A().FStat(&file, 0, &r), 0);
    ASSERT_EQ(A().FStat(&file, kStatFullName, &r), 1);
    EXPECT_EQ(r.name, stored);
    host().AdoptBlock(const_cast<char*>(r.name));
    zip_discard(archive);
}

}  // namespace
}  // namespace zipcvx_test

// Which paths the adapter serves, and what Stat and FStat say of them: files, directories with and
// without entries of their own, names, dates and long names.
#include <gtest/gtest.h>

#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

using AdapterStat = PicsTest;

enum Served { kNothing = 0, kOpens = 1, kLists = 2 };

TEST_F(AdapterStat, ServesOnlyWhatExistsAndDescribesIt) {
    WriteFileBytes(Path("text.zip"), "not a zip archive at all");
    WriteFileBytes(Path("cut.zip"), ReadFileBytes(pics).substr(0, 300));
    MakeZip(Path("alike.zip"),
            {{"readme.txt", "lower"}, {"README.txt", "UPPER!"}, {"docs\\readme.txt", "win"}});
    // "huge" records a zip64 size of 2^63 + 5, beyond the record's signed size.
    ASSERT_EQ(Shell("python3 -c \"import sys, zipfile, struct\n"
                    "zipfile.ZIP64_LIMIT = 0\n"
                    "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                    "    z.writestr('huge', 'h'); z.writestr('small', 's')\n"
                    "d = bytearray(open(sys.argv[1], 'rb').read())\n"
                    "at = d.index(b'PK\\x01\\x02') + 46 + 4 + 4\n"
                    "struct.pack_into('<Q', d, at, 2**63 + 5)\n"
                    "open(sys.argv[1], 'wb').write(d)\" '" +
                    Path("z64.zip") + "'"),
              0);
    const struct {
        std::string path;
        int served;
        int32_t kind = -1;  // what Stat gives; -1: it declines
        int64_t size = 0;
        const char* name = nullptr;
        DateGroup date = {};
    } cases[] = {
        {"pics.zip/img/a.png", kOpens, 0, 100000, "img/a.png", kEntryDate},
        {"pics.zip/IMG/A.PNG", kOpens, 0, 100000, "img/a.png", kEntryDate},  // the stored letters
        {"pics.zip/doc.txt", kOpens, 0, 11, "doc.txt", kEntryDate},
        {"pics.zip/empty.txt", kOpens, 0, 0, "empty.txt", kEntryDate},
        {"pics.zip/img", kLists, 1, 0, "img/", kImgDate},
        {"pics.zip/Img", kLists, 1, 0, "Img/", kImgDate},            // the caller's letters
        {"pics.zip/img/", kOpens | kLists, 1, 0, "img/", kImgDate},  // its own entry
        {"pics.zip/doc", kLists, 1, 0, "doc/", kHostNow},            // known only from deeper names
        {"pics.zip/doc/", kLists, 1, 0, "doc/", kHostNow},           // the '/' is not doubled
        {"pics.zip/doc\\deep\\", kLists, 1, 0, "doc/deep/", kHostNow},
        {"pics.zip", kLists},     // the archive itself
        {"pics.zip/", kNothing},  // a separator with nothing behind it
        {"pics.zip/doc.txt/", kNothing},
        {"pics.zip/im", kNothing},
        {"missing.zip/doc.txt", kNothing},
        {"text.zip/doc.txt", kNothing},
        {"cut.zip/doc.txt", kNothing},
        {"pics.zipped/doc.txt", kNothing},
        {"alike.zip/README.txt", kOpens, 0, 6, "README.txt", kEntryDate},  // exact names first
        {"alike.zip/readme.txt", kOpens, 0, 5, "readme.txt", kEntryDate},
        {"alike.zip/ReadMe.txt", kOpens, 0, 5, "readme.txt", kEntryDate},  // else the first
        {"alike.zip/Docs\\readme.txt", kOpens, 0, 3, "docs\\readme.txt", kEntryDate},  // as listed
        {"z64.zip/huge", kNothing},
        {"doc.txt", kNothing},
        {"", kNothing},
    };
    for (const auto& c : cases) {
        const std::string path = c.path.empty() ? TempDir() : Path(c.path);
        StatRecord r;
        memset(&r, 0xA5, sizeof r);
        ASSERT_EQ(A().Stat(path.c_str(), 0, &r), c.kind >= 0 ? 1 : 0) << c.path;
        if (c.kind < 0) {
            EXPECT_EQ(r.name, nullptr) << "the record is cleared first: " << c.path;
        } else {
            EXPECT_EQ(r.kind, c.kind) << c.path;
            EXPECT_EQ(r.size, c.size) << c.path;
            EXPECT_STREQ(r.name, c.name) << c.path;
            for (const DateGroup& d : r.dates)
                EXPECT_EQ(memcmp(&d, &c.date, sizeof d), 0) << c.path;
            EXPECT_EQ(r.originCode, 0);
            EXPECT_EQ(r.originPath, nullptr);
        }
        void* file = Open(path);
        EXPECT_EQ(file != nullptr, (c.served & kOpens) != 0) << "FOpen " << c.path;
        if (file != nullptr) A().FClose(file);
        void* dir = A().OpenDir(path.c_str());
        EXPECT_EQ(dir != nullptr, (c.served & kLists) != 0) << "OpenDir " << c.path;
        if (dir != nullptr) A().CloseDir(dir);
    }
    EXPECT_EQ(List(Path("z64.zip")), "small") << "a size beyond the record is not listed";
    for (const char* name : {"README.txt", "readme.txt", "ReadMe.txt"}) {
        void* file = Open(Path("alike.zip/") + name);
        EXPECT_EQ(ReadAll(file, 100), name[1] == 'E' ? "UPPER!" : "lower") << name;
        A().FClose(file);
    }
    StatRecord r;
    EXPECT_EQ(A().Stat(nullptr, 0, &r) + (A().OpenDir(nullptr) != nullptr), 0);
    EXPECT_TRUE(A().FOpen(nullptr, kOpenRead, nullptr) == nullptr && Open("") == nullptr);
}

TEST_F(AdapterStat, NamesGoToTheSharedBufferOrToABlockForTheCaller) {
    StatRecord first, second, full;
    ASSERT_EQ(A().Stat((pics + "/img/a.png").c_str(), 0, &first), 1);
    ASSERT_EQ(A().Stat((pics + "/doc.txt").c_str(), 0, &second), 1);
    EXPECT_TRUE(first.name == second.name && !strcmp(first.name, "doc.txt")) << "one buffer";
    ASSERT_EQ(A().Stat((pics + "/img/a.png").c_str(), kStatFullName | 1, &full), 1);
    ASSERT_EQ(A().Stat((pics + "/doc").c_str(), kStatFullName, &second), 1);
    EXPECT_EQ(host().LiveBlocksByTag()["fullpath"], 2);
    EXPECT_STREQ(full.name, "img/a.png");
    EXPECT_STREQ(second.name, "doc/");
    EXPECT_EQ(host().BlockSize(full.name), 10u) << "exactly its length";
    host().AdoptBlock(const_cast<char*>(full.name));
    host().AdoptBlock(const_cast<char*>(second.name));
}

TEST_F(AdapterStat, FStatWorksFromTheOpenHandle) {
    for (const auto& [name, kind, size] : {std::tuple{"IMG/a.png", 0, 100000}, {"img/", 1, 0}}) {
        void* file = Open(pics + "/" + name);
        ASSERT_NE(file, nullptr);
        const int64_t opens = host().fault(cvx::Fault::OpenFile).calls;
        StatRecord r{};
        ASSERT_EQ(A().FStat(file, kStatFullName, &r), 1);
        EXPECT_EQ(host().fault(cvx::Fault::OpenFile).calls, opens);
        EXPECT_EQ(r.kind, kind) << name;
        EXPECT_EQ(r.size, size) << name;
        EXPECT_STREQ(r.name, kind == 0 ? "img/a.png" : "img/");
        EXPECT_EQ(r.originPath, pics);
        EXPECT_EQ(memcmp(&r.dates[2], kind == 0 ? &kEntryDate : &kImgDate, sizeof r.dates[2]), 0);
        host().AdoptBlock(const_cast<char*>(r.name));
        A().FClose(file);
    }
    // A name ending in '/' that holds data: what FStat says matches the reads.
    MakeZip(Path("d.zip"), {{"d/", "data!"}});
    void* file = Open(Path("d.zip/d/"));
    StatRecord r{};
    ASSERT_EQ(A().FStat(file, 0, &r), 1);
    EXPECT_TRUE(r.kind == 0 && r.size == 5) << r.kind << " " << r.size;
    EXPECT_EQ(ReadAll(file), "data!");
    A().FClose(file);
}

// Names are copied into 1024-byte buffers: whatever does not fit is
// declined or skipped, never written past the end.
TEST_F(AdapterStat, LongNamesNeverOverflowTheBuffers) {
    const std::string longFile(1100, 'n');
    const std::string longestDir(1022, 'd');
    MakeZip(Path("l.zip"),
            {{longFile, "x"}, {std::string(1024, 'e') + "/x", "y"}, {longestDir + "/x", "z"}});
    StatRecord r;
    const std::string filePath = Path("l.zip/") + longFile;
    EXPECT_EQ(A().Stat(filePath.c_str(), kStatFullName, &r), 0) << "the path does not fit";
    EXPECT_EQ(Open(filePath), nullptr);
    EXPECT_EQ(List(Path("l.zip")), longestDir + "/") << "names too long for the buffer are skipped";
    ASSERT_EQ(A().Stat((Path("l.zip/") + longestDir).c_str(), 0, &r), 1);
    EXPECT_EQ(r.name, longestDir + "/");
    EXPECT_EQ(A().Stat((Path("l.zip/") + longestDir + "d").c_str(), 0, &r), 0)
        << "no room for the directory's '/'";
}

}  // namespace
}  // namespace zipcvx_test

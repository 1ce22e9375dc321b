// The adapter's file handles through the loaded plugin: which paths open,
// the entry cache, seeking, the end of an entry, and corrupt entries.
#include <gtest/gtest.h>

#include <climits>

#include "archive/entry_stream_end.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

class AdapterFiles : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        big = CountingBytes(100000);
        MakeZip(Path("pics.zip"), {{"img/", ""},
                                   {"img/a.png", big},
                                   {"readme.txt", "hello, world\n", false},
                                   {"empty.txt", ""}});
    }
    void* Open(const std::string& entry, int32_t mode = kOpenRead) {
        return A().FOpen((Path("pics.zip") + "/" + entry).c_str(), mode, nullptr);
    }
    std::string big;
};

TEST_F(AdapterFiles, DeclinesWhatItDoesNotServe) {
    WriteFileBytes(Path("text.zip"), "not a zip archive at all");
    const std::string whole = ReadFileBytes(Path("pics.zip"));
    WriteFileBytes(Path("cut.zip"), whole.substr(0, whole.size() / 2));
    ASSERT_EQ(Shell("cd '" + TempDir() + "' && echo secret > s.txt && zip -q -P pw enc.zip s.txt"),
              0);
    const struct {
        std::string path;
        int32_t mode;
    } cases[] = {
        {Path("pics.zip"), kOpenRead},              // the archive itself
        {Path("pics.zip/"), kOpenRead},             // trailing separator
        {Path("pics.zip/readme.txt"), kOpenWrite},  // no read flag
        {Path("pics.zip/readme.txt"), 0},
        {Path("pics.zip/missing.txt"), kOpenRead},
        {Path("pics.zip/readme"), kOpenRead},
        {Path("missing.zip/readme.txt"), kOpenRead},
        {Path("text.zip/readme.txt"), kOpenRead},
        {Path("cut.zip/readme.txt"), kOpenRead},
        {Path("enc.zip/s.txt"), kOpenRead},  // no password is ever given
        {Path("pics.zipped/readme.txt"), kOpenRead},
        {Path("readme.txt"), kOpenRead},
        {"", kOpenRead},
    };
    for (const auto& c : cases) {
        void* file = A().FOpen(c.path.c_str(), c.mode, nullptr);
        EXPECT_EQ(file, nullptr) << c.path << " mode " << c.mode;
        if (file != nullptr) A().FClose(file);
        EXPECT_EQ(host().LiveBlocks(), 0u) << c.path;
        EXPECT_EQ(host().OpenFiles(), 0u) << c.path;
    }
    EXPECT_EQ(A().FOpen(nullptr, kOpenRead, nullptr), nullptr);
}

TEST_F(AdapterFiles, OpensEntriesWithoutRegardToLetterCase) {
    for (const char* name : {"readme.txt", "README.TXT", "Readme.Txt", "IMG\\A.PNG"}) {
        void* file = Open(name, kOpenRead | kOpenWrite);  // read and write is served read-only
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(ReadAll(file), std::string(name)[0] == 'I' ? big : "hello, world\n") << name;
        EXPECT_EQ(A().FWrite(file, "x", 1), 0);
        EXPECT_EQ(A().FPutC(file, 'x'), 0);
        EXPECT_EQ(A().FFlush(file), 0);
        EXPECT_EQ(A().FClose(file), 1);
    }
}

TEST_F(AdapterFiles, CacheGrowsByWholeChunksAndReadsBackwardsFromMemory) {
    void* file = Open("img/a.png");
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    EXPECT_EQ(r.size, 100000);
    EXPECT_EQ(r.cache, nullptr);

    char buffer[32];
    ASSERT_EQ(A().FRead(file, buffer, 10), 10);
    EXPECT_EQ(std::string(buffer, 10), big.substr(0, 10));
    EXPECT_EQ(r.fetched, 65536);
    EXPECT_EQ(r.cached, 65536);

    EXPECT_EQ(A().FSeek(file, 70000, kSeekStart), 10);
    ASSERT_EQ(A().FGetC(file), static_cast<unsigned char>(big[70000]));
    EXPECT_EQ(r.fetched, 100000);  // the remaining 34,464 bytes in one chunk
    EXPECT_EQ(r.cached, 100000);

    EXPECT_EQ(A().FSeek(file, 20, kSeekStart), 70001);
    EXPECT_EQ(A().FSeek(file, -5, kSeekCurrent), 20);
    ASSERT_EQ(A().FRead(file, buffer, 5), 5);
    EXPECT_EQ(std::string(buffer, 5), big.substr(15, 5));
    EXPECT_EQ(r.position, 20);
    EXPECT_EQ(r.fetched, 100000);
    A().FClose(file);
}

TEST_F(AdapterFiles, ALargeReadFetchesAsManyChunksAsItNeeds) {
    void* file = Open("img/a.png");
    ASSERT_NE(file, nullptr);
    std::string all(200000, '\0');
    EXPECT_EQ(A().FSeek(file, 3, kSeekStart), 0);
    EXPECT_EQ(A().FRead(file, all.data(), 200000), 100000 - 3);
    EXPECT_EQ(all.substr(0, 100000 - 3), big.substr(3));
    EXPECT_EQ(A().FEof(file), 1);
    EXPECT_EQ(A().FRead(file, all.data(), 1), 0);
    EXPECT_EQ(A().FGetC(file), -1);
    A().FClose(file);
}

TEST_F(AdapterFiles, SeekReturnsTheOldPositionAndAcceptsAnyTarget) {
    void* file = Open("readme.txt");
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    char c;
    EXPECT_EQ(A().FSeek(file, 0, kSeekEnd), 0);
    EXPECT_EQ(r.position, 13);
    EXPECT_EQ(A().FEof(file), 1);
    EXPECT_EQ(A().FRead(file, &c, 1), 0);
    EXPECT_EQ(A().FSeek(file, -1, kSeekEnd), 13);
    EXPECT_EQ(A().FGetC(file), '\n');
    EXPECT_EQ(A().FSeek(file, 1000, kSeekStart), 13);  // past the end
    EXPECT_EQ(A().FEof(file), 1);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(A().FSeek(file, 4, 7), 1000);  // an unknown mode moves nothing
    EXPECT_EQ(r.position, 1000);
    EXPECT_EQ(r.cached, 13) << "seeking reads nothing";
    A().FClose(file);
}

// Negative counts and positions, and sums that do not fit, are refused;
// a seek whose target cannot be represented leaves the position.
TEST_F(AdapterFiles, RefusesNegativeAndOverflowingReads) {
    void* file = Open("readme.txt");
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    char buffer[16];
    EXPECT_EQ(A().FRead(file, buffer, -1), 0);
    EXPECT_EQ(A().FRead(file, buffer, INT32_MIN), 0);
    EXPECT_EQ(A().FSeek(file, -3, kSeekStart), 0);
    EXPECT_EQ(A().FRead(file, buffer, 5), 0);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(A().FEof(file), 0);
    EXPECT_EQ(A().FSeek(file, INT64_MAX - 2, kSeekStart), -3);
    EXPECT_EQ(A().FRead(file, buffer, 16), 0);
    EXPECT_EQ(A().FSeek(file, 10, kSeekCurrent), INT64_MAX - 2);
    EXPECT_EQ(r.position, INT64_MAX - 2);
    EXPECT_EQ(A().FSeek(file, INT64_MIN, kSeekStart), INT64_MAX - 2);
    EXPECT_EQ(A().FSeek(file, -1, kSeekCurrent), INT64_MIN);
    EXPECT_EQ(r.position, INT64_MIN);
    EXPECT_EQ(A().FSeek(file, INT64_MAX, kSeekEnd), INT64_MIN);
    EXPECT_EQ(r.position, INT64_MIN);
    EXPECT_EQ(r.cache, nullptr);
    EXPECT_EQ(A().FSeek(file, 0, kSeekStart), INT64_MIN);
    EXPECT_EQ(A().FRead(file, buffer, 5), 5);
    A().FClose(file);
}

TEST_F(AdapterFiles, EmptyAndDirectoryEntriesEndAtOnce) {
    for (const char* name : {"empty.txt", "img/", "IMG/"}) {
        void* file = Open(name);
        ASSERT_NE(file, nullptr) << name;
        char c;
        EXPECT_EQ(A().FEof(file), 1) << name;
        EXPECT_EQ(A().FRead(file, &c, 1), 0) << name;
        EXPECT_EQ(A().FGetC(file), -1) << name;
        A().FClose(file);
    }
}

TEST_F(AdapterFiles, TwoHandlesOnOneEntryAreIndependent) {
    void* one = Open("img/a.png");
    void* two = Open("IMG/A.png");
    ASSERT_NE(one, nullptr);
    ASSERT_NE(two, nullptr);
    A().FSeek(one, 99999, kSeekStart);
    EXPECT_EQ(A().FGetC(one), static_cast<unsigned char>(big[99999]));
    EXPECT_EQ(A().FGetC(two), 0);
    EXPECT_EQ(FileRecord(two).cached, 65536);
    A().FClose(one);
    EXPECT_EQ(ReadAll(two).size(), 100000u - 1);
    A().FClose(two);
}

// libzip checks the CRC, and notices data beyond the declared size, only on
// the read that reaches the end of the stream; the adapter makes that read
// when its cache reaches the entry's size.
TEST_F(AdapterFiles, CorruptEntriesFailOnTheReadThatNeedsTheLastChunk) {
    MakeZip(Path("bad.zip"), {{"big.bin", big, false},
                              {"small.txt", "some text that is short", true},
                              {"long.txt", std::string(5000, 'x'), true}});
    CorruptCrc(Path("bad.zip"), "big.bin");
    CorruptCrc(Path("bad.zip"), "small.txt");
    UnderstateSize(Path("bad.zip"), "long.txt", 10);

    void* file = A().FOpen(Path("bad.zip/big.bin").c_str(), kOpenRead, nullptr);
    ASSERT_NE(file, nullptr);
    const AdapterFile& r = FileRecord(file);
    std::string buffer(100000, '\0');
    ASSERT_EQ(A().FRead(file, buffer.data(), 1000), 1000) << "the first chunk is not the last";
    A().FSeek(file, 70000, kSeekStart);
    EXPECT_EQ(A().FRead(file, buffer.data(), 10), 0);
    EXPECT_EQ(A().FGetC(file), -1);
    EXPECT_EQ(r.position, 70000);
    EXPECT_EQ(r.cached, 65536) << "the last chunk is not kept";
    EXPECT_EQ(A().FSeek(file, 100, kSeekStart), 70000);
    ASSERT_EQ(A().FRead(file, buffer.data(), 10), 10) << "cached bytes stay readable";
    EXPECT_EQ(buffer.substr(0, 10), big.substr(100, 10));
    A().FClose(file);

    for (const char* name : {"small.txt", "long.txt"}) {
        file = A().FOpen((Path("bad.zip/") + name).c_str(), kOpenRead, nullptr);
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(A().FGetC(file), -1) << name;
        EXPECT_EQ(A().FRead(file, buffer.data(), 4), 0) << name;
        A().FClose(file);
    }
}

// The exception for AE-2 entries, checked on libzip directly: the adapter
// itself never has a password.
TEST(EntryStreamEnd, AcceptsOnlyTheSpuriousCrcErrorOfAe2Entries) {
    char pattern[] = "/tmp/zipcvx-ae2-XXXXXX";
    const std::string dir = mkdtemp(pattern);
    ASSERT_EQ(Shell("cd '" + dir + "' && seq 1 20000 > t.txt && head -c 3000 /dev/urandom > r.bin" +
                    " && 7zz a -tzip -pSecret -mem=AES256 aes.zip t.txt r.bin >/dev/null" +
                    " && zip -q -P Secret trad.zip t.txt"),
              0);
    MakeZip(dir + "/crc.zip", {{"t.txt", std::string(3000, 'y')}});
    CorruptCrc(dir + "/crc.zip", "t.txt");
    const struct {
        const char* archive;
        bool clean;
    } cases[] = {{"aes.zip", true}, {"trad.zip", true}, {"crc.zip", false}};
    for (const auto& c : cases) {
        zip_t* archive = zip_open((dir + "/" + c.archive).c_str(), ZIP_RDONLY, nullptr);
        ASSERT_NE(archive, nullptr) << c.archive;
        zip_set_default_password(archive, "Secret");
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
            zip_stat_t entry;
            ASSERT_EQ(zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &entry), 0);
            zip_file_t* stream = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
            ASSERT_NE(stream, nullptr) << c.archive;
            std::string bytes(entry.size, '\0');
            ASSERT_EQ(zip_fread(stream, bytes.data(), entry.size),
                      static_cast<zip_int64_t>(entry.size));
            EXPECT_EQ(EntryStreamEndsCleanly(stream, entry), c.clean) << c.archive << " " << i;
            if (std::string(c.archive) == "aes.zip") {
                EXPECT_EQ(entry.crc, 0u) << "7-Zip writes AES entries in the AE-2 form";
                EXPECT_EQ(entry.encryption_method, ZIP_EM_AES_256);
            }
            zip_fclose(stream);
        }
        zip_discard(archive);
    }
    Shell("rm -rf '" + dir + "'");
}

}  // namespace
}  // namespace zipcvx_test

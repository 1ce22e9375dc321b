// FOpen's open tags: archives named by the host's own values (in memory, or inside another open
// file), and the source names asked of hosts before and after 7.1.
#include <gtest/gtest.h>

#include <vector>

#include "host/services.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

// Hosts before 7.1, at 7.1 and after: version * 100 + revision.
class AdapterOpenTags : public AdapterTest, public ::testing::WithParamInterface<int> {
  protected:
    void SetUp() override {
        options.version = GetParam() / 100;
        options.revision = GetParam() % 100;
        options.logCalls = true;
        AdapterTest::SetUp();
        MakeZip(Path("memory.zip"), {{"a.txt", "from memory"}});
        MakeZip(Path("inner.zip"), {{"a.txt", "from the file"}});
        memory = ReadFileBytes(Path("memory.zip"));
        WriteFileBytes(Path("outer.bin"), std::string(777, '#') + ReadFileBytes(Path("inner.zip")));
        outer = cvx::FileServiceTable()->OpenFile(Path("outer.bin").c_str(), kOpenRead);
        ASSERT_NE(outer, 0u);
    }
    // Opens x.zip/a.txt with the tags, reads it whole and closes it.
    std::string ReadWithTags(std::vector<TagItem> tags) {
        tags.push_back({0, 0});
        void* file = Open("x.zip/A.TXT", kOpenRead, tags.data());
        const std::string all = file != nullptr ? ReadAll(file) : "(null)";
        if (file != nullptr) A().FClose(file);
        return all;
    }
    // The logged calls that name a source, each followed by a space.
    std::string SourceNames() {
        std::string found;
        for (const std::string& c : host().calls())
            if (c.find("SourceFileName(") != std::string::npos) found += c + " ";
        host().calls().clear();
        return found;
    }
    // A MakeSourceFileName (host 7.1 on) or CreateSourceFileName call.
    std::string Named(uint64_t value, int tag4, int flag = 0) {
        const std::string size = std::to_string(memory.size()) + ",";
        return GetParam() >= 701 ? "MakeSourceFileName(" + std::to_string(value) + ",0,zip," +
                                       size + std::to_string(tag4) + ") "
                                 : "CreateSourceFileName(" + std::to_string(value) + "," + size +
                                       std::to_string(tag4) + "," + std::to_string(flag) + ") ";
    }
    std::string memory;
    HostFile outer = 0;
};

TEST_P(AdapterOpenTags, OpensWhatTheTagsNameAndNamesTheSource) {
    const uintptr_t inMemory = reinterpret_cast<uintptr_t>(memory.data());
    cvx::FileServiceTable()->SeekFile(outer, 5, kSeekStart);
    EXPECT_EQ(ReadWithTags({{5, outer}, {4, 777}}), "from the file");
    EXPECT_EQ(ReadWithTags({{5, outer}, {4, 776}}), "(null)") << "an offset that misses";
    EXPECT_EQ(ReadWithTags({{2, inMemory}, {3, 100}}), "(null)") << "a truncated archive";
    EXPECT_EQ(ReadWithTags({{1, 5}, {6, 7}}), "(null)") << "no tag names an archive";
    EXPECT_EQ(cvx::FileServiceTable()->SeekFile(outer, 0, kSeekCurrent), 5)
        << "the outer file keeps its position";
    host().calls().clear();
    void* file = Open(Path("memory.zip") + "/a.txt");
    ASSERT_NE(file, nullptr);
    A().FClose(file);
    EXPECT_EQ(SourceNames(), "") << "plain paths need no source names";
    EXPECT_EQ(ReadWithTags({{2, inMemory}, {3, memory.size()}}), "from memory");
    // Only an older host's name is released at FClose.
    EXPECT_EQ(SourceNames(),
              Named(inMemory, 0) + (GetParam() >= 701 ? "" : "FreeSourceFileName(cvx-source:4) "));
    // With both tags an older host is given tag 5 and the flag 1, a newer one
    // tag 2 in the descriptor's first word and 0 in its second; tag 4 goes
    // with tag 2 as well, and here points past the memory archive.
    std::vector<TagItem> tags = {{3, memory.size()}, {2, 1},   {9, 99},
                                 {5, outer},         {4, 777}, {2, inMemory}};
    if (GetParam() >= 701) {
        EXPECT_EQ(ReadWithTags(tags), "(null)");
        tags.push_back({4, 0});
        EXPECT_EQ(ReadWithTags(tags), "from memory");
        EXPECT_EQ(SourceNames(), Named(inMemory, 777) + Named(inMemory, 0));
    } else {
        EXPECT_EQ(ReadWithTags(tags), "from the file");
        EXPECT_EQ(SourceNames(), Named(outer, 777, 1) + "FreeSourceFileName(cvx-source:5) ");
    }
    cvx::FileServiceTable()->CloseFile(outer);
    EXPECT_EQ(ReadWithTags({{5, outer}, {4, 777}}), "(null)") << "a file no longer open";
}

INSTANTIATE_TEST_SUITE_P(Hosts, AdapterOpenTags, ::testing::Values(700, 701, 800));

}  // namespace
}  // namespace zipcvx_test

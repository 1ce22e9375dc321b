// FOpen's open tags: archives named by the host's own values (in memory, or
// inside another open file), on hosts before and after 7.1.
#include <gtest/gtest.h>

#include <vector>

#include "host/services.h"
#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

struct HostVersion {
    uint32_t version;
    uint32_t revision;
};

class AdapterOpenTags : public AdapterTest, public ::testing::WithParamInterface<HostVersion> {
  protected:
    void SetUp() override {
        options.version = GetParam().version;
        options.revision = GetParam().revision;
        options.logCalls = true;
        AdapterTest::SetUp();
        MakeZip(Path("memory.zip"), {{"a.txt", "from memory"}});
        MakeZip(Path("inner.zip"), {{"a.txt", "from the file"}});
        memory = ReadFileBytes(Path("memory.zip"));
        WriteFileBytes(Path("outer.bin"), std::string(777, '#') + ReadFileBytes(Path("inner.zip")));
        outer = cvx::FileServiceTable()->OpenFile(Path("outer.bin").c_str(), kOpenRead);
        ASSERT_NE(outer, 0u);
    }
    void TearDown() override {
        if (outer != 0) cvx::FileServiceTable()->CloseFile(outer);
        AdapterTest::TearDown();
    }
    bool NewHost() const { return GetParam().version > 7 || GetParam().revision >= 1; }
    // Opens x.zip/a.txt with the tags, reads it whole and closes it.
    std::string ReadWithTags(std::vector<TagItem> tags) {
        tags.push_back({0, 0});
        void* file = Open("x.zip/A.TXT", kOpenRead, tags.data());
        if (file == nullptr) return "(null)";
        const std::string all = ReadAll(file);
        A().FClose(file);
        return all;
    }
    std::vector<std::string> Calls(const std::string& prefix) {
        std::vector<std::string> found;
        for (const std::string& c : host().calls()) {
            if (c.rfind(prefix, 0) == 0) found.push_back(c);
        }
        return found;
    }
    uintptr_t Memory() const { return reinterpret_cast<uintptr_t>(memory.data()); }
    std::string MadeName() {
        return "MakeSourceFileName(" + std::to_string(Memory()) + ",0,zip," +
               std::to_string(memory.size()) + ",0)";
    }
    std::string memory;
    HostFile outer = 0;
};

TEST_P(AdapterOpenTags, OpensWhatTheTagsNameAndNothingElse) {
    cvx::FileServiceTable()->SeekFile(outer, 5, kSeekStart);
    const std::pair<std::vector<TagItem>, std::string> cases[] = {
        {{{2, Memory()}, {3, memory.size()}}, "from memory"},
        {{{5, outer}, {4, 777}}, "from the file"},
        {{{5, outer}, {4, 776}}, "(null)"},  // an offset that misses
        {{{5, 12345}}, "(null)"},
        {{{2, Memory()}, {3, 10}, {4, 11}}, "(null)"},
        {{{2, Memory()}, {3, 100}}, "(null)"},  // a truncated archive
        {{{1, 5}, {6, 7}}, "(null)"},           // no tag names an archive
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(ReadWithTags(cases[i].first), cases[i].second) << "case " << i;
    EXPECT_EQ(cvx::FileServiceTable()->SeekFile(outer, 0, kSeekCurrent), 5)
        << "the outer file keeps its position";
    cvx::FileServiceTable()->CloseFile(outer);
    EXPECT_EQ(ReadWithTags({{5, outer}, {4, 777}}), "(null)") << "a file no longer open";
    outer = 0;
}

TEST_P(AdapterOpenTags, NamesTheSourceAsTheHostVersionWants) {
    EXPECT_EQ(ReadWithTags({{1, 5}, {6, 7}}), "(null)");
    void* file = Open(Path("memory.zip") + "/a.txt");
    ASSERT_NE(file, nullptr);
    A().FClose(file);
    EXPECT_TRUE(Calls("MakeSourceFileName").empty() && Calls("CreateSourceFileName").empty())
        << "plain paths need no source names";
    EXPECT_EQ(ReadWithTags({{2, Memory()}, {3, memory.size()}}), "from memory");
    if (NewHost()) {
        EXPECT_EQ(Calls("MakeSourceFileName"), std::vector<std::string>{MadeName()});
        EXPECT_TRUE(Calls("CreateSourceFileName").empty());
    } else {
        EXPECT_EQ(Calls("CreateSourceFileName"),
                  std::vector<std::string>{"CreateSourceFileName(" + std::to_string(Memory()) +
                                           "," + std::to_string(memory.size()) + ",0,0)"});
        EXPECT_EQ(Calls("FreeSourceFileName").size(), 1u) << "released at FClose";
        EXPECT_TRUE(Calls("MakeSourceFileName").empty());
    }
}

// With both tags an older host is given tag 5 and the flag 1, a newer one
// tag 2 in the descriptor's first word and 0 in its second.
TEST_P(AdapterOpenTags, ChoosesBetweenTagsTwoAndFiveByHostVersion) {
    const std::vector<TagItem> tags = {{3, memory.size()}, {2, 1},   {9, 99},
                                       {5, outer},         {4, 777}, {2, Memory()}};
    if (NewHost()) {
        // Tag 4 goes with tag 2 as well; here it points past the memory
        // archive, so it must be given as 0 to reach it.
        EXPECT_EQ(ReadWithTags(tags), "(null)");
        std::vector<TagItem> again = tags;
        again.push_back({4, 0});
        EXPECT_EQ(ReadWithTags(again), "from memory");
        const std::vector<std::string> made = Calls("MakeSourceFileName");
        ASSERT_EQ(made.size(), 2u);
        EXPECT_EQ(made[1], MadeName());
    } else {
        EXPECT_EQ(ReadWithTags(tags), "from the file");
        EXPECT_EQ(Calls("CreateSourceFileName"),
                  std::vector<std::string>{"CreateSourceFileName(" + std::to_string(outer) + "," +
                                           std::to_string(memory.size()) + ",777,1)"});
    }
}

INSTANTIATE_TEST_SUITE_P(Hosts, AdapterOpenTags,
                         ::testing::Values(HostVersion{7, 0}, HostVersion{7, 1}, HostVersion{8, 0}),
                         [](const auto& param) {
                             return "Host" + std::to_string(param.param.version) + "_" +
                                    std::to_string(param.param.revision);
                         });

}  // namespace
}  // namespace zipcvx_test

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
    // The logged calls to the named service, each followed by a space.
    std::string Calls(const std::string& service) {
        std::string found;
        for (const std::string& c : host().calls())
            if (c.rfind(service + "(", 0) == 0) found += c + " ";
        return found;
    }
    uintptr_t Memory() const { return reinterpret_cast<uintptr_t>(memory.data()); }
    std::string Made(int tag4 = 0) {
        return "MakeSourceFileName(" + std::to_string(Memory()) + ",0,zip," +
               std::to_string(memory.size()) + "," + std::to_string(tag4) + ") ";
    }
    std::string Created(uint64_t value, int tag4, int flag) {
        return "CreateSourceFileName(" + std::to_string(value) + "," +
               std::to_string(memory.size()) + "," + std::to_string(tag4) + "," +
               std::to_string(flag) + ") ";
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
    EXPECT_EQ(Calls("MakeSourceFileName") + Calls("CreateSourceFileName"), "")
        << "plain paths need no source names";
    EXPECT_EQ(ReadWithTags({{2, Memory()}, {3, memory.size()}}), "from memory");
    EXPECT_EQ(Calls("MakeSourceFileName"), NewHost() ? Made() : "");
    EXPECT_EQ(Calls("CreateSourceFileName"), NewHost() ? "" : Created(Memory(), 0, 0));
    EXPECT_EQ(Calls("FreeSourceFileName").empty(), NewHost()) << "released at FClose";
}

// With both tags an older host is given tag 5 and the flag 1, a newer one
// tag 2 in the descriptor's first word and 0 in its second.
TEST_P(AdapterOpenTags, ChoosesBetweenTagsTwoAndFiveByHostVersion) {
    std::vector<TagItem> tags = {{3, memory.size()}, {2, 1},   {9, 99},
                                 {5, outer},         {4, 777}, {2, Memory()}};
    if (NewHost()) {
        // Tag 4 goes with tag 2 as well; here it points past the memory
        // archive, so it must be given as 0 to reach it.
        EXPECT_EQ(ReadWithTags(tags), "(null)");
        tags.push_back({4, 0});
        EXPECT_EQ(ReadWithTags(tags), "from memory");
        EXPECT_EQ(Calls("MakeSourceFileName"), Made(777) + Made());
    } else {
        EXPECT_EQ(ReadWithTags(tags), "from the file");
        EXPECT_EQ(Calls("CreateSourceFileName"), Created(outer, 777, 1));
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

#include "adapter/archive_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Split {
    int32_t result;
    std::string archive;
    std::string entry;
    bool operator==(const Split&) const = default;
};

Split SplitOf(const std::string& path, int32_t directoryFlag) {
    char archive[kArchivePathSize];
    char entry[kArchivePathSize];
    const char* reference = path.c_str();
    const int32_t result = SplitArchivePath(&reference, archive, entry, directoryFlag);
    if (result == 0) {
        EXPECT_EQ(path.c_str(), reference) << "a declined path keeps its reference";
        return {0, "", ""};
    }
    EXPECT_EQ(archive, reference) << "an accepted path goes on as the archive's";
    return {result, archive, entry};
}

TEST(SplitArchivePath, SplitsAtTheFirstMarker) {
    const struct {
        const char* path;
        int32_t result;
        const char* archive;
        const char* entry;
        const char* directoryEntry;
    } cases[] = {
        {"data/pics.zip/img/a.png", 1, "data/pics.zip", "img/a.png", "img/a.png/"},
        {"data\\pics.ZIP\\img\\a.png", 1, "data\\pics.ZIP", "img/a.png", "img/a.png/"},
        {"pics.zip", 1, "pics.zip", "", ""},
        {"pics.zip/img/", 1, "pics.zip", "img/", "img/"},
        {"pics.zip/img\\", 1, "pics.zip", "img/", "img/"},
        {"pics.zip//a", 1, "pics.zip", "/a", "/a/"},
        {"Pics.ZiP/Img/../A.png", 1, "Pics.ZiP", "Img/../A.png", "Img/../A.png/"},
        {"a.zip/b.zip/c", 1, "a.zip", "b.zip/c", "b.zip/c/"},
        {".zip", 1, ".zip", "", ""},
        {"pics.zip/", 0, "", "", ""},
        {"pics.zip\\", 0, "", "", ""},
        {"pics.zipped/a", 0, "", "", ""},
        {"pics.zip.bak", 0, "", "", ""},
        {"old.zip.d/pics.zip/a", 0, "", "", ""},
        {"pics.zi/a", 0, "", "", ""},
        {"", 0, "", "", ""},
    };
    for (const auto& c : cases) {
        for (int32_t flag : {0, 1}) {
            const Split got = SplitOf(c.path, flag);
            EXPECT_EQ(c.result, got.result) << c.path << " flag " << flag;
            EXPECT_EQ(c.archive, got.archive) << c.path << " flag " << flag;
            EXPECT_EQ(flag ? c.directoryEntry : c.entry, got.entry) << c.path << " flag " << flag;
        }
    }
}

TEST(SplitArchivePath, LooksForTheMarkerOnlyWhereTheArchiveBufferReaches) {
    const std::string lastFit = std::string(kArchivePathSize - 5, 'd') + ".ZIP";
    EXPECT_EQ((Split{1, lastFit, "a"}), SplitOf(lastFit + "/a", 0));
    EXPECT_EQ(0, SplitOf("d" + lastFit + "/a", 0).result);
}

TEST(SplitArchivePath, DeclinesAnEntryPartThatDoesNotFit) {
    const size_t most = kArchivePathSize - 1;
    const std::string full(most, 'e');
    const std::string roomForSlash(most - 1, 'e');
    EXPECT_EQ(full, SplitOf("p.zip/" + full, 0).entry);
    EXPECT_EQ(0, SplitOf("p.zip/" + full + "e", 0).result);
    EXPECT_EQ(roomForSlash + "/", SplitOf("p.zip/" + roomForSlash, 1).entry);
    EXPECT_EQ(roomForSlash + "/", SplitOf("p.zip/" + roomForSlash + "\\", 1).entry);
    EXPECT_EQ(0, SplitOf("p.zip/" + full, 1).result);
}

}  // namespace

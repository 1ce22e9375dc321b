#include "adapter/archive_path.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "archive|entry", or "declined".
std::string SplitOf(const std::string& path, int32_t directoryFlag) {
    char archive[kArchivePathSize];
    char entry[kArchivePathSize];
    const char* reference = path.c_str();
    if (SplitArchivePath(&reference, archive, entry, directoryFlag) == 0) {
        EXPECT_EQ(path.c_str(), reference) << "a declined path keeps its reference";
        return "declined";
    }
    EXPECT_EQ(archive, reference) << "an accepted path goes on as the archive's";
    return std::string(archive) + "|" + entry;
}

TEST(SplitArchivePath, SplitsAtTheFirstMarker) {
    // With the directory flag the entry part ends in '/' (the last column).
    const struct {
        const char* path;
        const char* archive = nullptr;  // null: declined
        const char* entry = nullptr;
        const char* directoryEntry = nullptr;
    } cases[] = {
        {"data/pics.zip/img/a.png", "data/pics.zip", "img/a.png", "img/a.png/"},
        {"data\\pics.ZIP\\img\\a.png", "data\\pics.ZIP", "img/a.png", "img/a.png/"},
        {"pics.zip", "pics.zip", "", ""},
        {"pics.zip/img/", "pics.zip", "img/", "img/"},
        {"pics.zip/img\\", "pics.zip", "img/", "img/"},
        {"pics.zip//a", "pics.zip", "/a", "/a/"},
        {"Pics.ZiP/Img/../A.png", "Pics.ZiP", "Img/../A.png", "Img/../A.png/"},
        {"a.zip/b.zip/c", "a.zip", "b.zip/c", "b.zip/c/"},
        {".zip", ".zip", "", ""},
        {"pics.zip/"},
        {"pics.zip\\"},
        {"pics.zipped/a"},
        {"pics.zip.bak"},
        {"old.zip.d/pics.zip/a"},
        {"pics.zi/a"},
        {""},
    };
    for (const auto& c : cases) {
        for (int32_t flag : {0, 1}) {
            const std::string expected =
                c.archive == nullptr
                    ? "declined"
                    : std::string(c.archive) + "|" + (flag ? c.directoryEntry : c.entry);
            EXPECT_EQ(SplitOf(c.path, flag), expected) << c.path << " flag " << flag;
        }
    }
}

// The marker is looked for only where the archive buffer reaches; an entry
// part that does not fit, with the directory flag's '/', is declined.
TEST(SplitArchivePath, DeclinesWhatDoesNotFitTheBuffers) {
    const std::string lastFit = std::string(kArchivePathSize - 5, 'd') + ".ZIP";
    EXPECT_EQ(SplitOf(lastFit + "/a", 0), lastFit + "|a");
    EXPECT_EQ(SplitOf("d" + lastFit + "/a", 0), "declined");
    const std::string full(kArchivePathSize - 1, 'e');
    const std::string roomForSlash(kArchivePathSize - 2, 'e');
    EXPECT_EQ(SplitOf("p.zip/" + full, 0), "p.zip|" + full);
    EXPECT_EQ(SplitOf("p.zip/" + full + "e", 0), "declined");
    EXPECT_EQ(SplitOf("p.zip/" + roomForSlash, 1), "p.zip|" + roomForSlash + "/");
    EXPECT_EQ(SplitOf("p.zip/" + roomForSlash + "\\", 1), "p.zip|" + roomForSlash + "/");
    EXPECT_EQ(SplitOf("p.zip/" + full, 1), "declined");
}

}  // namespace

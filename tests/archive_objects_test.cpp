// Script archives when the library is freed: every object is unregistered in
// list order and its archive discarded unwritten. (The rest of the archive
// objects' behaviour is checked by scripts/archive_objects_test.lua.)
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/script_archives.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

class ArchiveObjects : public ScriptArchives {
  protected:
    ArchiveObjects() { options.logCalls = true; }
};

TEST_F(ArchiveObjects, FreeLibraryDiscardsEveryArchiveUnwritten) {
    const std::string original = MakeArchive(TempDir(), "original.zip", {{"a.txt", "a\n"}}, kInfoZip);
    const std::string other = MakeArchive(TempDir(), "other.zip", {{"b.txt", "b\n"}}, kSevenZip);
    const std::string originalBytes = ReadFileBytes(original);
    const std::string fresh = TempDir() + "/fresh.zip";
    Run("zip.OpenArchive(2, " + Q(original) + ", 1004)");
    Run("handle = zip.OpenArchive(nil, " + Q(other) + ")");
    Run("zip.OpenArchive(1, " + Q(fresh) + ", 1006)");
    const std::vector<ArchiveObject*> records = Records();
    ASSERT_EQ(records.size(), 3u);
    AddPending(records[0]->archive, "added.txt", "never written\n");
    AddPending(records[2]->archive, "added.txt", "never written\n");
    std::vector<std::string> expected;
    for (ArchiveObject* r : records) {
        char text[32];
        snprintf(text, sizeof text, "%p", static_cast<void*>(r));
        expected.push_back(std::string("UnregisterObject(") + text + ")");
    }
    host().calls().clear();
    host().Stop();
    std::erase_if(host().calls(), [](const std::string& c) { return c.rfind("Unregister", 0) != 0; });
    EXPECT_EQ(host().calls(), expected);
    EXPECT_EQ(host().LeakReport(), "");
    EXPECT_EQ(ReadFileBytes(original), originalBytes);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

}  // namespace
}  // namespace zipcvx_test

// Script archives through the loaded plugin: zip.OpenArchive and
// zip.CloseArchive as the host's call log and accounting see them, with
// pending changes made through libzip on the archive an object owns.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/script_archives.h"

namespace zipcvx_test {
namespace {

class ArchiveObjects : public ScriptArchives {
  protected:
    ArchiveObjects() { options.logCalls = true; }

    void SetUp() override {
        PluginHost::SetUp();
        original_ =
            MakeArchive(TempDir(), "original.zip",
                        {{"first.txt", "first entry\n"}, {"second.txt", "second\n"}}, kInfoZip);
        other_ = MakeArchive(TempDir(), "other.zip", {{"only.txt", "the only one\n"}}, kSevenZip);
        originalBytes_ = ReadFileBytes(original_);
    }

    // Enough data in several entries for the progress to be reported often.
    static void AddSeveralPending(zip_t* archive) {
        std::string data(300000, '\0');
        unsigned seed = 7;
        for (char& c : data)
            c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        for (int i = 0; i < 4; ++i)
            AddPending(archive, "bulk" + std::to_string(i), data);
    }

    std::string original_;
    std::string other_;
    std::string originalBytes_;
};

TEST_F(ArchiveObjects, ModesAreTruncatedAndUnknownOnesRefusedBeforeAnythingIsTouched) {
    Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
    AddPending(ArchiveNumbered(1), "added.txt", "kept pending\n");
    const std::string fresh = TempDir() + "/fresh.zip";
    for (const char* mode : {"1003", "1007", "0", "-1005", "1e12", "-1e12", "0/0", "1005.9e3"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        host().calls().clear();
        const std::string message = RunError("zip.OpenArchive(1, " + Q(fresh) + ", " + mode + ")");
        EXPECT_NE(message.find("Argument value is not acceptable!"), std::string::npos) << message;
        EXPECT_EQ(Eval("host.LastErrorCode()"), "1055");
        EXPECT_EQ(host().calls(), std::vector<std::string>{}) << "the command reached the host";
        EXPECT_EQ(Records().size(), 1u) << "the archive under the same number stays open";
    }
    EXPECT_FALSE(std::filesystem::exists(fresh));
    // Only the read mode opens the archive through a host file.
    for (const auto& [mode, hostFile] : {std::pair{"1005.9", true}, std::pair{"1004.9", false},
                                         std::pair{"1006.999", false}, std::pair{"nil", true}}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        host().calls().clear();
        Run("zip.OpenArchive(2, " + Q(original_) + ", " + mode + ")");
        EXPECT_EQ(CountCalls(host(), "OpenFile(" + original_ + ",12)"), hostFile ? 1 : 0);
        EXPECT_EQ(host().OpenFiles(), hostFile ? 1u : 0u);
        Run("zip.CloseArchive(2, 1)");  // written, 1006 would empty the file
    }
    Run("zip.CloseArchive(1)");
    EXPECT_EQ(Entries(original_), "added.txt,first.txt,second.txt");
}

TEST_F(ArchiveObjects, FreeLibraryDiscardsEveryArchiveUnwritten) {
    const std::string fresh = TempDir() + "/fresh.zip";
    Run("zip.OpenArchive(2, " + Q(original_) + ", 1004)");
    Run("handle = zip.OpenArchive(nil, " + Q(other_) + ")");
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
    std::vector<std::string> unregistered;
    for (const std::string& c : host().calls()) {
        if (c.rfind("UnregisterObject", 0) == 0) unregistered.push_back(c);
    }
    EXPECT_EQ(unregistered, expected);
    EXPECT_EQ(host().LeakReport(), "");
    EXPECT_EQ(ReadFileBytes(original_), originalBytes_);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

// While an archive is written, its own progress callback cannot reach it:
// it is no longer in the registry, nor in the host's object list.
TEST_F(ArchiveObjects, AProgressCallbackCannotReachTheArchiveBeingWritten) {
    Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
    Run("zip.OpenArchive(2, " + Q(other_) + ")");
    Run("handle = zip.OpenArchive(nil, " + Q(TempDir() + "/auto.zip") + ", 1006)");
    AddSeveralPending(ArchiveNumbered(1));
    AddSeveralPending(Records()[2]->archive);
    Run(R"LUA(
        type_id = zip.GetObjectType()
        function listed()
            local list = {}
            for _, o in ipairs(host.Objects(type_id)) do list[#list + 1] = tostring(o) end
            return table.concat(list, ",")
        end
        function meddle(id, attempts)
            return function()
                attempts[#attempts + 1] = {
                    objects = listed(),
                    select(2, pcall(zip.CloseArchive, id)),
                    select(2, pcall(zip.CloseArchive, id, 1)),
                    select(2, pcall(host.GetAttribute, type_id, id, ZIPATTRNUMENTRIES)),
                }
                error("the callback's own error does not stop the writing")
            end
        end
        function check(attempts, objects)
            assert(#attempts >= 3, #attempts)
            for _, a in ipairs(attempts) do
                assert(a.objects == objects, a.objects)
                for i = 1, 3 do
                    local message = tostring(a[i])
                    assert(message:find("Cannot find specified zip archive!", 1, true), message)
                end
            end
        end
        local numbered, automatic = {}, {}
        zip.CloseArchive(1, 0, meddle(1, numbered))
        check(numbered, "2," .. tostring(handle))
        zip.CloseArchive(handle, 0, meddle(handle, automatic))
        check(automatic, "2")
    )LUA");
    EXPECT_EQ(Entries(original_), "bulk0,bulk1,bulk2,bulk3,first.txt,second.txt");
    EXPECT_EQ(Entries(TempDir() + "/auto.zip"), "bulk0,bulk1,bulk2,bulk3");

    // Opening the same number from the callback makes a new object; the one
    // being written is not discarded under it.
    Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
    AddPending(ArchiveNumbered(1), "again.txt", "written after all\n");
    Run("other_path = " + Q(other_));
    Run(R"LUA(
        local seen = {}
        zip.CloseArchive(1, 0, function()
            seen[#seen + 1] = listed()
            if #seen == 1 then zip.OpenArchive(1, other_path) end
        end)
        assert(seen[1] == "2" and seen[2] == "2,1", table.concat(seen, " / "))
        assert(host.GetAttribute(type_id, 1, ZIPATTRNUMENTRIES) == 1, "1 names the other file")
        zip.CloseArchive(1)
        zip.CloseArchive(2)
    )LUA");
    EXPECT_EQ(Entries(original_), "again.txt,bulk0,bulk1,bulk2,bulk3,first.txt,second.txt");
}

}  // namespace
}  // namespace zipcvx_test

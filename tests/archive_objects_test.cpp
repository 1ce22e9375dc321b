// Script archives through the loaded plugin: zip.OpenArchive and
// zip.CloseArchive as the host's call log and accounting see them, with
// pending changes made through libzip on the archive an object owns.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <zip.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

// A Lua string literal for a path.
std::string Q(const std::string& text) {
    return "[[" + text + "]]";
}

// Checks for the tables that zip.CloseArchive gives its progress callback.
const char kProgressChecks[] = R"LUA(
function record_progress(list)
    return function(t)
        local keys = {}
        for k in pairs(t) do keys[#keys + 1] = k end
        table.sort(keys)
        list[#list + 1] = {progress = t.progress, action = t.action, id = t.id,
                           userdata = t.userdata, keys = table.concat(keys, ","),
                           inside = host.InCallback()}
    end
end

function check_progress(list, id, userdata, hasUserdata)
    assert(#list >= 3, "only " .. #list .. " progress calls")
    assert(list[1].progress == 0, "first progress " .. list[1].progress)
    assert(list[#list].progress == 100, "last progress " .. list[#list].progress)
    local keys = hasUserdata and "action,id,progress,userdata" or "action,id,progress"
    for i, t in ipairs(list) do
        assert(t.action == "CloseArchive", t.action)
        assert(t.id == id, "id " .. tostring(t.id))
        assert(t.userdata == userdata, "userdata " .. tostring(t.userdata))
        assert(t.keys == keys, t.keys)
        assert(t.inside, "tag 31 not set during the callback")
        assert(t.progress == math.floor(t.progress), "progress " .. t.progress)
        if i > 1 then assert(t.progress >= list[i - 1].progress, "progress went back") end
    end
    assert(not host.InCallback(), "tag 31 still set after the close")
end
)LUA";

class ArchiveObjects : public PluginHost {
  protected:
    ArchiveObjects() { options.logCalls = true; }

    void SetUp() override {
        PluginHost::SetUp();
        Run(kProgressChecks);
        original_ =
            MakeArchive(TempDir(), "original.zip",
                        {{"first.txt", "first entry\n"}, {"second.txt", "second\n"}}, kInfoZip);
        other_ = MakeArchive(TempDir(), "other.zip", {{"only.txt", "the only one\n"}}, kSevenZip);
        originalBytes_ = ReadFileBytes(original_);
    }

    // The records as the host walks its object list.
    std::vector<ArchiveObject*> Records() {
        std::vector<ArchiveObject*> records;
        for (ArchiveObject* r = *host().objectTypes_.at(0).head; r != nullptr; r = r->next) {
            records.push_back(r);
        }
        return records;
    }
    zip_t* ArchiveNumbered(int32_t number) {
        for (ArchiveObject* r : Records()) {
            if (r->idHandle == 0 && r->idNumber == number) return r->archive;
        }
        ADD_FAILURE() << "no archive numbered " << number;
        return nullptr;
    }

    // A change libzip writes when the archive is closed.
    static void AddPending(zip_t* archive, const std::string& name, const std::string& data) {
        void* copy = malloc(data.size() + 1);
        memcpy(copy, data.data(), data.size());
        zip_source_t* source = zip_source_buffer(archive, copy, data.size(), 1);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE), 0);
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

    // A change whose data cannot be read when the archive is written. The
    // count of its frees tells whether the archive that owns it was released.
    static inline int unreadableFreed = 0;
    static zip_int64_t FailingRead(void*, void* data, zip_uint64_t length,
                                   zip_source_cmd_t command) {
        switch (command) {
            case ZIP_SOURCE_OPEN:
            case ZIP_SOURCE_CLOSE:
                return 0;
            case ZIP_SOURCE_FREE:
                ++unreadableFreed;
                return 0;
            case ZIP_SOURCE_STAT:
                zip_stat_init(static_cast<zip_stat_t*>(data));
                return sizeof(zip_stat_t);
            case ZIP_SOURCE_ERROR: {
                zip_error_t error;
                zip_error_init_with_code(&error, ZIP_ER_READ);
                return zip_error_to_data(&error, data, length);
            }
            default:
                return -1;
        }
    }
    static void AddUnreadable(zip_t* archive) {
        zip_source_t* source = zip_source_function(archive, FailingRead, nullptr);
        ASSERT_NE(source, nullptr);
        ASSERT_GE(zip_file_add(archive, "unreadable.bin", source, 0), 0);
    }

    // The entry names of an archive, checked whole by python3's zipfile.
    static std::string Entries(const std::string& path) {
        std::string output;
        const int status = Shell(
            "python3 -c \"import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); "
            "assert z.testzip() is None; print(','.join(sorted(z.namelist())), end='')\" '" +
                path + "'",
            &output);
        return status == 0 ? output : "unreadable: " + output;
    }
    static std::vector<std::string> FolderListing(const std::string& dir) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string original_;
    std::string other_;
    std::string originalBytes_;
};

TEST_F(ArchiveObjects, ProgressRunsFromZeroToHundredWithAndWithoutUserdata) {
    struct Case {
        const char* name;
        const char* open;      // Lua statement that opens the archive as `id`
        const char* userdata;  // the fourth argument, or null for none
        const char* expected;  // what the tables hold as "userdata"
    };
    const Case cases[] = {
        {"numeric, no userdata", "id = 7; zip.OpenArchive(7, path, 1006)", nullptr, "nil"},
        {"numeric, a table", "id = -3; zip.OpenArchive(-3, path, 1006)", "mine", "mine"},
        {"automatic, false", "id = zip.OpenArchive(nil, path, 1006)", "false", "false"},
        {"automatic, nil as fourth", "id = zip.OpenArchive(nil, path, 1006)", "nil", "nil"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = TempDir() + "/progress.zip";
        std::filesystem::remove(path);
        Run("path = " + Q(path) + "; " + c.open + "; mine = {}");
        ASSERT_EQ(Records().size(), 1u);
        AddSeveralPending(Records()[0]->archive);
        const std::string extra = c.userdata != nullptr ? std::string(", ") + c.userdata : "";
        Run("seen = {}; zip.CloseArchive(id, 0, record_progress(seen)" + extra + ")");
        Run(std::string("check_progress(seen, id, ") + c.expected + ", " +
            (c.userdata != nullptr && std::string(c.userdata) != "nil" ? "true" : "false") + ")");
        EXPECT_EQ(Entries(path), "bulk0,bulk1,bulk2,bulk3");
        EXPECT_TRUE(Records().empty());
    }
}

TEST_F(ArchiveObjects, TagThirtyOneIsSetAroundEachCallback) {
    Run("zip.OpenArchive(1, " + Q(TempDir() + "/tags.zip") + ", 1006)");
    AddSeveralPending(ArchiveNumbered(1));
    host().calls().clear();
    Run("calls = 0; zip.CloseArchive(1, 0, function() calls = calls + 1 end)");
    const std::vector<std::string>& log = host().calls();
    int callbacks = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        if (log[i] != "CallFunction(1,0)") continue;
        ++callbacks;
        ASSERT_GT(i, 0u);
        ASSERT_LT(i + 1, log.size());
        EXPECT_EQ(log[i - 1], "SetHostTags(31=1)");
        EXPECT_EQ(log[i + 1], "SetHostTags(31=0)");
    }
    EXPECT_GE(callbacks, 3);
    EXPECT_EQ(CountCalls(host(), "SetHostTags"), 2 * callbacks);
    EXPECT_EQ(Eval("calls"), std::to_string(callbacks));
}

TEST_F(ArchiveObjects, TheDiscardArgumentIsTruncatedTowardZero) {
    struct Case {
        const char* discard;
        bool writes;
    };
    const Case cases[] = {{"nil", true},   {"0.5", true},   {"-0.5", true}, {"0.9999", true},
                          {"0/0", true},   {"1", false},    {"-1", false},  {"1.5", false},
                          {"1e10", false}, {"-1e10", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("discard ") + c.discard);
        WriteFileBytes(original_, originalBytes_);
        Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
        AddPending(ArchiveNumbered(1), "added.txt", "added\n");
        Run(std::string("zip.CloseArchive(1, ") + c.discard + ")");
        if (c.writes) {
            EXPECT_EQ(Entries(original_), "added.txt,first.txt,second.txt");
        } else {
            EXPECT_EQ(ReadFileBytes(original_), originalBytes_);
        }
        EXPECT_TRUE(Records().empty());
    }
}

TEST_F(ArchiveObjects, ReopeningANumberDiscardsTheOlderArchiveUnwritten) {
    for (const bool reopenFails : {false, true}) {
        SCOPED_TRACE(reopenFails ? "the new archive fails to open" : "the new archive opens");
        Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
        Run("zip.OpenArchive(2, " + Q(other_) + ")");
        AddPending(ArchiveNumbered(1), "added.txt", "never written\n");
        host().calls().clear();
        const std::string reopen =
            "zip.OpenArchive(1, " + Q(reopenFails ? TempDir() + "/missing.zip" : other_) + ")";
        if (reopenFails) {
            EXPECT_NE(RunError(reopen).find("Error opening zip archive "), std::string::npos);
        } else {
            Run(reopen);
        }
        EXPECT_EQ(CountCalls(host(), "UnregisterObject"), 1);
        EXPECT_EQ(ReadFileBytes(original_), originalBytes_);
        if (reopenFails) {
            EXPECT_EQ(Eval("table.concat(host.Objects(zip.GetObjectType()), ',')"), "2");
        } else {
            // Appended at the tail, and 1 now names the other file.
            EXPECT_EQ(Eval("table.concat(host.Objects(zip.GetObjectType()), ',')"), "2,1");
            EXPECT_EQ(Eval("host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)"), "1");
            Run("zip.CloseArchive(1)");
        }
        Run("zip.CloseArchive(2)");
    }
}

TEST_F(ArchiveObjects, UnknownModesAreRefusedBeforeAnythingIsTouched) {
    Run("zip.OpenArchive(1, " + Q(original_) + ", 1004)");
    AddPending(ArchiveNumbered(1), "added.txt", "kept pending\n");
    const std::string fresh = TempDir() + "/fresh.zip";
    for (const char* mode : {"1003", "1007", "0", "-1005", "1e12", "-1e12", "0/0", "1005.9e3"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        host().calls().clear();
        const std::string message = RunError("zip.OpenArchive(1, " + Q(fresh) + ", " + mode + ")");
        EXPECT_NE(message.find("Argument value is not acceptable!"), std::string::npos) << message;
        EXPECT_EQ(Eval("host.LastErrorCode()"), "1055");
        // The archive under the same number is still open, with its change.
        EXPECT_EQ(Records().size(), 1u);
        EXPECT_EQ(host().calls(), std::vector<std::string>{}) << "the command reached the host";
    }
    EXPECT_FALSE(std::filesystem::exists(fresh));
    Run("zip.CloseArchive(1)");
    EXPECT_EQ(Entries(original_), "added.txt,first.txt,second.txt");
}

TEST_F(ArchiveObjects, FractionalModesTruncateToTheirMode) {
    // Only the read mode opens the archive through a host file.
    struct Case {
        const char* mode;
        bool hostFile;
    };
    for (const Case& c : {Case{"1005.9", true}, Case{"1004.9", false}, Case{"1006.999", false},
                          Case{"nil", true}}) {
        SCOPED_TRACE(std::string("mode ") + c.mode);
        host().calls().clear();
        Run("zip.OpenArchive(1, " + Q(original_) + ", " + c.mode + ")");
        EXPECT_EQ(CountCalls(host(), "OpenFile(" + original_ + ",12)"), c.hostFile ? 1 : 0);
        EXPECT_EQ(host().OpenFiles(), c.hostFile ? 1u : 0u);
        Run("zip.CloseArchive(1, 1)");  // written, 1006 would remove the file
    }
    // Read mode on a missing file fails where the change modes would create it.
    const std::string missing = TempDir() + "/missing.zip";
    EXPECT_EQ(RunError("zip.OpenArchive(1, " + Q(missing) + ", 1005.9)"),
              "chunk:1: Error opening zip archive " + missing + "!");
    Run("zip.OpenArchive(1, " + Q(missing) + ", 1004.9) zip.CloseArchive(1)");
    EXPECT_FALSE(std::filesystem::exists(missing));
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

// A failed write is reported, and the file on disk stays exactly as it was.
TEST_F(ArchiveObjects, AFailedWriteIsReportedAndChangesNothingOnDisk) {
    struct Case {
        const char* name;
        std::string path;
        const char* mode;
        bool unreadable;    // the added data cannot be read; else the folder is missing
        const char* close;  // the rest of the zip.CloseArchive call
    };
    const Case cases[] = {
        {"added data cannot be read", original_, "1004", true, ""},
        {"the same, with a progress callback", original_, "1004", true,
         ", 0, record_progress(seen)"},
        {"the folder is missing", TempDir() + "/gone/new.zip", "1006", false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::string> before = FolderListing(TempDir());
        Run("seen = {}; zip.OpenArchive(1, " + Q(c.path) + ", " + c.mode + ")");
        AddPending(ArchiveNumbered(1), "fine.txt", "this entry could be written\n");
        unreadableFreed = 0;
        if (c.unreadable) AddUnreadable(ArchiveNumbered(1));
        EXPECT_EQ(RunError(std::string("zip.CloseArchive(1") + c.close + ")"),
                  "chunk:1: A zip error has occurred!");
        EXPECT_EQ(ReadFileBytes(original_), originalBytes_);
        EXPECT_EQ(FolderListing(TempDir()), before) << "a temporary file was left";
        // The object is gone all the same; its archive was released.
        EXPECT_TRUE(Records().empty());
        EXPECT_EQ(unreadableFreed, c.unreadable ? 1 : 0);
        EXPECT_EQ(RunError("zip.CloseArchive(1)"), "chunk:1: Cannot find specified zip archive!");
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
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
                    close = tostring(select(2, pcall(zip.CloseArchive, id))),
                    discard = tostring(select(2, pcall(zip.CloseArchive, id, 1))),
                    count = tostring(select(2, pcall(host.GetAttribute, type_id, id,
                                                     ZIPATTRNUMENTRIES))),
                }
                error("the callback's own error does not stop the writing")
            end
        end
        function check(attempts, objects)
            assert(#attempts >= 3, #attempts)
            for _, a in ipairs(attempts) do
                assert(a.objects == objects, a.objects)
                for _, message in ipairs({a.close, a.discard, a.count}) do
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

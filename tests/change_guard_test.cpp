// While a command guards an archive (an extraction calling back into the
// script), every command that would change it fails with the zip error and
// changes nothing; setting the default password and reading comments stay
// allowed. Run on the plugin's linked code, with the guard set by the test.
#include <gtest/gtest.h>
#include <zip.h>

#include <lua.hpp>
#include <string>

#include "archive/archive_registry.h"
#include "commands/commands.h"
#include "plugin/plugin_state.h"
#include "support/linked_plugin.h"

namespace zipcvx_test {
namespace {

constexpr int32_t kErrZip = 9001;
constexpr int32_t kErrNoArchive = 9002;

const CommandFunction kCommands[] = {AddFile,        AddDirectory,      DeleteFile,
                                     RenameFile,     SetFileEncryption, SetFileCompression,
                                     SetFileComment, SetFileTime,       SetDefaultPassword,
                                     GetFileComment};

// command(...) from a script: calls the linked command with its upvalue's
// row of kCommands, and returns its result and how far it moved the stack.
int CallLinked(lua_State* L) {
    const CommandFunction command = kCommands[lua_tointeger(L, lua_upvalueindex(1))];
    const int before = lua_gettop(L);
    const int32_t result = command(reinterpret_cast<VmState*>(L));
    const int moved = lua_gettop(L) - before;
    lua_settop(L, before);
    lua_pushinteger(L, result);
    lua_pushinteger(L, moved);
    return 2;
}

// What libzip holds for the archive: entry names, comments and settings.
std::string Describe(zip_t* archive) {
    std::string text;
    int length = 0;
    const char* comment = zip_get_archive_comment(archive, &length, 0);
    text += std::string("archive comment ") + (comment != nullptr ? comment : "-") + "\n";
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_t st;
        if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) != 0) {
            text += "deleted\n";
            continue;
        }
        zip_uint32_t entryLength = 0;
        comment = zip_file_get_comment(archive, static_cast<zip_uint64_t>(i), &entryLength, 0);
        text += std::string(st.name) + " method " + std::to_string(st.comp_method) +
                " encryption " + std::to_string(st.encryption_method) + " time " +
                std::to_string(st.mtime) + " comment " + (comment != nullptr ? comment : "-") +
                "\n";
    }
    return text;
}

class ChangeGuard : public LinkedPlugin {
  protected:
    void SetUp() override {
        LinkedPlugin::SetUp();
        gPlugin.errZip = kErrZip;
        gPlugin.errNoArchive = kErrNoArchive;
        source_ = TempDir() + "/source.txt";
        WriteFileBytes(source_, "to be added\n");
        const std::string path = TempDir() + "/guarded.zip";
        zip_t* made = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
        for (const char* name : {"a.txt", "b.txt"}) {
            zip_file_add(made, name, zip_source_buffer(made, "data", 4, 0), 0);
        }
        ASSERT_EQ(zip_close(made), 0);
        record_.idNumber = 5;
        record_.archive = zip_open(path.c_str(), 0, nullptr);
        ASSERT_NE(record_.archive, nullptr);
        AppendArchive(&record_);
    }
    void TearDown() override {
        ReleaseGuard(&guard_);
        UnlinkArchive(&record_);
        zip_discard(record_.archive);
        gPlugin.errZip = 0;
        gPlugin.errNoArchive = 0;
        LinkedPlugin::TearDown();
    }

    struct Outcome {
        int32_t result;
        int moved;
    };
    Outcome Call(size_t row, const std::string& arguments) {
        lua_State* L = host().vm();
        const int base = lua_gettop(L);
        lua_pushinteger(L, static_cast<lua_Integer>(row));
        lua_pushcclosure(L, CallLinked, 1);
        lua_setglobal(L, "command");
        Outcome outcome{-1, -1};
        if (luaL_loadstring(L, ("return command(" + arguments + ")").c_str()) != LUA_OK ||
            lua_pcall(L, 0, 2, 0) != LUA_OK) {
            ADD_FAILURE() << lua_tostring(L, -1);
        } else {
            outcome = {static_cast<int32_t>(lua_tointeger(L, -2)),
                       static_cast<int>(lua_tointeger(L, -1))};
        }
        lua_settop(L, base);
        return outcome;
    }

    std::string source_;
    ArchiveObject record_{};
    ArchiveGuard guard_{};
};

TEST_F(ChangeGuard, ChangesFailWhileGuardedAndSucceedOnceReleased) {
    const std::string source = "[[" + source_ + "]]";
    const struct {
        size_t row;
        std::string arguments;
        int32_t released;  // the result once the guard is gone
    } changes[] = {
        {0, "5, " + source + ", {comment = 'c', password = 'p', time = '01-Jan-2017 12:00:00'}", 1},
        {1, "5, 'docs'", 1},
        {2, "5, 1", 0},
        {3, "5, 0, 'renamed.txt'", 0},
        {4, "5, 0, ZIP_EM_AES_128, 'pw'", 0},
        {5, "5, 0, ZIP_CM_STORE", 0},
        {6, "5, 'entry comment', 0", 0},
        {6, "5, 'archive comment'", 0},
        {7, "5, 0, '01-Jan-2017 12:00:00'", 0},
    };
    const std::string before = Describe(record_.archive);
    GuardArchive(&guard_, &record_);
    for (const auto& change : changes) {
        SCOPED_TRACE(change.arguments);
        const Outcome outcome = Call(change.row, change.arguments);
        EXPECT_EQ(outcome.result, kErrZip);
        EXPECT_EQ(outcome.moved, 0);
        EXPECT_EQ(host().OpenFiles(), 0u);
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
    EXPECT_EQ(Describe(record_.archive), before);
    EXPECT_EQ(Call(2, "6, 0").result, kErrNoArchive) << "an unknown archive still comes first";

    const Outcome password = Call(8, "5, 'pw'");
    EXPECT_EQ(password.result, 0);
    EXPECT_EQ(password.moved, 0);
    const Outcome comment = Call(9, "5, 0");
    EXPECT_EQ(comment.result, 1);
    EXPECT_EQ(comment.moved, 1);

    ReleaseGuard(&guard_);
    for (const auto& change : changes) {
        SCOPED_TRACE(change.arguments);
        const Outcome outcome = Call(change.row, change.arguments);
        EXPECT_EQ(outcome.result, change.released);
        EXPECT_EQ(outcome.moved, change.released);
    }
    EXPECT_NE(Describe(record_.archive), before);
}

}  // namespace
}  // namespace zipcvx_test

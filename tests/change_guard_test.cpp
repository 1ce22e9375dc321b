// While an extraction's callback runs, every command that would change its
// archive fails with the zip error and changes nothing; an unknown archive
// is still reported first, and setting the default password and reading
// comments stay allowed. Once the extraction is over, the same changes
// succeed. (The host flags a command that leaves the stack unbalanced.)
#include <gtest/gtest.h>

#include <string>

#include "support/fixtures.h"
#include "support/script_archives.h"

namespace zipcvx_test {
namespace {

using ChangeGuard = ScriptArchives;

TEST_F(ChangeGuard, ChangesFailWhileGuardedAndSucceedOnceReleased) {
    const std::string archive = MakeArchive(
        TempDir(), "guarded.zip", {{"a.txt", std::string(200000, 'a')}, {"b.txt", "b"}}, kInfoZip);
    const std::string before = ReadFileBytes(archive);
    const std::string source = TempDir() + "/source.txt";
    WriteFileBytes(source, "to be added\n");
    Run("archive, source, out = " + Q(archive) + ", " + Q(source) + ", " + Q(TempDir() + "/out") +
        R"LUA(
        changes = {
            {zip.AddFile, 1, source, {comment = 'c', password = 'p', time = '01-Jan-2017 12:00:00'}},
            {zip.AddDirectory, 1, 'docs'},
            {zip.DeleteFile, 1, 1},
            {zip.RenameFile, 1, 0, 'renamed.txt'},
            {zip.SetFileEncryption, 1, 0, ZIP_EM_AES_128, 'pw'},
            {zip.SetFileCompression, 1, 0, ZIP_CM_STORE},
            {zip.SetFileComment, 1, 'entry comment', 0},
            {zip.SetFileComment, 1, 'archive comment'},
            {zip.SetFileTime, 1, 0, '01-Jan-2017 12:00:00'},
        }
        local function fails(message, f, ...)
            local ok, err = pcall(f, ...)
            assert(not ok and tostring(err):find(message, 1, true), tostring(err))
        end
        zip.OpenArchive(1, archive, 1004)
        local calls = 0
        zip.ExtractFile(1, 0, out, {callback = function()
            calls = calls + 1
            if calls > 1 then return end
            for _, c in ipairs(changes) do fails('A zip error has occurred!', table.unpack(c)) end
            fails('Cannot find specified zip archive!', zip.DeleteFile, 6, 0)
            zip.SetDefaultPassword(1, 'pw')
            assert(zip.GetFileComment(1, 0) == '')
        end})
        assert(calls > 1)
        assert(zip.GetFileAtIndex(1, 0) == 'a.txt' and zip.GetFileComment(1) == '')
        zip.CloseArchive(1)
    )LUA");
    EXPECT_TRUE(ReadFileBytes(archive) == before) << "a refused change was written";
    Run(R"LUA(
        zip.OpenArchive(1, archive, 1004)
        for _, c in ipairs(changes) do c[1](table.unpack(c, 2)) end
        assert(zip.GetFileAtIndex(1, 0) == 'renamed.txt')
        zip.CloseArchive(1, 1)
    )LUA");
}

}  // namespace
}  // namespace zipcvx_test

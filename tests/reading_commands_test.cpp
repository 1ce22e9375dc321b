// The reading commands as the host's call log and libzip's own view of the
// archive show them: the order in which zip.ExtractFile opens and releases,
// the default password, entries changed behind the script's back, the
// attributes' placeholders. (Entry times in each zone: DateStrings.)
#include <stdlib.h>
#include <time.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/fixtures.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

const std::string kZipError = "A zip error has occurred!";

class ReadingCommands : public PluginHost {
  protected:
    void SetUp() override {
        options.logCalls = true;
        PluginHost::SetUp();
    }

    // An archive of one kind that tests/scripts/make_fixture.py makes.
    std::string Fixture(const std::string& kind) {
        const std::string archive = TempDir() + "/" + kind + ".zip";
        const std::string command = std::string("python3 ") + ZIPCVX_SOURCE_DIR +
                                    "/tests/scripts/make_fixture.py " + kind + " " + archive + " " +
                                    TempDir() + "/payload";
        std::string output;
        EXPECT_EQ(Shell(command, &output), 0) << output;
        return archive;
    }

    // The log since the last call, space-separated, without the reads and
    // seeks of the archive's own file, which libzip makes whenever it needs data.
    std::string TakeCalls() {
        std::string kept;
        for (const std::string& call : host().calls()) {
            if (call.rfind("ReadFile", 0) != 0 && call.rfind("SeekFile", 0) != 0)
                kept += call + " ";
        }
        host().calls().clear();
        return kept;
    }
};

// Extraction takes and releases in one fixed order, and each failure
// releases what was taken so far in that order.
TEST_F(ReadingCommands, ExtractionTakesAndReleasesInItsFixedOrder) {
    Run("zip.OpenArchive(1, '" + Fixture("sizes") + "')");
    const std::string out = TempDir() + "/out";
    const std::string big = "zip.LocateFile(1, 'e150000')";
    const std::string open = "Alloc(3,0,tstring) OpenFile(" + out + ",1) Alloc(65536,0,savefile) ";
    const std::string release = "Free(savefile) CloseFile Free(tstring) ";
    const std::string callback = "SetHostTags(31=1) CallFunction(1,0) SetHostTags(31=0) ";
    const struct {
        std::string index, options;
        cvx::Fault fault;
        int64_t nth;
        const char* tag;
        std::string message;  // empty: the extraction succeeds
        std::string calls;
    } cases[] = {
        {big, ", callback = function() end, userdata = 1", cvx::Fault::kCount, 0, "", "",
         open + "WriteFile(65536) " + callback + "WriteFile(65536) " + callback +
             "WriteFile(18928) " + callback + release},
        {"4", "", cvx::Fault::kCount, 0, "", kZipError, "Alloc(3,0,tstring) Free(tstring) "},
        {big, "", cvx::Fault::OpenFile, 1, "", "Cannot open file " + out + " for writing!",
         "Alloc(3,0,tstring) OpenFile(" + out + ",1) SetErrorArg(" + out + ") Free(tstring) "},
        {big, "", cvx::Fault::Alloc, 1, "savefile", "Out of memory!",
         open + "CloseFile Free(tstring) "},
        // A password that cannot be copied, or holds a zero byte, is never
        // taken for another one.
        {big, "", cvx::Fault::Alloc, 1, "tstring", "Out of memory!", "Alloc(3,0,tstring) "},
        {big, ", password = 'p\\0w'", cvx::Fault::kCount, 0, "",
         "Argument value is not acceptable!", ""},
        {big, "", cvx::Fault::WriteFile, 2, "", "Could not write all data to the file!",
         open + "WriteFile(65536) WriteFile(65536) " + release},
        {big, ", callback = function() error('halt') end", cvx::Fault::kCount, 0, "", "halt",
         open + "WriteFile(65536) " + callback + release},
    };
    for (const auto& c : cases) {
        const std::string chunk = "zip.ExtractFile(1, " + c.index + ", '" + out +
                                  "', {password = 'pw'" + c.options + "})";
        SCOPED_TRACE(chunk);
        if (c.fault != cvx::Fault::kCount) host().FailNth(c.fault, c.nth, c.tag);
        TakeCalls();
        if (c.message.empty()) {
            Run(chunk);
        } else {
            EXPECT_NE(RunError(chunk).find(c.message), std::string::npos) << c.message;
        }
        host().ClearFaults();
        EXPECT_EQ(TakeCalls(), c.calls);
    }
    Run("zip.CloseArchive(1)");
}

// Entries deleted or renamed since the archive was opened; the changes are
// discarded at the end.
TEST_F(ReadingCommands, DeletedAndRenamedEntries) {
    const std::string out = TempDir() + "/out";
    Run("zip.OpenArchive(1, '" + Fixture("names") + "', 1004) zip.DeleteFile(1, 0)" +
        " zip.RenameFile(1, 4, 'renamed.txt') out = [[" + out + R"LUA(]]
        for _, f in ipairs({zip.GetFileAtIndex, zip.GetFileAttributes, zip.ExtractFile}) do
          assert(not pcall(f, 1, 0, out))
        end
        assert(not io.open(out))
        assert(zip.LocateFile(1, 'readme.txt', {nocase = 1}) + zip.LocateFile(1, 'a.txt') == -2)
        assert(zip.LocateFile(1, 'renamed.txt') == 4 and zip.GetFileAtIndex(1, 4) == 'renamed.txt')
        zip.ExtractFile(1, 4, out)
        zip.CloseArchive(1, 1))LUA");
    EXPECT_EQ(ReadFileBytes(out), "a at the top");
}

// A data source that states only what it is given, for new entries whose
// statistics lack fields.
struct StatOnly {
    zip_uint64_t valid;
    time_t mtime;
};

zip_int64_t StatOnlySource(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    const auto* s = static_cast<const StatOnly*>(state);
    switch (command) {
        case ZIP_SOURCE_STAT: {
            if (length < sizeof(zip_stat_t)) return -1;
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = s->valid;
            st->mtime = s->mtime;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(nullptr, data, length);
        default:
            return 0;
    }
}

TEST_F(ReadingCommands, FieldsLibzipDoesNotHaveGetPlaceholders) {
    Run("zip.OpenArchive(1, '" + TempDir() + "/new.zip', 1006)");
    zip_t* archive = host().ObjectList(0)->archive;
    static StatOnly timeOnly{ZIP_STAT_MTIME, 1488701223};  // 05-Mar-2017 09:07:03 in Berlin
    static StatOnly nothing{0, 0};
    for (StatOnly* state : {&timeOnly, &nothing}) {
        zip_source_t* source = zip_source_function(archive, StatOnlySource, state);
        ASSERT_NE(source, nullptr);
        const std::string name = state == &nothing ? "nothing" : "time";
        ASSERT_GE(zip_file_add(archive, name.c_str(), source, 0), 0);
    }
    const auto row = [&](int index) {
        return Eval("(function() local a = zip.GetFileAttributes(1, " + std::to_string(index) +
                    ") return table.concat({a.size, a.compressedsize, a.crc32, a.compression, "
                    "a.encryption, a.time}, ' ') end)()");
    };
    EXPECT_EQ(row(0), "-1 -1 0 -1 -1 05-Mar-2017 09:07:03");
    EXPECT_EQ(row(1), "-1 -1 0 -1 -1 01-Jan-1978 12:00:00");
    // New data cannot be extracted before the archive is written.
    EXPECT_NE(RunError("zip.ExtractFile(1, 0, '" + TempDir() + "/x')").find(kZipError),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(TempDir() + "/x"));
    Run("zip.CloseArchive(1, 1)");
}

}  // namespace
}  // namespace zipcvx_test

// Fault sweeps of the script commands: every allocation of the host and of
// the C heap under libzip, and every host file call, fails in turn while a
// command runs. Each point must give the command's own code and leave
// nothing allocated or open. Reading commands leave the archive as it was;
// each writing command runs together with the zip.CloseArchive that writes
// its change, so that a failure anywhere on the way leaves the archive as
// it was and no temporary file beside it.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "support/c_heap_faults.h"
#include "support/fixtures.h"
#include "support/script_archives.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

// Appended to a chunk that opened archive 1, with the count and ")".
const char kAssertEntries[] =
    " assert(host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) == ";

class CommandSweeps : public ScriptArchives {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = MakeArchive(
            TempDir(), "pics.zip",
            {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}, {"img/empty", ""}},
            kInfoZip);
        original_ = ReadFileBytes(archive_);
        source_ = TempDir() + "/source.txt";
        WriteFileBytes(source_, CountingBytes(90000));
        out_ = TempDir() + "/out.bin";
        Run("out = " + Q(out_) + " source = " + Q(source_));
    }

    void AddEncryptedEntries() {
        MakeArchive(TempDir(), "pics.zip", {{"trad.txt", "traditional"}}, "zip -q -X -P pw");
        MakeArchive(TempDir(), "pics.zip", {{"aes.txt", "advanced"}},
                    std::string(kSevenZip) + " -pSecret -mem=AES256");
        original_ = ReadFileBytes(archive_);
    }

    // Opens archive 1 and names its entries.
    std::string Open(const char* mode) {
        return "zip.OpenArchive(1, " + Q(archive_) + ", " + mode +
               ") i_doc = zip.LocateFile(1, 'doc.txt') i_img = zip.LocateFile(1, 'img/a.png') "
               "i_trad = zip.LocateFile(1, 'trad.txt') i_aes = zip.LocateFile(1, 'aes.txt')";
    }

    // Pending changes of every kind that writing has to carry out: a new
    // deflated entry, a new (AES-encrypted) one, a deletion, a rename and a
    // comment, made through libzip on the archive object 1 owns.
    void OpenWithChanges(bool aes = true) {
        Run(Open("1004"));
        zip_t* za = ArchiveNumbered(1);
        ASSERT_NE(za, nullptr);
        AddPending(za, "new/added.bin", CountingBytes(100000));
        AddPending(za, "secret.txt", "secret text");
        const zip_int64_t secret = zip_name_locate(za, "secret.txt", 0);
        if (aes) {
            ASSERT_EQ(zip_file_set_encryption(za, static_cast<zip_uint64_t>(secret), ZIP_EM_AES_256,
                                              "pw"),
                      0);
        }
        ASSERT_EQ(zip_delete(za, 2), 0);
        ASSERT_EQ(zip_file_rename(za, 0, "renamed.txt", 0), 0);
        ASSERT_EQ(zip_set_archive_comment(za, "changed", 7), 0);
    }

    // Only the archive and the files this test made: no temporary file.
    void ExpectNoLeftovers(const std::string& where) {
        for (const std::string& name : DirectoryNames(TempDir())) {
            EXPECT_TRUE(name == "pics.zip" || name == "source.txt" || name == "out.bin")
                << where << ": " << name << " left beside the archive";
        }
    }

    // Deriving an AES key allocates thousands of times in the crypto
    // library: with crypto set, those points only in the long sweeps. An
    // AES entry in a written archive calls for isolated C heap points:
    // libzip 1.7.3 writes its extra field through a null pointer when the
    // allocation for it fails (_zip_dirent_write).
    void SweepSites(SweepCase c, bool crypto = false, bool isolateHeap = false) {
        Sweep(host(), HostFault(cvx::Fault::Alloc), c);
        SweepAll(host(), HostIoSites(), c);
        c.isolate = isolateHeap;
        if (CHeapFaults::Available()) Sweep(host(), CHeap(crypto && !LongSweeps()), c);
    }

    std::string archive_;
    std::string original_;
    std::string source_;
    std::string out_;
};

TEST_F(CommandSweeps, OpeningInEveryModeAndUnderAnIdentifierInUse) {
    const std::string path = Q(archive_);
    for (const char* mode : {"1005", "1004", "1006"}) {
        SweepCase c;
        c.what = std::string("zip.OpenArchive, mode ") + mode;
        // A new, empty archive until written.
        const std::string entries = std::string(mode) == "1006" ? "0" : "3";
        c.operation = [&] {
            return Command(
                "zip.OpenArchive(1, " + path + ", " + mode + ")" + kAssertEntries + entries + ")",
                {ErrOpenArchive(), kErrNoMemory});
        };
        // Mode 1006 only truncates when the archive is written.
        c.teardown = [&] { RunForCode(host(), "pcall(zip.CloseArchive, 1, 1)"); };
        c.unchanged = {archive_};
        SweepSites(c);
    }

    const std::string fresh = TempDir() + "/fresh.zip";
    SweepCase created;
    created.what = "zip.OpenArchive of a new archive, then writing it";
    created.operation = [&] {
        return Command("zip.OpenArchive(1, " + Q(fresh) + ", 1004) zip.CloseArchive(1)",
                       {ErrOpenArchive(), kErrNoMemory, ErrZip()});
    };
    created.teardown = [&] {
        RunForCode(host(), "pcall(zip.CloseArchive, 1, 1)");
        std::remove(fresh.c_str());
    };
    created.unchanged = {archive_};
    SweepSites(created);

    SweepCase reopened;
    reopened.what = "zip.OpenArchive under an identifier in use";
    reopened.setup = [&] { OpenWithChanges(); };
    reopened.operation = [&] {
        return Command("zip.OpenArchive(1, " + path + ")" + kAssertEntries + "3)",
                       {ErrOpenArchive(), kErrNoMemory});
    };
    reopened.teardown = [&] { RunForCode(host(), "pcall(zip.CloseArchive, 1)"); };
    reopened.unchanged = {archive_};
    reopened.check = [&](int64_t k, bool) {
        ExpectNoLeftovers(reopened.what + " " + std::to_string(k));
    };
    SweepSites(reopened);
}

TEST_F(CommandSweeps, ClosingUnchangedOrDiscarding) {
    for (const char* close : {"1005", "1004", "discard"}) {
        const bool discard = std::string(close) == "discard";
        SweepCase c;
        c.what = discard ? "zip.CloseArchive, discarding changes"
                         : std::string("zip.CloseArchive, nothing changed, mode ") + close;
        c.setup = [&] {
            if (discard) {
                OpenWithChanges();
            } else {
                Run("zip.OpenArchive(1, " + Q(archive_) + ", " + close + ")");
            }
        };
        c.operation = [&] {
            return discard ? Command("zip.CloseArchive(1, 1)", {})
                           : Command("zip.CloseArchive(1)", {ErrZip()});
        };
        c.unchanged = {archive_};
        SweepSites(c);
    }
}

// When writing succeeds, the archive holds the changes.
TEST_F(CommandSweeps, WritingChangesFailsWithNothingLost) {
    Run("seen = 0 function progress(t) seen = t.progress end");
    for (const bool aes : {false, true}) {
        for (const char* close : {"zip.CloseArchive(1)", "zip.CloseArchive(1, 0, progress)"}) {
            SweepCase c;
            c.what = std::string(close) + (aes ? ", an AES entry among the changes" : "");
            c.setup = [&] { OpenWithChanges(aes); };
            c.operation = [&] { return Command(close, {ErrZip()}); };
            c.unchangedOnFailure = {archive_};
            c.check = [&](int64_t k, bool succeeded) {
                const std::string where = c.what + " " + std::to_string(k);
                ExpectNoLeftovers(where);
                if (!succeeded) return;
                zip_t* za = zip_open(archive_.c_str(), ZIP_RDONLY, nullptr);
                ASSERT_NE(za, nullptr) << where;
                EXPECT_EQ(zip_get_num_entries(za, 0), 4) << where;
                EXPECT_GE(zip_name_locate(za, "renamed.txt", 0), 0) << where;
                zip_discard(za);
                WriteFileBytes(archive_, original_);
            };
            SweepSites(c, aes, aes);
            // A callback whose call fails does not stop the writing.
            c.mayAbsorb = true;
            if (std::string(close).find("progress") != std::string::npos) {
                Sweep(host(), HostFault(cvx::Fault::CallFunction), c);
            }
        }
    }
}

struct Row {
    std::string what;
    std::string command{};  // Lua; i_doc, i_img, i_trad, i_aes name the entries
    bool callback = false;
    std::string extracted{};  // the destination's bytes after a successful extraction
    bool aes = false;         // derives an AES key
};

TEST_F(CommandSweeps, ReadingCommands) {
    AddEncryptedEntries();
    const Row rows[] = {
        {"zip.GetObjectType and the entry count",
         "assert(host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) == 5)"},
        {"zip.GetFileAtIndex", "assert(zip.GetFileAtIndex(1, i_img) == 'img/a.png')"},
        {"zip.LocateFile", "assert(zip.LocateFile(1, 'A.PNG', {nocase = 1, nodir = 1}) == i_img)"},
        {"zip.GetFileAttributes",
         "local t = zip.GetFileAttributes(1, i_img) assert(t.size == 70000)"},
        {"zip.GetFileComment", "assert(zip.GetFileComment(1, i_doc) == '')"},
        {"zip.ExtractFile", "zip.ExtractFile(1, i_img, out)", false, CountingBytes(70000)},
        {"zip.ExtractFile with a callback",
         "zip.ExtractFile(1, i_img, out, {callback = function(t) end, userdata = {}})", true,
         CountingBytes(70000)},
        {"zip.ExtractFile, traditional encryption",
         "zip.ExtractFile(1, i_trad, out, {password = 'pw'})", false, "traditional"},
        {"zip.ExtractFile, AES", "zip.ExtractFile(1, i_aes, out, {password = 'Secret'})", false,
         "advanced", true},
        {"zip.ExtractFile, default password",
         "zip.SetDefaultPassword(1, 'pw') zip.ExtractFile(1, i_trad, out)", false, "traditional"},
    };
    for (const Row& row : rows) {
        SweepCase c;
        c.what = row.what;
        c.setup = [&] { Run(Open("1005")); };
        c.operation = [&] {
            return Command(row.command,
                           {ErrZip(), kErrNoMemory, kErrOpenForWriting, kErrShortWrite},
                           row.callback);
        };
        c.teardown = [&] { RunForCode(host(), "pcall(zip.CloseArchive, 1)"); };
        c.unchanged = {archive_};
        c.check = [&](int64_t k, bool succeeded) {
            if (succeeded && !row.extracted.empty()) {
                EXPECT_TRUE(ReadFileBytes(out_) == row.extracted) << row.what << " " << k;
            }
            std::remove(out_.c_str());
        };
        SweepSites(c, row.aes);
        if (row.callback) Sweep(host(), HostFault(cvx::Fault::CallFunction), c);
    }
}

TEST_F(CommandSweeps, WritingCommandsAndTheirClose) {
    AddEncryptedEntries();
    const Row rows[] = {
        {"zip.AddFile", "zip.AddFile(1, source)"},
        {"zip.AddFile with every option",
         "zip.AddFile(1, source, {newname = 'n/added.txt', compression = ZIP_CM_DEFLATE, "
         "compressionflags = 9, comment = 'a comment', time = '05-Mar-2017 09:07:03'})"},
        {"zip.AddFile, AES",
         "zip.AddFile(1, source, {encryption = ZIP_EM_AES_256, password = 'pw'})", false, "", true},
        {"zip.AddDirectory", "zip.AddDirectory(1, 'new/dir')"},
        {"zip.DeleteFile", "zip.DeleteFile(1, i_doc)"},
        {"zip.RenameFile", "zip.RenameFile(1, i_img, 'img/b.png')"},
        {"zip.SetFileEncryption", "zip.SetFileEncryption(1, i_doc, ZIP_EM_AES_128, 'pw')", false,
         "", true},
        {"zip.SetFileCompression", "zip.SetFileCompression(1, i_img, ZIP_CM_STORE)"},
        {"zip.SetFileComment",
         "zip.SetFileComment(1, 'on the archive') zip.SetFileComment(1, 'on an entry', i_doc)"},
        {"zip.SetFileTime", "zip.SetFileTime(1, i_doc, '01-Jan-2017 12:00:00')"},
    };
    for (const Row& row : rows) {
        SweepCase c;
        c.what = row.what + " and zip.CloseArchive";
        c.setup = [&] {
            WriteFileBytes(archive_, original_);
            Run(Open("1004"));
        };
        c.operation = [&] {
            return Command(row.command + " zip.CloseArchive(1)",
                           {ErrZip(), kErrNoMemory, kErrOpenForReading});
        };
        c.teardown = [&] { RunForCode(host(), "pcall(zip.CloseArchive, 1, 1)"); };
        c.unchangedOnFailure = {archive_};
        // A source file whose date cannot be examined (or opened to be
        // examined) is added with the last date it reported or today's.
        c.absorbedFaults = {cvx::Fault::ExamineFile, cvx::Fault::OpenFile};
        c.check = [&](int64_t k, bool succeeded) {
            ExpectNoLeftovers(c.what + " " + std::to_string(k));
            if (!succeeded) return;
            zip_t* za = zip_open(archive_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
            EXPECT_NE(za, nullptr) << c.what << " " << k << ": the written archive is unreadable";
            if (za != nullptr) zip_discard(za);
        };
        SweepSites(c, row.aes, true);  // the archive holds an AES entry
    }
}

}  // namespace
}  // namespace zipcvx_test

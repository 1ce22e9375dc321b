// Each script command swept over every host allocation, file call and callback:
// one of its codes, nothing left allocated or open, the archive as it was.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "support/script_archives.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

// How an operation starts and what it may change.
enum Kind {
    kOpen,     // nothing open; the archive keeps its bytes
    kRead,     // archive 1 open for reading; the archive keeps its bytes
    kWrite,    // archive 1 open for writing, and the command ends in writing it; one
               // that fails leaves nothing pending (archive 1 is closed unchanged)
    kPending,  // archive 1 open with changes of every kind pending
};
enum Flags {
    kCallback = 1,          // swept over CallFunction too; its failure is the command's
    kSurvivesCallback = 2,  // swept over CallFunction too, and survives it
    kDated = 4,             // survives a source file whose date cannot be had
    kWritten = 8,           // a kPending command that writes the changes
    kCloseKeeps = 16,       // afterwards archive 1 is closed without discarding
};
struct Operation {
    Kind kind;
    std::string command;         // Lua; i_doc, i_img, i_trad, i_aes name the entries
    std::vector<int32_t> codes;  // a failing command's code is one of these
    int flags = 0;
    int entries = -1;            // entries in the written archive, when known
    std::string extracted = "";  // the destination's bytes after an extraction
};

class CommandSweeps : public ScriptArchives {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = MakeArchive(
            TempDir(), "pics.zip",
            {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}, {"img/empty", ""}},
            kInfoZip);
        MakeArchive(TempDir(), "pics.zip", {{"trad.txt", "traditional"}}, "zip -q -X -P pw");
        MakeArchive(TempDir(), "pics.zip", {{"aes.txt", "advanced"}},
                    std::string(kSevenZip) + " -pSecret -mem=AES256");
        original_ = ReadFileBytes(archive_);
        out_ = TempDir() + "/out.bin";
        fresh_ = TempDir() + "/fresh.zip";
        WriteFileBytes(TempDir() + "/source.txt", CountingBytes(90000));
        Run("out = " + Q(out_) + " source = " + Q(TempDir() + "/source.txt"));
    }

    // Opens archive 1 and names its entries.
    std::string Open(const char* mode) {
        return "zip.OpenArchive(1, " + Q(archive_) + ", " + mode +
               ") i_doc = zip.LocateFile(1, 'doc.txt') i_img = zip.LocateFile(1, 'img/a.png') "
               "i_trad = zip.LocateFile(1, 'trad.txt') i_aes = zip.LocateFile(1, 'aes.txt')";
    }

    // Pending changes of every kind, made through libzip.
    void OpenWithChanges() {
        Run(Open("1004"));
        zip_t* za = ArchiveNumbered(1);
        ASSERT_NE(za, nullptr);
        AddPending(za, "new/added.bin", CountingBytes(100000));
        AddPending(za, "secret.txt", "secret text");
        const zip_int64_t secret = zip_name_locate(za, "secret.txt", 0);
        ASSERT_EQ(
            zip_file_set_encryption(za, static_cast<zip_uint64_t>(secret), ZIP_EM_AES_256, "pw"),
            0);
        ASSERT_EQ(zip_delete(za, 2), 0);
        ASSERT_EQ(zip_file_rename(za, 0, "renamed.txt", 0), 0);
        ASSERT_EQ(zip_set_archive_comment(za, "changed", 7), 0);
    }

    void SweepOperation(const Operation& op) {
        const bool writes = op.kind == kWrite || (op.flags & kWritten) != 0;
        const std::string command = op.command + (op.kind == kWrite ? " zip.CloseArchive(1)" : "");
        SweepCase c;
        c.what = command;
        c.setup = [&] {
            WriteFileBytes(archive_, original_);
            if (op.kind == kRead) Run(Open("1005"));
            if (op.kind == kWrite) Run(Open("1004"));
            if (op.kind == kPending) OpenWithChanges();
        };
        c.operation = [&] { return Command(command, op.codes, (op.flags & kCallback) != 0); };
        c.teardown = [&] {
            RunForCode(host(), op.kind == kWrite || (op.flags & kCloseKeeps) != 0
                                   ? "pcall(zip.CloseArchive, 1)"
                                   : "pcall(zip.CloseArchive, 1, 1)");
            std::remove(fresh_.c_str());
        };
        (writes ? c.unchangedOnFailure : c.unchanged) = {archive_};
        if (op.flags & kDated) c.absorbedFaults = {cvx::Fault::ExamineFile, cvx::Fault::OpenFile};
        if (op.flags & kSurvivesCallback) c.absorbedFaults = {cvx::Fault::CallFunction};
        c.check = [&](int64_t k, bool succeeded) {
            const std::string where = command + " " + std::to_string(k);
            if (succeeded && !op.extracted.empty()) {
                EXPECT_TRUE(ReadFileBytes(out_) == op.extracted) << where;
            }
            std::remove(out_.c_str());
            for (const std::string& name : DirectoryNames(TempDir())) {
                EXPECT_TRUE(name == "pics.zip" || name == "source.txt")
                    << where << ": " << name << " left beside the archive";
            }
            if (!succeeded || !writes) return;
            zip_t* za = zip_open(archive_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
            ASSERT_NE(za, nullptr) << where << ": the written archive is unreadable";
            EXPECT_TRUE(op.entries < 0 || zip_get_num_entries(za, 0) == op.entries) << where;
            zip_discard(za);
        };
        SweepAllocAndIo(host(), c);
        if (op.flags & (kCallback | kSurvivesCallback)) {
            Sweep(host(), HostFault(cvx::Fault::CallFunction), c);
        }
    }

    std::string archive_;
    std::string original_;
    std::string out_;
    std::string fresh_;
};

TEST_F(CommandSweeps, EveryOperationUnderEveryHostFault) {
    const int32_t open = Code("Error opening zip archive %s!"), zip = ErrZip();
    const std::vector<int32_t> o = {open, kErrNoMemory}, z = {zip};
    const std::vector<int32_t> r = {zip, kErrNoMemory, kErrOpenForWriting, kErrShortWrite};
    const std::vector<int32_t> w = {zip, kErrNoMemory, kErrOpenForReading};
    const std::string a = "zip.OpenArchive(1, " + Q(archive_);
    const std::string n =
        " assert(host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) == ";
    const std::string bytes = CountingBytes(70000);
    // Opening under an identifier in use drops the changes pending there.
    // clang-format off
    const Operation operations[] = {
        {kOpen, a + ", 1005)" + n + "5)", o},
        {kOpen, a + ", 1004)" + n + "5)", o},
        {kOpen, a + ", 1006)" + n + "0)", o},
        {kOpen, "zip.OpenArchive(1, " + Q(fresh_) + ", 1004) zip.CloseArchive(1)",
         {open, kErrNoMemory, zip}},
        {kPending, a + ")" + n + "5)", o, kCloseKeeps},
        {kRead, "zip.CloseArchive(1)", z},
        {kWrite, "", z},
        {kPending, "zip.CloseArchive(1, 1)", {}},
        {kPending, "zip.CloseArchive(1)", z, kWritten, 6},
        {kPending, "zip.CloseArchive(1, 0, function(t) end)", z, kWritten | kSurvivesCallback, 6},
        {kRead, "assert(zip.GetFileAtIndex(1, i_img) == 'img/a.png')", r},
        {kRead, "assert(zip.LocateFile(1, 'A.PNG', {nocase = 1, nodir = 1}) == i_img)", r},
        {kRead, "assert(zip.GetFileAttributes(1, i_img).size == 70000)", r},
        {kRead, "assert(zip.GetFileComment(1, i_doc) == '')", r},
        {kRead, "zip.ExtractFile(1, i_img, out, {callback = function(t) end, userdata = {}})", r,
         kCallback, -1, bytes},
        {kRead, "zip.ExtractFile(1, i_trad, out, {password = 'pw'})", r, 0, -1, "traditional"},
        {kRead, "zip.ExtractFile(1, i_aes, out, {password = 'Secret'})", r, 0, -1, "advanced"},
        {kRead, "zip.SetDefaultPassword(1, 'pw') zip.ExtractFile(1, i_trad, out)", r, 0, -1, "traditional"},
        {kWrite, "zip.AddFile(1, source)", w, kDated, 6},
        {kWrite, "zip.AddFile(1, source, {newname = 'n/added.txt', compression = ZIP_CM_DEFLATE, "
                 "compressionflags = 9, comment = 'a comment', time = '05-Mar-2017 09:07:03', "
                 "encryption = ZIP_EM_TRAD_PKWARE, password = 'pw'})", w, kDated},
        {kWrite, "zip.AddFile(1, source, {encryption = ZIP_EM_AES_256, password = 'pw'})", w, kDated},
        {kWrite, "zip.AddDirectory(1, 'new/dir')", w, 0, 6},
        {kWrite, "zip.DeleteFile(1, i_doc)", w, 0, 4},
        {kWrite, "zip.RenameFile(1, i_img, 'img/b.png')", w},
        {kWrite, "zip.SetFileEncryption(1, i_doc, ZIP_EM_AES_128, 'pw')", w},
        {kWrite, "zip.SetFileCompression(1, i_img, ZIP_CM_STORE)", w},
        {kWrite, "zip.SetFileComment(1, 'on the archive')", w},
        {kWrite, "zip.SetFileTime(1, i_doc, '01-Jan-2017 12:00:00')", w},
    };
    // clang-format on
    for (const Operation& op : operations)
        SweepOperation(op);
}

}  // namespace
}  // namespace zipcvx_test

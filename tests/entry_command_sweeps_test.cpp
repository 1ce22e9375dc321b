// Fault sweeps of the commands that read, extract, add and edit entries.
// Reading commands run on an archive opened for reading; each writing
// command runs together with the zip.CloseArchive that writes its change,
// so that a failure anywhere on the way must leave the archive as it was
// and no temporary file beside it.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "support/c_heap_faults.h"
#include "support/command_sweeps.h"
#include "support/fixtures.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

struct Row {
    Row(std::string w, std::string c, bool cb = false, std::string x = "", bool a = false)
        : what(std::move(w)),
          command(std::move(c)),
          callback(cb),
          extracted(std::move(x)),
          aes(a) {}
    std::string what;
    std::string command;  // Lua; i_doc, i_img, i_trad, i_aes name the entries
    bool callback;
    // The destination's expected bytes after a successful extraction.
    std::string extracted;
    bool aes;  // writes an AES entry: see the isolated C heap sweep
};

class EntryCommandSweeps : public CommandSweepTest {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = TempDir() + "/pics.zip";
        MakeArchive(TempDir(), "pics.zip",
                    {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}}, kInfoZip);
        MakeArchive(TempDir(), "pics.zip", {{"trad.txt", "traditional"}}, "zip -q -X -P pw");
        MakeArchive(TempDir(), "pics.zip", {{"aes.txt", "advanced"}},
                    std::string(kSevenZip) + " -pSecret -mem=AES256");
        original_ = ReadFileBytes(archive_);
        source_ = TempDir() + "/source.txt";
        WriteFileBytes(source_, CountingBytes(90000));
        out_ = TempDir() + "/out.bin";
        Run("out = " + Q(out_) + " source = " + Q(source_));
    }

    // Opens archive 1 and finds its entries.
    std::string Open(const char* mode) {
        return std::string("zip.OpenArchive(1, ") + Q(archive_) + ", " + mode +
               ") i_doc = zip.LocateFile(1, 'doc.txt') i_img = zip.LocateFile(1, 'img/a.png') "
               "i_trad = zip.LocateFile(1, 'trad.txt') i_aes = zip.LocateFile(1, 'aes.txt')";
    }

    // Only archive.zip and the files this test made: no temporary file.
    void ExpectNoLeftovers(const std::string& where) {
        for (const std::string& name : DirectoryNames(TempDir())) {
            EXPECT_TRUE(name == "pics.zip" || name == "source.txt" || name == "out.bin")
                << where << ": " << name << " left beside the archive";
        }
    }

    std::string archive_;
    std::string original_;
    std::string source_;
    std::string out_;
};

TEST_F(EntryCommandSweeps, ReadingCommands) {
    const std::vector<Row> rows = {
        {"zip.GetObjectType and the entry count",
         "assert(host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) == 4)"},
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
         "advanced"},
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
        Sweep(host(), HostFault(cvx::Fault::Alloc), c);
        SweepAll(host(), HostIoSites(), c);
        // Deriving an AES key allocates thousands of times in the crypto
        // library: those points only in the long sweeps.
        const bool aes = row.command.find("i_aes") != std::string::npos;
        if (CHeapFaults::Available()) Sweep(host(), CHeap(aes && !LongSweeps()), c);
        if (row.callback) Sweep(host(), HostFault(cvx::Fault::CallFunction), c);
    }
}

TEST_F(EntryCommandSweeps, WritingCommandsAndTheirClose) {
    const std::vector<Row> rows = {
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
         "zip.SetFileComment(1, 'on the archive') "
         "zip.SetFileComment(1, 'on an entry', i_doc)"},
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
        // Option copies that cannot be made count as absent options, and a
        // source file whose date cannot be examined is added undated.
        c.absorbedTags = {"tstring"};
        c.absorbedFaults = {cvx::Fault::ExamineFile};
        c.check = [&](int64_t k, bool succeeded) {
            ExpectNoLeftovers(c.what + " " + std::to_string(k));
            if (!succeeded) return;
            zip_t* za = zip_open(archive_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
            EXPECT_NE(za, nullptr) << c.what << " " << k << ": the written archive is unreadable";
            if (za != nullptr) zip_discard(za);
        };
        Sweep(host(), HostFault(cvx::Fault::Alloc), c);
        SweepAll(host(), HostIoSites(), c);
        if (CHeapFaults::Available()) {
            // The archive holds an AES entry, and libzip 1.7.3 writes the AES
            // extra field of every such entry through a null pointer when
            // its allocation fails (_zip_dirent_write). The crypto library's
            // own thousands of allocations only in the long sweeps.
            c.isolate = true;
            Sweep(host(), CHeap(row.aes && !LongSweeps()), c);
        }
    }
}

}  // namespace
}  // namespace zipcvx_test

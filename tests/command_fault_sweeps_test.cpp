// Fault sweeps of the script commands: every allocation of the host and of
// the C heap under libzip, and every host file call, fails in turn while a
// command runs. Each point must give the command's own code, leave nothing
// allocated or open, and leave the archive on disk as it was.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>

#include "support/c_heap_faults.h"
#include "support/command_sweeps.h"
#include "support/fault_sweep.h"
#include "support/fixtures.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

// Appended to a chunk that opened archive 1, with the count and ")".
const char kAssertEntries[] =
    " assert(host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES) == ";

class CommandSweeps : public CommandSweepTest {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = MakeArchive(
            TempDir(), "pics.zip",
            {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}, {"img/empty", ""}},
            kInfoZip);
    }

    // Pending changes of every kind that writing has to carry out: a new
    // deflated entry, a new AES-encrypted one, a deletion, a rename and a
    // comment, made through libzip on the archive object 1 owns.
    void ChangeArchive(bool aes = true) {
        zip_t* za = ArchiveNumbered(1);
        ASSERT_NE(za, nullptr);
        static const std::string added = CountingBytes(100000);
        zip_source_t* data = zip_source_buffer(za, added.data(), added.size(), 0);
        ASSERT_GE(zip_file_add(za, "new/added.bin", data, 0), 0);
        zip_source_t* secret = zip_source_buffer(za, "secret text", 11, 0);
        const zip_int64_t i = zip_file_add(za, "secret.txt", secret, 0);
        ASSERT_GE(i, 0);
        if (aes) {
            ASSERT_EQ(
                zip_file_set_encryption(za, static_cast<zip_uint64_t>(i), ZIP_EM_AES_256, "pw"), 0);
        }
        ASSERT_EQ(zip_delete(za, 2), 0);
        ASSERT_EQ(zip_file_rename(za, 0, "renamed.txt", 0), 0);
        ASSERT_EQ(zip_set_archive_comment(za, "changed", 7), 0);
    }

    void OpenWithChanges(bool aes = true) {
        Run("zip.OpenArchive(1, " + Q(archive_) + ", 1004)");
        ChangeArchive(aes);
    }

    // Nothing beside the archive: libzip's temporary file is gone.
    void ExpectOnlyArchive(const std::string& where) {
        EXPECT_EQ(DirectoryNames(TempDir()), std::vector<std::string>{"pics.zip"}) << where;
    }

    std::string archive_;
};

TEST_F(CommandSweeps, OpenArchiveInEveryMode) {
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
        SweepAll(host(), AllocSites(), c);
        SweepAll(host(), HostIoSites(), c);
    }
}

TEST_F(CommandSweeps, OpenArchiveOfAMissingFileForWriting) {
    const std::string fresh = TempDir() + "/fresh.zip";
    SweepCase c;
    c.what = "zip.OpenArchive of a new archive, then writing it";
    c.operation = [&] {
        return Command("zip.OpenArchive(1, " + Q(fresh) + ", 1004) zip.CloseArchive(1)",
                       {ErrOpenArchive(), kErrNoMemory, ErrZip()});
    };
    c.teardown = [&] {
        RunForCode(host(), "pcall(zip.CloseArchive, 1, 1)");
        std::remove(fresh.c_str());
    };
    c.unchanged = {archive_};
    SweepAll(host(), AllocSites(), c);
}

TEST_F(CommandSweeps, ReopeningAnIdentifierDiscardsTheOldArchive) {
    SweepCase c;
    c.what = "zip.OpenArchive under an identifier in use";
    c.setup = [&] { OpenWithChanges(); };
    c.operation = [&] {
        return Command("zip.OpenArchive(1, " + Q(archive_) + ")" + kAssertEntries + "3)",
                       {ErrOpenArchive(), kErrNoMemory});
    };
    c.teardown = [&] { RunForCode(host(), "pcall(zip.CloseArchive, 1)"); };
    c.unchanged = {archive_};
    c.check = [&](int64_t k, bool) { ExpectOnlyArchive(c.what + " " + std::to_string(k)); };
    SweepAll(host(), AllocSites(), c);
    SweepAll(host(), HostIoSites(), c);
}

TEST_F(CommandSweeps, ClosingAnUnchangedArchive) {
    for (const char* mode : {"1005", "1004"}) {
        SweepCase c;
        c.what = std::string("zip.CloseArchive, nothing changed, mode ") + mode;
        c.setup = [&] { Run("zip.OpenArchive(1, " + Q(archive_) + ", " + mode + ")"); };
        c.operation = [&] { return Command("zip.CloseArchive(1)", {ErrZip()}); };
        c.unchanged = {archive_};
        SweepAll(host(), AllocSites(), c);
        SweepAll(host(), HostIoSites(), c);
    }
}

// Writing fails at every point libzip can fail: the archive keeps every
// byte and no temporary file stays beside it. When writing succeeds, the
// archive holds the changes.
TEST_F(CommandSweeps, WritingChangesFailsWithNothingLost) {
    const std::string original = ReadFileBytes(archive_);
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
                ExpectOnlyArchive(where);
                if (!succeeded) return;
                zip_t* za = zip_open(archive_.c_str(), ZIP_RDONLY, nullptr);
                ASSERT_NE(za, nullptr) << where;
                EXPECT_EQ(zip_get_num_entries(za, 0), 4) << where;
                EXPECT_GE(zip_name_locate(za, "renamed.txt", 0), 0) << where;
                zip_discard(za);
                WriteFileBytes(archive_, original);
            };
            Sweep(host(), HostFault(cvx::Fault::Alloc), c);
            if (aes) {
                // libzip 1.7.3 writes the AES extra field through a null
                // pointer when its allocation fails (_zip_dirent_write).
                c.isolate = true;
                // The crypto library allocates thousands of times while it
                // derives the key: those points only in the long sweeps.
                if (CHeapFaults::Available()) Sweep(host(), CHeap(!LongSweeps()), c);
            } else {
                if (CHeapFaults::Available()) Sweep(host(), CHeap(), c);
            }
            // A callback whose call fails does not stop the writing.
            c.mayAbsorb = true;
            c.isolate = false;
            if (std::string(close).find("progress") != std::string::npos) {
                Sweep(host(), HostFault(cvx::Fault::CallFunction), c);
            }
        }
    }
}

TEST_F(CommandSweeps, DiscardingChanges) {
    SweepCase c;
    c.what = "zip.CloseArchive, discarding changes";
    c.setup = [&] { OpenWithChanges(); };
    c.operation = [&] { return Command("zip.CloseArchive(1, 1)", {}); };
    c.unchanged = {archive_};
    SweepAll(host(), AllocSites(), c);
}

}  // namespace
}  // namespace zipcvx_test

// Nothing is lost when writing fails (unreadable data, a missing or read-only folder, a full
// disk, a killed process): the archive stays byte for byte as it was.
// libzip renames its temporary file over the archive only once complete; a failed write removes
// that file, while a killed process cannot, so one leftover is expected then.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "support/script_archives.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

class NothingLost : public ScriptArchives {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = MakeArchive(TempDir(), "pics.zip",
                               {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}},
                               kInfoZip);
        original_ = ReadFileBytes(archive_);
    }

    // Archive 1 with a stored copy of a large entry and the dying entry.
    void OpenWithChanges(const std::string& path, const char* mode, DyingSource* source) {
        Run("zip.OpenArchive(1, " + Q(path) + ", " + mode + ")");
        AddPending(ArchiveNumbered(1), "big.bin", CountingBytes(300000));
        AddDying(ArchiveNumbered(1), "dying.bin", source);
    }

    // Runs close in a child process, which ends with the status it returns
    // (or dies on its own). Returns the child's wait status.
    static int InChild(const std::function<int()>& close) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) _exit(close());
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    // The names beside the archive other than its own.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names = DirectoryNames(TempDir());
        std::erase(names, "pics.zip");
        return names;
    }

    std::string archive_;
    std::string original_;
};

TEST_F(NothingLost, AFailedWriteIsReportedAndLeavesTheArchiveAsItWas) {
    enum Trouble { kMissingFolder, kFullDisk, kReadOnlyFolder };
    const std::pair<const char*, Trouble> cases[] = {
        {"the folder is missing", kMissingFolder},
        {"the disk fills up (past 100 KiB)", kFullDisk},
        {"the folder cannot take the temporary file", kReadOnlyFolder},
    };
    for (const auto& [what, trouble] : cases) {
        SCOPED_TRACE(what);
        DyingSource source{1000};
        if (trouble == kMissingFolder) {
            OpenWithChanges(TempDir() + "/gone/new.zip", "1006", &source);
        } else {
            OpenWithChanges(archive_, "1004", &source);
        }
        if (trouble == kReadOnlyFolder) {
            ASSERT_EQ(chmod(archive_.c_str(), 0644), 0);
            ASSERT_EQ(chmod(TempDir().c_str(), 0555), 0);
            // Root may write anywhere: the child drops to an unprivileged user.
            const int status = InChild([&] {
                if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
                return RunForCode(host(), "zip.CloseArchive(1)") == ErrZip() ? 0 : 1;
            });
            chmod(TempDir().c_str(), 0700);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
            Run("zip.CloseArchive(1, 1)");
        } else {
            rlimit saved{};
            ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
            rlimit small = saved;
            small.rlim_cur = 100 * 1024;
            const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
            if (trouble == kFullDisk) {
                ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
            }
            const std::string message = RunError("zip.CloseArchive(1)");
            setrlimit(RLIMIT_FSIZE, &saved);
            signal(SIGXFSZ, oldHandler);
            EXPECT_EQ(message, "chunk:1: A zip error has occurred!");
            // The object is gone all the same; its archive was released.
            EXPECT_TRUE(Records().empty());
            EXPECT_EQ(source.frees, 1);
            EXPECT_EQ(RunError("zip.CloseArchive(1)"),
                      "chunk:1: Cannot find specified zip archive!");
        }
        EXPECT_TRUE(ReadFileBytes(archive_) == original_) << "the archive changed";
        EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << "a temporary file was left";
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
}

TEST_F(NothingLost, AProcessKilledWhileWriting) {
    for (const auto death : {DyingSource::kExit, DyingSource::kKill}) {
        DyingSource source{8, death};
        OpenWithChanges(archive_, "1004", &source);
        const int status = InChild([&] {
            RunForCode(host(), "zip.CloseArchive(1)");
            return 0;  // not reached: the source ends the process
        });
        if (death == DyingSource::kExit) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kDyingSourceExit) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        }
        EXPECT_TRUE(ReadFileBytes(archive_) == original_) << "killed: the archive changed";
        // libzip's temporary file stays, named after the archive.
        const std::vector<std::string> left = Leftovers();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].rfind("pics.zip.", 0), 0u) << left[0];
        std::remove((TempDir() + "/" + left[0]).c_str());
        // This process still holds the archive object: drop it unwritten.
        Run("zip.CloseArchive(1, 1)");
        EXPECT_TRUE(ReadFileBytes(archive_) == original_) << "discarded afterwards";
    }
}

}  // namespace
}  // namespace zipcvx_test

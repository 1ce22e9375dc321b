// Nothing is lost when writing an archive fails: a source that cannot be
// read, a directory that cannot take the temporary file, a disk that fills
// up, and a process killed in the middle of writing all leave the original
// archive byte for byte as it was. libzip writes into a temporary file
// beside the archive and renames it over the archive only once it is
// complete; a failed write removes the temporary file, while a killed
// process cannot, so one leftover temporary file (never the archive's own
// name) is expected then.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <string>

#include "support/command_sweeps.h"
#include "support/fault_sweep.h"
#include "support/fixtures.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

// A source that delivers blocks of bytes until its dying read.
struct DyingSource {
    int readsBeforeDeath;  // reads that succeed
    int reads = 0;
    enum { kFail, kExit, kKill } death;
};

constexpr int kChildDied = 42;

zip_int64_t DyingSourceCallback(void* userdata, void* data, zip_uint64_t length,
                                zip_source_cmd_t command) {
    auto* state = static_cast<DyingSource*>(userdata);
    switch (command) {
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR: {
            auto* codes = static_cast<int*>(data);
            codes[0] = ZIP_ER_READ;
            codes[1] = 0;
            return 2 * sizeof(int);
        }
        case ZIP_SOURCE_READ:
            if (state->reads++ == state->readsBeforeDeath) {
                if (state->death == DyingSource::kExit) _exit(kChildDied);
                if (state->death == DyingSource::kKill) raise(SIGKILL);
                return -1;
            }
            // Bytes that do not compress, so that the temporary file grows.
            for (zip_uint64_t i = 0; i < length; ++i)
                static_cast<unsigned char*>(data)[i] =
                    static_cast<unsigned char>((i * 2654435761u + state->reads) >> 13);
            return static_cast<zip_int64_t>(length);
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return -1;
    }
}

class NothingLost : public CommandSweepTest {
  protected:
    void SetUp() override {
        PluginHost::SetUp();
        archive_ = MakeArchive(TempDir(), "pics.zip",
                               {{"doc.txt", "a document\n"}, {"img/a.png", CountingBytes(70000)}},
                               kInfoZip);
        original_ = ReadFileBytes(archive_);
    }

    // Archive 1 opened for changes, with a stored copy of a large entry and
    // an entry whose data comes from the source.
    void OpenWithChanges(DyingSource* source) {
        Run("zip.OpenArchive(1, [[" + archive_ + "]], 1004)");
        zip_t* za = nullptr;
        for (ArchiveObject* r = *host().objectTypes_.at(0).head; r != nullptr; r = r->next) {
            za = static_cast<zip_t*>(r->archive);
        }
        ASSERT_NE(za, nullptr);
        static const std::string big = CountingBytes(300000);
        ASSERT_GE(zip_file_add(za, "big.bin", zip_source_buffer(za, big.data(), big.size(), 0), 0),
                  0);
        zip_source_t* dying = zip_source_function(za, DyingSourceCallback, source);
        ASSERT_NE(dying, nullptr);
        const zip_int64_t i = zip_file_add(za, "dying.bin", dying, 0);
        ASSERT_GE(i, 0);
        ASSERT_EQ(zip_set_file_compression(za, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0), 0);
    }

    // Closes archive 1 in a child process, which ends with the exit status
    // it returns (or dies on its own). Returns the child's wait status.
    int CloseInChild(const std::function<int()>& close) {
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) _exit(close());
        int status = 0;
        waitpid(child, &status, 0);
        return status;
    }

    void ExpectArchiveAsItWas(const std::string& where) {
        EXPECT_TRUE(ReadFileBytes(archive_) == original_) << where << ": the archive changed";
    }

    // The names beside the archive other than its own.
    std::vector<std::string> Leftovers() {
        std::vector<std::string> names;
        for (const std::string& name : DirectoryNames(TempDir())) {
            if (name != "pics.zip") names.push_back(name);
        }
        return names;
    }

    std::string archive_;
    std::string original_;
};

TEST_F(NothingLost, ASourceThatCannotBeRead) {
    DyingSource source{3, 0, DyingSource::kFail};
    OpenWithChanges(&source);
    EXPECT_EQ(RunForCode(host(), "zip.CloseArchive(1)"), ErrZip());
    EXPECT_EQ(source.reads, 4);
    ExpectArchiveAsItWas("unreadable source");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(NothingLost, ADiskThatFillsUp) {
    DyingSource source{1000, 0, DyingSource::kFail};
    OpenWithChanges(&source);
    // The temporary file may not grow past 100 KiB: its writes then fail
    // as on a full disk.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int32_t code = RunForCode(host(), "zip.CloseArchive(1)");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(code, ErrZip());
    ExpectArchiveAsItWas("full disk");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
}

TEST_F(NothingLost, ADirectoryThatCannotTakeTheTemporaryFile) {
    DyingSource source{1000, 0, DyingSource::kFail};
    OpenWithChanges(&source);
    ASSERT_EQ(chmod(archive_.c_str(), 0644), 0);
    ASSERT_EQ(chmod(TempDir().c_str(), 0555), 0);
    // Root may write anywhere: the child drops to an unprivileged user.
    const int status = CloseInChild([&] {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 2;
        return RunForCode(host(), "zip.CloseArchive(1)") == ErrZip() ? 0 : 1;
    });
    chmod(TempDir().c_str(), 0700);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    ExpectArchiveAsItWas("directory without write permission");
    EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    RunForCode(host(), "zip.CloseArchive(1, 1)");
}

TEST_F(NothingLost, AProcessKilledWhileWriting) {
    for (const auto death : {DyingSource::kExit, DyingSource::kKill}) {
        DyingSource source{8, 0, death};
        OpenWithChanges(&source);
        const int status = CloseInChild([&] {
            RunForCode(host(), "zip.CloseArchive(1)");
            return 0;  // not reached: the source ends the process
        });
        if (death == DyingSource::kExit) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == kChildDied) << status;
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        }
        ExpectArchiveAsItWas("killed");
        // libzip's temporary file stays: the archive's name and six more
        // characters, holding what its buffered writes had flushed.
        const std::vector<std::string> left = Leftovers();
        ASSERT_EQ(left.size(), 1u);
        EXPECT_EQ(left[0].rfind("pics.zip.", 0), 0u) << left[0];
        EXPECT_EQ(left[0].size(), std::string("pics.zip.").size() + 6) << left[0];
        struct stat st {};
        ASSERT_EQ(stat((TempDir() + "/" + left[0]).c_str(), &st), 0);
        EXPECT_GT(st.st_size, 0) << "the temporary file holds what reached it";
        std::remove((TempDir() + "/" + left[0]).c_str());
        // This process still holds the archive object: drop it unwritten.
        RunForCode(host(), "zip.CloseArchive(1, 1)");
        ExpectArchiveAsItWas("discarded afterwards");
    }
}

}  // namespace
}  // namespace zipcvx_test

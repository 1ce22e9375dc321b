// The host's file services: regular files are read ahead with the position kept
// by the host; positions are 64-bit on every build (archives over 4 GiB).
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>

#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

class HostFiles : public PluginHost {
  protected:
    const FileServices& files() { return *host().services()->files; }
};

// Every mix of small and large reads and seeks gives exactly the bytes and
// positions that plain reads of the file give (the file spans several
// read-aheads and is not a multiple of one).
TEST_F(HostFiles, ReadsAndSeeksAgreeWithTheFile) {
    constexpr int64_t kSize = 300000;
    const std::string path = TempDir() + "/data.bin";
    const std::string bytes = CountingBytes(kSize);
    WriteFileBytes(path, bytes);
    HostFile in = files().OpenFile(path.c_str(), kOpenRead);
    ASSERT_NE(in, 0u);
    std::mt19937 random(8);
    int64_t position = 0;
    for (int step = 0; step < 2000; ++step) {
        SCOPED_TRACE("step " + std::to_string(step) + " at " + std::to_string(position));
        if (random() % 10 < 6) {
            const int32_t sizes[] = {1, 46, 4096, 65535, 65536, 65537, 200000};
            const int32_t length = sizes[random() % 7];
            std::string got(static_cast<size_t>(length), '\0');
            const int32_t n = files().ReadFile(in, got.data(), length);
            ASSERT_EQ(n, std::min<int64_t>(length, std::max<int64_t>(kSize - position, 0)));
            ASSERT_TRUE(got.substr(0, n) ==
                        bytes.substr(static_cast<size_t>(std::min(position, kSize)), n));
            position += n;
        } else {
            // Back, forward, from the end and past it; before the start is refused.
            const int32_t mode = static_cast<int32_t>(random() % 3);
            const int64_t offset = static_cast<int64_t>(random() % 140000) - 70000;
            const int64_t from = mode == kSeekStart ? 0 : mode == kSeekEnd ? kSize : position;
            ASSERT_EQ(files().SeekFile(in, offset, mode), from + offset < 0 ? -1 : position);
            if (from + offset >= 0) position = from + offset;
        }
        ASSERT_EQ(files().SeekFile(in, 0, kSeekCurrent), position);
    }
    // What is added behind the end that a read met is read on.
    char got[8] = {};
    ASSERT_GE(files().SeekFile(in, kSize - 2, kSeekStart), 0);
    EXPECT_EQ(files().ReadFile(in, got, 8), 2);
    WriteFileBytes(path, bytes + "def");
    EXPECT_EQ(files().ReadFile(in, got, 8), 3);
    EXPECT_EQ(std::string(got, 3), "def");
    files().CloseFile(in);
}

// A FIFO or a device is not a file the host reads: opening one, or writing into a FIFO nobody
// reads, fails at once. (A helper opens the FIFO's other side to release an open that waits.)
TEST_F(HostFiles, OpeningAFifoOrDeviceFailsAtOnce) {
    const std::string fifo = TempDir() + "/fifo.zip";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, int32_t> cases[] = {{fifo, kOpenRead | kOpenReadFlag8},
                                                     {fifo, kOpenRead},
                                                     {fifo, kOpenWrite},
                                                     {"/dev/zero", kOpenRead}};
    for (const auto& [path, mode] : cases) {
        SCOPED_TRACE(path + " in mode " + std::to_string(mode));
        std::atomic<bool> returned = false;
        bool rescued = false;
        std::thread unblock([&] {
            for (int i = 0; i < 100 && !returned; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            if (returned) return;
            rescued = true;
            const int fd = open(fifo.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) close(fd);
        });
        const HostFile file = files().OpenFile(path.c_str(), mode);
        returned = true;
        unblock.join();
        EXPECT_FALSE(rescued) << "the open waited for the other side";
        EXPECT_EQ(file, 0u);
        if (file != 0) files().CloseFile(file);
    }
}

// The host's own memory running short makes a file service fail (or read
// without its read-ahead); no exception reaches the plugin's frames.
TEST_F(HostFiles, ShortMemoryIsAFailureNotAnException) {
    if (!OperatorNewFaultsAvailable()) GTEST_SKIP() << "operator new is the sanitizer's";
    const std::string path = TempDir() + "/data-with-a-name-longer-than-a-short-string.bin";
    WriteFileBytes(path, "abcdef");
    for (int64_t k = 1;; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k));
        FailOperatorNew(k);
        HostFile in = 0;
        char got[6] = {};
        int32_t n = -1;
        EXPECT_NO_THROW({
            in = files().OpenFile(path.c_str(), kOpenRead);
            if (in != 0) n = files().ReadFile(in, got, 6);
        });
        const bool failed = FailOperatorNew(0);
        if (in != 0) {
            EXPECT_EQ(std::string(got, static_cast<size_t>(std::max(n, 0))), "abcdef");
            files().CloseFile(in);
        }
        if (!failed) break;
    }
}

// A script memory error raised while the host makes a value frees what
// the host holds: no container, and no name block the adapter handed over.
TEST_F(HostFiles, ScriptMemoryErrorsLeaveNoHostMemoryBehind) {
    if (!OperatorNewFaultsAvailable()) GTEST_SKIP() << "operator new is the sanitizer's";
    MakeZip(TempDir() + "/a.zip", {{"doc.txt", "text"}});
    const std::string chunk = "local dir = '" + TempDir() + R"('
        zip.OpenArchive(2, dir .. '/new.zip', 1006)  -- blocks for host.Allocations to count
        for _, op in ipairs{function() host.ListDirectory(dir) end, host.Allocations,
                            function() zip.OpenArchive(1, dir .. '/missing.zip') end,
                            function() host.Stat(dir .. '/a.zip/doc.txt', {fullname = true}) end} do
            for k = 1, 30 do host.FailVmAlloc(k); pcall(op) end
        end
        host.FailVmAlloc(0)
        zip.CloseArchive(2))";
    Run(chunk);  // the host's own state grows to what these need
    const int64_t live = LiveOperatorNewBlocks();
    Run(chunk);
    EXPECT_EQ(LiveOperatorNewBlocks(), live);
}

// Files a script still holds when it ends, or dies, are closed before the
// plugin is shut down: none of their memory or host files is left behind.
TEST_F(HostFiles, FilesAScriptLeavesOpenAreClosedBeforeTheShutdown) {
    MakeZip(TempDir() + "/a.zip", {{"doc.txt", "text"}});
    const std::string open = "host.OpenFile('" + TempDir() + "/a.zip";
    Run("kept = {" + open + "/doc.txt'), " + open + "')}");
    RunError("local f = " + open + "/doc.txt'); error('dies')");
}

}  // namespace
}  // namespace zipcvx_test

// The host reads regular files ahead and keeps their position itself: every
// mix of small and large reads and seeks must give exactly the bytes and
// positions that plain reads of the file give.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

using HostReadAhead = PluginHost;

// The file is larger than several read-aheads and not a multiple of one.
constexpr int64_t kSize = 300000;

TEST_F(HostReadAhead, ReadsAndSeeksAgreeWithTheFile) {
    const FileServices& files = *host().services()->files;
    const std::string path = TempDir() + "/data.bin";
    const std::string bytes = CountingBytes(kSize);
    WriteFileBytes(path, bytes);
    HostFile in = files.OpenFile(path.c_str(), kOpenRead);
    ASSERT_NE(in, 0u);

    std::mt19937 random(8);
    int64_t position = 0;
    for (int step = 0; step < 2000; ++step) {
        const uint32_t what = random() % 10;
        if (what < 6) {
            // Reads of a few bytes, of about a read-ahead, and far beyond one.
            const int32_t sizes[] = {1, 46, 4096, 65535, 65536, 65537, 200000};
            const int32_t length = sizes[random() % 7];
            std::string got(static_cast<size_t>(length), '\0');
            const int32_t n = files.ReadFile(in, got.data(), length);
            const int64_t left = position < kSize ? kSize - position : 0;
            const int64_t expected = left < length ? left : length;
            ASSERT_EQ(n, expected) << "step " << step << " at " << position;
            ASSERT_EQ(got.substr(0, static_cast<size_t>(n)),
                      bytes.substr(static_cast<size_t>(position < kSize ? position : 0),
                                   static_cast<size_t>(n)))
                << "step " << step;
            position += n;
        } else {
            // Seeks back, forward, from the end and past it.
            const int32_t mode = static_cast<int32_t>(random() % 3);
            const int64_t offset = static_cast<int64_t>(random() % 140000) - 70000;
            const int64_t from = mode == kSeekStart ? 0 : mode == kSeekEnd ? kSize : position;
            const int64_t answer = files.SeekFile(in, offset, mode);
            if (from + offset < 0) {
                ASSERT_EQ(answer, -1) << "a target before the start is refused";
            } else {
                ASSERT_EQ(answer, position) << "step " << step;
                position = from + offset;
            }
        }
        ASSERT_EQ(files.SeekFile(in, 0, kSeekCurrent), position) << "step " << step;
    }
    files.CloseFile(in);
}

// A file that grows while a handle reads it: what was added behind the end
// that the reader met is read on.
TEST_F(HostReadAhead, AFileThatGrowsIsReadOn) {
    const FileServices& files = *host().services()->files;
    const std::string path = TempDir() + "/grow.bin";
    HostFile out = files.OpenFile(path.c_str(), kOpenWrite);
    ASSERT_EQ(files.WriteFile(out, "abc", 3), 3);
    HostFile in = files.OpenFile(path.c_str(), kOpenRead);
    char got[8] = {};
    EXPECT_EQ(files.ReadFile(in, got, 8), 3);
    EXPECT_EQ(files.WriteFile(out, "def", 3), 3);
    EXPECT_EQ(files.ReadFile(in, got, 8), 3) << "the end of the file moved on";
    EXPECT_EQ(std::string(got, 3), "def");
    files.CloseFile(in);
    files.CloseFile(out);
}

}  // namespace
}  // namespace zipcvx_test

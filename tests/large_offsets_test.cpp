// The host's file services keep 64-bit positions on every build, 32-bit
// ones included: archives over 4 GiB are read through them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

using HostFileOffsets = PluginHost;

// 5 GiB and a little: beyond what a 32-bit offset holds, so a cut offset
// lands 1 GiB in. The file is sparse, so nearly nothing is written.
constexpr int64_t kFar = (int64_t{5} << 30) + 3;

TEST_F(HostFileOffsets, SeekReadAndExamineBeyond4GiB) {
    const FileServices& files = *host().services()->files;
    const std::string path = TempDir() + "/sparse.bin";

    HostFile out = files.OpenFile(path.c_str(), kOpenWrite);
    ASSERT_NE(out, 0u);
    EXPECT_EQ(files.SeekFile(out, kFar, kSeekStart), 0);
    EXPECT_EQ(files.WriteFile(out, "tail", 4), 4);
    files.CloseFile(out);

    HostFile in = files.OpenFile(path.c_str(), kOpenRead);
    ASSERT_NE(in, 0u) << "a file over 2 GiB must open";
    EXPECT_EQ(files.SeekFile(in, 0, kSeekEnd), 0);
    EXPECT_EQ(files.SeekFile(in, kFar, kSeekStart), kFar + 4);
    char tail[4] = {};
    EXPECT_EQ(files.ReadFile(in, tail, 4), 4);
    EXPECT_EQ(std::string(tail, 4), "tail");
    EXPECT_EQ(files.SeekFile(in, -4, kSeekCurrent), kFar + 4);
    EXPECT_EQ(files.SeekFile(in, 0, kSeekCurrent), kFar);

    StatRecord info{};
    EXPECT_NE(files.ExamineFile(in, 0, &info, 0), 0);
    EXPECT_EQ(info.size, kFar + 4);
    files.CloseFile(in);
}

}  // namespace
}  // namespace zipcvx_test

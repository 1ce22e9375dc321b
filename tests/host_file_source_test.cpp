// The libzip source over host files, driven command by command and through
// libzip against archives that real archivers made.
#include "archive/host_file_source.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <zip.h>

#include <cstring>
#include <string>

#include "commands/date_strings.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

class HostFileSource : public LinkedPlugin {
  protected:
    HostFileSource() {
        options.fixedDate = true;  // the date a file gets when its own cannot be had
    }

    // A state as OpenHostArchive makes it, over an open file, or as
    // zip.AddFile makes it, holding no file; Call then takes its mode's callback.
    HostFileSourceState* NewState(const std::string& path, bool stream) {
        callback = stream ? StreamSourceCallback : ArchiveSourceCallback;
        return stream ? NewStreamSourceState(path.c_str()) : NewArchiveSourceState(path.c_str());
    }
    zip_source_callback callback = nullptr;
    zip_int64_t Call(HostFileSourceState* state, zip_source_cmd_t command, void* data = nullptr,
                     zip_uint64_t length = 0) {
        return callback(state, data, length, command);
    }
    std::string Read(HostFileSourceState* state, size_t length) {
        std::string buffer(length, '\0');
        const zip_int64_t n = Call(state, ZIP_SOURCE_READ, buffer.data(), length);
        buffer.resize(n < 0 ? 0 : static_cast<size_t>(n));
        return buffer;
    }
};

TEST_F(HostFileSource, AnswersEachCommandInBothModes) {
    const std::string path = MakeArchive(
        TempDir(), "fixture.zip",
        {{"readme.txt", "A small text.\n"}, {"data/numbers.bin", std::string(5000, '\x07')}},
        kInfoZip);
    const std::string bytes = ReadFileBytes(path);
    for (bool stream : {false, true}) {
        SCOPED_TRACE(stream ? "stream mode" : "archive mode");
        HostFileSourceState* state = NewState(path, stream);
        ASSERT_NE(state, nullptr);
        // A file to add is open only between libzip's open and close; an
        // archive's open and close leave its file open and where it was.
        EXPECT_EQ(host().OpenFiles(), stream ? 0u : 1u);
        EXPECT_EQ(Call(state, ZIP_SOURCE_OPEN), 0);
        EXPECT_EQ(Read(state, 10), bytes.substr(0, 10));
        if (!stream) {
            EXPECT_EQ(Call(state, ZIP_SOURCE_CLOSE) + Call(state, ZIP_SOURCE_OPEN), 0);
        }
        EXPECT_EQ(Read(state, 5), bytes.substr(10, 5));
        EXPECT_EQ(Call(state, ZIP_SOURCE_TELL), stream ? -1 : 15);

        // Only an archive seeks; nothing is written through this source.
        const zip_int64_t supported = Call(state, ZIP_SOURCE_SUPPORTS);
        for (int c = ZIP_SOURCE_OPEN; c <= ZIP_SOURCE_GET_FILE_ATTRIBUTES; ++c) {
            const bool listed = (supported & ZIP_SOURCE_MAKE_COMMAND_BITMASK(c)) != 0;
            EXPECT_EQ(listed, stream ? supported == -1 : c <= ZIP_SOURCE_TELL) << "command " << c;
        }
        EXPECT_EQ(Call(state, ZIP_SOURCE_BEGIN_WRITE), -1);
        if (!stream) {
            zip_stat_t st;
            EXPECT_EQ(Call(state, ZIP_SOURCE_STAT, &st, sizeof st), zip_int64_t{sizeof st});
            EXPECT_EQ(st.valid, ZIP_STAT_SIZE);
            EXPECT_EQ(st.size, bytes.size());
        }
        EXPECT_EQ(Call(state, ZIP_SOURCE_FREE), 0);  // closes the file once, while open
        EXPECT_EQ(host().OpenFiles(), 0u);
        EXPECT_EQ(host().LiveBlocks(), 0u);
    }
}

// A file's date is examined afresh at each stat until libzip opens the
// source; from then on the date taken at the open is kept (traditional
// encryption checks the password against it). A date that cannot be had is
// stood in for by the last one reported, or today's before any.
TEST_F(HostFileSource, StreamModeReportsTheFileDateAndKeepsItWhileWritten) {
    const std::string path = TempDir() + "/added.txt";
    WriteFileBytes(path, "data to add");
    const time_t when = 1488701223;  // 05-Mar-2017 09:07:03 in Berlin
    auto touch = [&](time_t t) {
        ASSERT_EQ(Shell("touch -d @" + std::to_string(t) + " '" + path + "'"), 0);
    };
    auto statTime = [&](HostFileSourceState* state) {
        zip_stat_t st;
        memset(&st, 0xA5, sizeof st);
        EXPECT_EQ(Call(state, ZIP_SOURCE_STAT, &st, sizeof st),
                  static_cast<zip_int64_t>(sizeof st));
        EXPECT_EQ(st.valid, ZIP_STAT_MTIME);
        return st.mtime;
    };
    DateGroup today{};
    System().GetCurrentDate(&today);

    touch(when);
    HostFileSourceState* state = NewState(path, true);
    EXPECT_EQ(statTime(state), when);
    touch(when + 100);
    EXPECT_EQ(statTime(state), when + 100) << "each stat examines the file again";
    host().FailNth(cvx::Fault::ExamineFile, 1);
    EXPECT_EQ(statTime(state), when + 100) << "the last date, while examining fails";
    touch(when + 200);
    EXPECT_EQ(host().OpenFiles(), 0u) << "each examination closes the file again";
    host().FailNth(cvx::Fault::ExamineFile, 1);
    ASSERT_EQ(Call(state, ZIP_SOURCE_OPEN), 0);
    touch(when + 300);
    EXPECT_EQ(statTime(state), when + 100) << "the last date, kept while written";
    EXPECT_EQ(Read(state, 100), "data to add");
    EXPECT_EQ(Call(state, ZIP_SOURCE_CLOSE), 0);
    EXPECT_EQ(statTime(state), when + 100) << "and after";
    Call(state, ZIP_SOURCE_FREE);

    state = NewState(path, true);
    host().FailNth(cvx::Fault::ExamineFile, 1);
    EXPECT_EQ(statTime(state), DateGroupToTime(today)) << "no date reported yet";
    EXPECT_EQ(statTime(state), when + 300) << "its own date once it can be examined again";
    Call(state, ZIP_SOURCE_FREE);

    // A file gone before libzip opens the source fails the open.
    state = NewState(path, true);
    std::remove(path.c_str());
    EXPECT_EQ(Call(state, ZIP_SOURCE_OPEN), -1);
    int codes[2] = {-1, -1};
    EXPECT_EQ(Call(state, ZIP_SOURCE_ERROR, codes, sizeof codes), 8);
    EXPECT_EQ(codes[0], ZIP_ER_OPEN);
    Call(state, ZIP_SOURCE_FREE);
}

// An archive of more than 4 GiB whose last entry lies beyond the 32-bit
// range. The file is sparse: the first entry's data is a hole.
TEST_F(HostFileSource, ReadsAnEntryBeyondFourGibibytes) {
    const std::string path = TempDir() + "/large.zip";
    const char* script = R"PY(
import struct, sys, zlib
path = sys.argv[1]
big = (1 << 32) + 4096
tail = b"found beyond the 32-bit range\n"
with open(path, "wb") as f:
    f.write(struct.pack("<IHHHHHIIIHH", 0x04034b50, 45, 0, 0, 0, 0, 0,
                        0xFFFFFFFF, 0xFFFFFFFF, 7, 20) + b"big.bin" +
            struct.pack("<HHQQ", 1, 16, big, big))
    f.seek(big, 1)
    tail_at = f.tell()
    f.write(struct.pack("<IHHHHHIIIHH", 0x04034b50, 20, 0, 0, 0, 0, zlib.crc32(tail),
                        len(tail), len(tail), 8, 0) + b"tail.txt" + tail)
    cd_at = f.tell()
    f.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014b50, 45, 45, 0, 0, 0, 0, 0,
                        0xFFFFFFFF, 0xFFFFFFFF, 7, 20, 0, 0, 0, 0, 0) + b"big.bin" +
            struct.pack("<HHQQ", 1, 16, big, big))
    f.write(struct.pack("<IHHHHHHIIIHHHHHII", 0x02014b50, 45, 20, 0, 0, 0, 0,
                        zlib.crc32(tail), len(tail), len(tail), 8, 12, 0, 0, 0, 0,
                        0xFFFFFFFF) + b"tail.txt" + struct.pack("<HHQ", 1, 8, tail_at))
    cd_size = f.tell() - cd_at
    eocd64_at = f.tell()
    f.write(struct.pack("<IQHHIIQQQQ", 0x06064b50, 44, 45, 45, 0, 0, 2, 2, cd_size, cd_at))
    f.write(struct.pack("<IIQI", 0x07064b50, 0, eocd64_at, 1))
    f.write(struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 2, 2, cd_size, 0xFFFFFFFF, 0))
)PY";
    WriteFileBytes(TempDir() + "/make_large.py", script);
    std::string output;
    ASSERT_EQ(Shell("python3 '" + TempDir() + "/make_large.py' '" + path + "'", &output), 0)
        << output;

    zip_t* archive = OpenHostArchive(path.c_str());
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(zip_get_num_entries(archive, 0), 2);
    zip_stat_t st;
    ASSERT_EQ(zip_stat(archive, "big.bin", 0, &st), 0);
    EXPECT_EQ(st.size, (zip_uint64_t{1} << 32) + 4096);
    zip_file_t* file = zip_fopen(archive, "tail.txt", 0);
    ASSERT_NE(file, nullptr);
    char data[64] = {};
    EXPECT_EQ(zip_fread(file, data, sizeof data), 30);
    EXPECT_STREQ(data, "found beyond the 32-bit range\n");
    zip_fclose(file);
    zip_discard(archive);
}

}  // namespace
}  // namespace zipcvx_test

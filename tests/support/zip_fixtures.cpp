#include "support/zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes) {
        hex += "0123456789abcdef"[c >> 4];
        hex += "0123456789abcdef"[c & 15];
    }
    return hex;
}

}  // namespace

void MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string program =
        "import zipfile\nwith zipfile.ZipFile('" + path + "', 'w') as zf:\n    pass\n";
    for (const ZipEntry& e : entries) {
        char date[64];
        snprintf(date, sizeof date, "(%d, %d, %d, %d, %d, %d)", e.date[0], e.date[1], e.date[2],
                 e.date[3], e.date[4], e.date[5]);
        program += "    i = zipfile.ZipInfo(bytes.fromhex('" + Hex(e.name) + "').decode(), " +
                   date + ")\n    i.compress_type = zipfile." +
                   (e.deflate ? "ZIP_DEFLATED" : "ZIP_STORED") +
                   "\n    zf.writestr(i, bytes.fromhex('" + Hex(e.data) + "'))\n";
    }
    WriteFileBytes(path + ".py", program);
    std::string output;
    ASSERT_EQ(Shell("python3 '" + path + ".py'", &output), 0) << output;
    std::remove((path + ".py").c_str());
}

void PatchEntry(const std::string& path, const std::string& name, int crcDelta, int sizeDelta) {
    std::string output;
    EXPECT_EQ(Shell(std::string("python3 ") + ZIPCVX_SOURCE_DIR +
                        "/tests/scripts/make_fixture.py patch '" + path + "' '" + name + "' " +
                        std::to_string(crcDelta) + " " + std::to_string(sizeDelta),
                    &output),
              0)
        << output;
}

std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace zipcvx_test

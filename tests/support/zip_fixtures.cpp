#include "support/zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <tuple>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

std::string Hex(const std::string& bytes) {
    std::string hex;
    for (unsigned char c : bytes)
        hex += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
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

std::string MakeArchive(const std::string& dir, const std::string& archiveName,
                        const std::vector<ZipEntry>& files, const std::string& tool) {
    const std::string source = dir + "/" + archiveName + ".files";
    std::string names;
    for (const ZipEntry& f : files) {
        const std::filesystem::path path = source + "/" + f.name;
        std::filesystem::create_directories(path.parent_path());
        WriteFileBytes(path, f.data);
        names += " '" + f.name + "'";
    }
    const std::string archive = dir + "/" + archiveName;
    std::string output;
    EXPECT_EQ(Shell("cd '" + source + "' && " + tool + " '" + archive + "'" + names, &output), 0)
        << tool << ": " << output;
    std::filesystem::remove_all(source);
    return archive;
}

void PatchEntry(const std::string& path, const std::string& name, int crcDelta, int sizeDelta) {
    std::string bytes = ReadFileBytes(path);
    const auto add = [&](size_t at, int delta) {  // to the little-endian word at `at`
        uint32_t word = 0;
        for (int k = 3; k >= 0; --k)
            word = word << 8 | static_cast<unsigned char>(bytes[at + k]);
        word += static_cast<uint32_t>(delta);
        for (int k = 0; k < 4; ++k)
            bytes[at + k] = static_cast<char>(word >> (8 * k));
    };
    // A header's signature, and where its CRC (the size is 8 bytes on), name length and name are.
    for (const auto& [signature, crcAt, lengthAt, nameAt] :
         {std::tuple{"PK\3\4", 14, 26, 30}, std::tuple{"PK\1\2", 16, 28, 46}}) {
        for (size_t at = bytes.find(signature); at != std::string::npos;
             at = bytes.find(signature, at + 4)) {
            if (at + nameAt > bytes.size()) break;
            const size_t length = static_cast<unsigned char>(bytes[at + lengthAt]) |
                                  static_cast<unsigned char>(bytes[at + lengthAt + 1]) << 8;
            if (length == name.size() && bytes.compare(at + nameAt, length, name) == 0) {
                add(at + crcAt, crcDelta);
                add(at + crcAt + 8, sizeDelta);
            }
        }
    }
    WriteFileBytes(path, bytes);
}

std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace zipcvx_test

#include "support/zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

void RunPython(const std::string& path, const std::string& program) {
    const std::string script = path + ".py";
    WriteFileBytes(script, program);
    std::string output;
    ASSERT_EQ(Shell("python3 '" + script + "'", &output), 0) << output;
    std::remove(script.c_str());
}

// Patches fields of both headers of one entry: (local offset, central
// offset, width in bytes, the Python expression of the new value of v).
std::string PatchProgram(const std::string& path, const std::string& name, int localField,
                         int centralField, const std::string& change) {
    return "import struct, zipfile\n"
           "path, name = '" +
           path + "', bytes.fromhex('" + Hex(name) +
           "').decode()\n"
           "data = bytearray(open(path, 'rb').read())\n"
           "zf = zipfile.ZipFile(path)\n"
           "info = zf.getinfo(name)\n"
           "def patch(at):\n"
           "    v = struct.unpack_from('<I', data, at)[0]\n"
           "    struct.pack_into('<I', data, at, " +
           change +
           ")\n"
           "patch(info.header_offset + " +
           std::to_string(localField) +
           ")\n"
           "at = zf.start_dir\n"
           "while data[at:at + 4] == b'PK\\x01\\x02':\n"
           "    n, e, c = struct.unpack_from('<HHH', data, at + 28)\n"
           "    if data[at + 46:at + 46 + n].decode('utf-8', 'replace') == name:\n"
           "        patch(at + " +
           std::to_string(centralField) +
           ")\n"
           "    at += 46 + n + e + c\n"
           "open(path, 'wb').write(data)\n";
}

}  // namespace

void MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string program = "import zipfile\nwith zipfile.ZipFile('" + path + "', 'w') as zf:\n";
    program += "    pass\n";
    for (const ZipEntry& e : entries) {
        char date[64];
        snprintf(date, sizeof date, "(%d, %d, %d, %d, %d, %d)", e.date[0], e.date[1], e.date[2],
                 e.date[3], e.date[4], e.date[5]);
        program += "    i = zipfile.ZipInfo(bytes.fromhex('" + Hex(e.name) + "').decode(), " +
                   date + ")\n";
        program += std::string("    i.compress_type = zipfile.") +
                   (e.deflate ? "ZIP_DEFLATED" : "ZIP_STORED") + "\n";
        program += "    zf.writestr(i, bytes.fromhex('" + Hex(e.data) + "'))\n";
    }
    RunPython(path, program);
}

void CorruptCrc(const std::string& path, const std::string& name) {
    RunPython(path, PatchProgram(path, name, 14, 16, "v ^ 0x5a5a5a5a"));
}

void UnderstateSize(const std::string& path, const std::string& name, unsigned by) {
    RunPython(path, PatchProgram(path, name, 22, 24, "v - " + std::to_string(by)));
}

std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace zipcvx_test

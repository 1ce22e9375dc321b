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

// Runs a python3 program with `path` set to the archive's path.
void Python(const std::string& path, const std::string& program) {
    WriteFileBytes(path + ".py", "import struct, sys, zipfile\npath = sys.argv[1]\n" + program);
    std::string output;
    ASSERT_EQ(Shell("python3 '" + path + ".py' '" + path + "'", &output), 0) << output;
    std::remove((path + ".py").c_str());
}

// Changes a 32-bit field of both headers of one entry, at these offsets in
// the local and the central header.
const char kPatch[] = R"PY(
def patch(name, local, central, change):
    d = bytearray(open(path, 'rb').read())
    at = struct.unpack_from('<I', d, d.rfind(b'PK\5\6') + 16)[0]
    while d[at:at + 4] == b'PK\1\2':
        n, e, c = struct.unpack_from('<HHH', d, at + 28)
        if d[at + 46:at + 46 + n] == name:
            for f in (at + central, struct.unpack_from('<I', d, at + 42)[0] + local):
                struct.pack_into('<I', d, f, change(struct.unpack_from('<I', d, f)[0]) & 0xFFFFFFFF)
        at += 46 + n + e + c
    open(path, 'wb').write(d)
)PY";

}  // namespace

void MakeZip(const std::string& path, const std::vector<ZipEntry>& entries) {
    std::string program = "with zipfile.ZipFile(path, 'w') as zf:\n    pass\n";
    for (const ZipEntry& e : entries) {
        char date[64];
        snprintf(date, sizeof date, "(%d, %d, %d, %d, %d, %d)", e.date[0], e.date[1], e.date[2],
                 e.date[3], e.date[4], e.date[5]);
        program += "    i = zipfile.ZipInfo(bytes.fromhex('" + Hex(e.name) + "').decode(), " +
                   date + ")\n    i.compress_type = zipfile." +
                   (e.deflate ? "ZIP_DEFLATED" : "ZIP_STORED") +
                   "\n    zf.writestr(i, bytes.fromhex('" + Hex(e.data) + "'))\n";
    }
    Python(path, program);
}

void CorruptCrc(const std::string& path, const std::string& name) {
    Python(path, kPatch + ("patch(bytes.fromhex('" + Hex(name) +
                           "'), 14, 16, lambda v: v ^ 0x5a5a5a5a)"));
}

void UnderstateSize(const std::string& path, const std::string& name, unsigned by) {
    Python(path, kPatch + ("patch(bytes.fromhex('" + Hex(name) + "'), 22, 24, lambda v: v - " +
                           std::to_string(by) + ")"));
}

std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace zipcvx_test

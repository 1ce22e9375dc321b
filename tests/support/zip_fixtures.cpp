#include "support/zip_fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <functional>

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

uint32_t Le(const std::string& d, size_t at, int width) {
    uint32_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(d[at + static_cast<size_t>(i)]);
    return v;
}

// Changes a 32-bit field of both headers of one entry (at these offsets in
// the local and the central header).
void PatchBothHeaders(const std::string& path, const std::string& name, size_t localField,
                      size_t centralField, const std::function<uint32_t(uint32_t)>& change) {
    std::string d = ReadFileBytes(path);
    const auto patch = [&](size_t at) {
        const uint32_t v = change(Le(d, at, 4));
        for (size_t i = 0; i < 4; ++i)
            d[at + i] = static_cast<char>(v >> (8 * i));
    };
    const size_t end = d.rfind("PK\x05\x06");
    ASSERT_NE(end, std::string::npos) << path;
    for (size_t at = Le(d, end + 16, 4); d.compare(at, 4, "PK\x01\x02") == 0;
         at += 46 + Le(d, at + 28, 2) + Le(d, at + 30, 2) + Le(d, at + 32, 2)) {
        if (d.compare(at + 46, Le(d, at + 28, 2), name) != 0) continue;
        patch(at + centralField);
        patch(Le(d, at + 42, 4) + localField);
    }
    WriteFileBytes(path, d);
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
    PatchBothHeaders(path, name, 14, 16, [](uint32_t v) { return v ^ 0x5a5a5a5au; });
}

void UnderstateSize(const std::string& path, const std::string& name, unsigned by) {
    PatchBothHeaders(path, name, 22, 24, [by](uint32_t v) { return v - by; });
}

std::string CountingBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i % 251);
    return bytes;
}

}  // namespace zipcvx_test

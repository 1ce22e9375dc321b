// Tampered AES entries never extract. (A traditionally encrypted entry is
// refused by its CRC, which zip.ExtractFile reads to the end for: see the
// bad-archive sweeps and extract_test.lua.)
#include <gtest/gtest.h>
#include <zip.h>

#include <string>

#include "support/fixtures.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

using Passwords = PluginHost;

// Flips one bit at each position from first to last (1-based, every step,
// and last itself) and extracts the entry, with the password given and, for
// every other position, set as the archive's default. Returns what went
// wrong: nothing when the intact entry extracts both ways and every flip
// fails with the zip error. Ends with the intact entry extracted to out.
const char kFlipEach[] = R"LUA((function(path, out, first, last, step)
  local f = assert(io.open(path, 'rb')); local intact = f:read('a'); f:close()
  local function extract(bytes, byDefault)
    local w = assert(io.open(out .. '.zip', 'wb')); w:write(bytes); w:close()
    zip.OpenArchive(1, out .. '.zip')
    if byDefault then zip.SetDefaultPassword(1, 'pw') end
    local ok, err = pcall(zip.ExtractFile, 1, 0, out, {password = not byDefault and 'pw' or nil})
    zip.CloseArchive(1)
    return ok, tostring(err)
  end
  local wrong = ''
  if not (extract(intact, false) and extract(intact, true)) then wrong = 'intact refused; ' end
  local at = first
  while at <= last do
    local flipped = intact:sub(1, at - 1) .. string.char(intact:byte(at) ~ (1 << at % 8)) ..
                    intact:sub(at + 1)
    local ok, err = extract(flipped, at % 2 == 0)
    if ok or not err:find('A zip error has occurred!', 1, true) then
      wrong = wrong .. 'flip at ' .. at .. ': ' .. (ok and 'extracted' or err) .. '; '
    end
    at = at == last and last + 1 or math.min(at + step, last)
  end
  extract(intact, false)
  return wrong
end))LUA";

// A bit flipped anywhere in an AES entry's stored bytes (salt, check bytes,
// encrypted data, authentication code) is refused, whatever form the entry
// has, long, short or empty, stored or deflated.
TEST_F(Passwords, TamperedAesEntriesNeverExtract) {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    const std::string seven = std::string(kSevenZip) + " -ppw -mem=";
    const struct {
        std::string tool;  // empty: written by libzip, in the older form with a CRC
        std::string content;
        bool stored = false;  // for libzip: stored, not deflated
    } rows[] = {
        {seven + "AES128 -mx0", text},    {seven + "AES256 -mx0", text},
        {seven + "AES128", text},         {seven + "AES256", text},
        {seven + "AES256 -mx0", "short"}, {seven + "AES192", "short short short"},
        {seven + "AES256", ""},           {"", text, true},
        {"", text.substr(0, 30000)},
    };
    const std::string archive = TempDir() + "/aes.zip";
    for (const auto& row : rows) {
        const std::string what = (row.tool.empty() ? "libzip" : row.tool) + ", " +
                                 std::to_string(row.content.size()) + " bytes";
        std::remove(archive.c_str());
        if (row.tool.empty()) {
            zip_t* za = zip_open(archive.c_str(), ZIP_CREATE, nullptr);
            zip_source_t* data = zip_source_buffer(za, row.content.data(), row.content.size(), 0);
            ASSERT_EQ(zip_file_add(za, "d.bin", data, 0), 0);
            ASSERT_EQ(zip_file_set_encryption(za, 0, ZIP_EM_AES_256, "pw"), 0);
            ASSERT_EQ(
                zip_set_file_compression(za, 0, row.stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0), 0);
            ASSERT_EQ(zip_close(za), 0);
        } else {
            MakeArchive(TempDir(), "aes.zip", {{"d.bin", row.content}}, row.tool);
        }
        // The entry's stored bytes follow its local header, at the start.
        const std::string head = ReadFileBytes(archive).substr(26, 4);
        const auto le16 = [&](int at) { return uint8_t(head[at]) | uint8_t(head[at + 1]) << 8; };
        const size_t first = 30 + le16(0) + le16(2) + 1;
        zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, nullptr);
        zip_stat_t entry;
        ASSERT_EQ(zip_stat_index(za, 0, 0, &entry), 0) << what;
        zip_discard(za);
        const std::string call = std::string(kFlipEach) + "([[" + archive + "]], [[" + TempDir() +
                                 "/out]], " + std::to_string(first) + ", " +
                                 std::to_string(first + entry.comp_size - 1) + ", " +
                                 std::to_string(entry.comp_size / 29 + 1) + ")";
        EXPECT_EQ(Eval(call), "") << what;
        EXPECT_EQ(ReadFileBytes(TempDir() + "/out"), row.content) << what;
    }
}

}  // namespace
}  // namespace zipcvx_test

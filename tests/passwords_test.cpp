// Wrong passwords never extract. Traditional encryption checks a password
// with one byte of its header, so about one wrong password in 256 gets past
// libzip's open; only the CRC at the end of the data can then refuse it,
// and zip.ExtractFile must read that far. AES checks two bytes, and an
// authentication code at the end.
#include <gtest/gtest.h>
#include <zip.h>

#include <string>

#include "support/fixtures.h"
#include "support/plugin_host.h"
#include "support/zip_fixtures.h"

namespace zipcvx_test {
namespace {

using Passwords = PluginHost;

// Extracts the only entry with n wrong passwords, then with the right one;
// returns "extracted opened" (opened: past the check at open, the
// destination was made).
const char kTryPasswords[] = R"LUA((function(path, out, n)
  zip.OpenArchive(1, path)
  local extracted, opened = 0, 0
  for k = 1, n do
    os.remove(out)
    if pcall(zip.ExtractFile, 1, 0, out, {password = "wrong" .. k}) then
      extracted = extracted + 1
    elseif io.open(out) then
      opened = opened + 1
    end
  end
  zip.ExtractFile(1, 0, out, {password = "right"})
  zip.CloseArchive(1)
  return extracted .. " " .. opened
end))LUA";

// About 1 in 256 wrong passwords passes the one-byte check; the CRC refuses
// them all. (AES checks two bytes: too few get past it to tell.)
TEST_F(Passwords, WrongPasswordsNeverExtract) {
    const std::string content = CountingBytes(5000);
    const std::string out = TempDir() + "/out.txt";
    const std::string archive =
        MakeArchive(TempDir(), "p.zip", {{"p.bin", content}}, "zip -q -X -P right");
    int extracted = -1, opened = -1;
    sscanf(Eval(kTryPasswords + ("([[" + archive + "]], [[" + out + "]], 20000)")).c_str(), "%d %d",
           &extracted, &opened);
    EXPECT_EQ(extracted, 0);
    EXPECT_TRUE(opened >= 20000 / 256 / 3 && opened <= 20000 / 256 * 4) << opened;
    EXPECT_TRUE(ReadFileBytes(out) == content) << "the right password extracts";
}

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

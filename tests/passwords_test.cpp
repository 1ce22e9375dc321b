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

constexpr int kWrongPasswords = 20000;
#ifdef ZIPCVX_EMULATED
constexpr int kWrongAesPasswords = 2000;
#else
constexpr int kWrongAesPasswords = kWrongPasswords;
#endif

// Extracts the entry with n wrong passwords; returns "extracted opened".
const char kTryPasswords[] = R"LUA(
local path, name, right, out, n = ...
zip.OpenArchive(1, path)
local i = zip.LocateFile(1, name)
local extracted, opened = 0, 0
for k = 1, n do
    os.remove(out)
    if pcall(zip.ExtractFile, 1, i, out, {password = "wrong" .. k}) then
        extracted = extracted + 1
    elseif io.open(out) then
        -- Past the password check at open: the destination was made.
        opened = opened + 1
    end
end
zip.ExtractFile(1, i, out, {password = right})
zip.CloseArchive(1)
return extracted .. " " .. opened
)LUA";

class Passwords : public PluginHost {
  protected:
    // Runs the tries and returns how many extracted and how many opened.
    std::pair<int, int> Try(const std::string& archive, const std::string& name,
                            const std::string& right, const std::string& content, int tries) {
        const std::string out = TempDir() + "/out.txt";
        const std::string call = std::string("(function(...) ") + kTryPasswords + " end)([[" +
                                 archive + "]], '" + name + "', '" + right + "', [[" + out +
                                 "]], " + std::to_string(tries) + ")";
        const std::string result = Eval(call);
        EXPECT_TRUE(ReadFileBytes(out) == content) << "the right password extracts";
        int extracted = -1;
        int opened = -1;
        sscanf(result.c_str(), "%d %d", &extracted, &opened);
        std::printf(
            "[ PASSWORD ] %s: %d wrong passwords, %d past the check at open, %d extracted\n",
            name.c_str(), tries, opened, extracted);
        return {extracted, opened};
    }
};

TEST_F(Passwords, WrongTraditionalPasswordsNeverExtract) {
    const std::string content = CountingBytes(5000);
    const std::string archive =
        MakeArchive(TempDir(), "trad.zip", {{"trad.bin", content}}, "zip -q -X -P right");
    const auto [extracted, opened] = Try(archive, "trad.bin", "right", content, kWrongPasswords);
    EXPECT_EQ(extracted, 0);
    // About 1 in 256 passes the one-byte check; the CRC refuses them all.
    EXPECT_GT(opened, kWrongPasswords / 256 / 3);
    EXPECT_LT(opened, kWrongPasswords / 256 * 4);
}

TEST_F(Passwords, WrongAesPasswordsNeverExtract) {
    const std::string content = CountingBytes(5000);
    const std::string archive = MakeArchive(TempDir(), "aes.zip", {{"aes.bin", content}},
                                            std::string(kSevenZip) + " -pright -mem=AES128");
    const auto [extracted, opened] = Try(archive, "aes.bin", "right", content, kWrongAesPasswords);
    EXPECT_EQ(extracted, 0);
    EXPECT_LT(opened, 5) << "two check bytes: about 1 in 65536 gets past them";
}

// Flips one bit at each position from first to last (1-based, every step,
// and last itself) and extracts the entry, with the password given and, for
// every other position, set as the archive's default. Returns what went
// wrong: nothing when the intact entry extracts both ways and every flip
// fails with the zip error. Ends with the intact entry extracted to out.
const char kFlipEach[] = R"LUA(
local path, out, first, last, step = ...
local f = assert(io.open(path, 'rb')); local intact = f:read('a'); f:close()
local function extract(bytes, byDefault)
  local w = assert(io.open(out .. '.zip', 'wb')); w:write(bytes); w:close()
  zip.OpenArchive(1, out .. '.zip')
  local ok, err
  if byDefault then
    zip.SetDefaultPassword(1, 'pw')
    ok, err = pcall(zip.ExtractFile, 1, 0, out)
  else
    ok, err = pcall(zip.ExtractFile, 1, 0, out, {password = 'pw'})
  end
  zip.CloseArchive(1)
  return ok, tostring(err)
end
local wrong = ''
for _, byDefault in ipairs({false, true}) do
  if not extract(intact, byDefault) then wrong = wrong .. 'intact refused; ' end
end
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
)LUA";

// libzip writes AES entries in the older form, which records the CRC too.
void WriteLibzipAes(const std::string& path, const std::string& content, bool stored) {
    zip_t* za = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    ASSERT_NE(za, nullptr);
    zip_source_t* source = zip_source_buffer(za, content.data(), content.size(), 0);
    const zip_int64_t i = zip_file_add(za, "d.bin", source, 0);
    ASSERT_GE(i, 0);
    const auto index = static_cast<zip_uint64_t>(i);
    ASSERT_EQ(zip_file_set_encryption(za, index, ZIP_EM_AES_256, "pw"), 0);
    if (stored) {
        ASSERT_EQ(zip_set_file_compression(za, index, ZIP_CM_STORE, 0), 0);
    }
    ASSERT_EQ(zip_close(za), 0);
}

// A bit flipped anywhere in an AES entry's stored bytes (salt, check bytes,
// encrypted data, authentication code) is refused, whatever form the entry
// has, long, short or empty, stored or deflated.
TEST_F(Passwords, TamperedAesEntriesNeverExtract) {
    std::string text;
    for (int i = 0; text.size() < 70000; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + "\n";
    const std::string seven = std::string(kSevenZip) + " -ppw -mem=";
    const struct {
        const char* what;
        std::string tool;  // empty: written by libzip
        std::string content;
        bool stored = false;  // for libzip: stored, not deflated
    } rows[] = {
        {"7-Zip AES-128, stored", seven + "AES128 -mx0", text},
        {"7-Zip AES-256, stored", seven + "AES256 -mx0", text},
        {"7-Zip AES-128, deflated", seven + "AES128", text},
        {"7-Zip AES-256, deflated", seven + "AES256", text},
        {"7-Zip AES-256, short, stored", seven + "AES256 -mx0", "short"},
        {"7-Zip AES-192, short, deflated", seven + "AES192", "short short short"},
        {"7-Zip AES-256, empty", seven + "AES256", ""},
        {"libzip AES-256, stored", "", text, true},
        {"libzip AES-256, deflated", "", text.substr(0, 30000)},
    };
    const std::string archive = TempDir() + "/aes.zip";
    for (const auto& row : rows) {
        std::remove(archive.c_str());
        if (row.tool.empty()) {
            WriteLibzipAes(archive, row.content, row.stored);
        } else {
            MakeArchive(TempDir(), "aes.zip", {{"d.bin", row.content}}, row.tool);
        }
        // The entry's stored bytes follow its local header, at the start.
        const std::string bytes = ReadFileBytes(archive);
        const auto le16 = [&](size_t at) {
            return static_cast<size_t>(static_cast<unsigned char>(bytes[at]) |
                                       static_cast<unsigned char>(bytes[at + 1]) << 8);
        };
        zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, nullptr);
        ASSERT_NE(za, nullptr) << row.what;
        zip_stat_t entry;
        ASSERT_EQ(zip_stat_index(za, 0, 0, &entry), 0);
        zip_discard(za);
        const size_t first = 30 + le16(26) + le16(28) + 1;
        const size_t last = first + entry.comp_size - 1;
        const std::string call = std::string("(function(...) ") + kFlipEach + " end)([[" +
                                 archive + "]], [[" + TempDir() + "/out]], " +
                                 std::to_string(first) + ", " + std::to_string(last) + ", " +
                                 std::to_string(entry.comp_size / 29 + 1) + ")";
        EXPECT_EQ(Eval(call), "") << row.what;
        EXPECT_EQ(ReadFileBytes(TempDir() + "/out"), row.content) << row.what;
    }
}

}  // namespace
}  // namespace zipcvx_test

// Wrong passwords never extract. Traditional encryption checks a password
// with one byte of its header, so about one wrong password in 256 gets past
// libzip's open; only the CRC at the end of the data can then refuse it,
// and zip.ExtractFile must read that far. AES checks two bytes, and an
// authentication code at the end.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace zipcvx_test

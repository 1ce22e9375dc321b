// Bad archives by script: every prefix of small archives made by real tools
// (deflate, bzip2, traditional and AES encryption, empty and directory
// entries), and every byte of them with one bit flipped, opened in both
// reading modes (the adapter's way in: fuzz/adapter_fuzzer.cpp). Nothing may
// crash or stay allocated or open, and an entry extracted must match the CRC
// its archive records.
#include <gtest/gtest.h>
#include <zip.h>

#include <functional>
#include <sstream>
#include <string>

#include "support/adapter_calls.h"
#include "support/fixtures.h"

namespace zipcvx_test {
namespace {

uint32_t Crc32(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

// By script, in the reading mode (the host's files) and the changing mode
// (libzip's own), discarding: every entry listed, examined and extracted with
// the fixtures' passwords. Answers the recorded CRC of each entry extracted
// (to out1, out2, ...), -1 for AES entries, which record none.
const char kByScript[] = R"LUA((function(path, out)
  local extracted, crcs = 0, ''
  for _, mode in ipairs({1005, 1004}) do
    if pcall(zip.OpenArchive, 1, path, mode) then
      local n = host.GetAttribute(zip.GetObjectType(), 1, ZIPATTRNUMENTRIES)
      for i = 0, math.min(n, 32) - 1 do
        pcall(zip.GetFileAtIndex, 1, i)
        local ok, t = pcall(zip.GetFileAttributes, 1, i)
        for _, pw in ipairs({'pw', 'Secret'}) do
          if pcall(zip.ExtractFile, 1, i, out, {password = pw}) and ok then
            extracted = extracted + 1
            os.rename(out, out .. extracted)
            local aes = t.encryption >= ZIP_EM_AES_128 and t.encryption <= ZIP_EM_AES_256
            crcs = crcs .. (aes and -1 or t.crc32) .. ' '
          end
        end
      end
      zip.CloseArchive(1, 1)
    end
  end
  return crcs
end))LUA";

class BadArchives : public AdapterTest, public ::testing::WithParamInterface<int> {
  protected:
    void TryEveryWayIn(const std::string& path, const std::string& where) {
        const std::string out = Path("out.bin");
        std::istringstream crcs(Eval(kByScript + ("([[" + path + "]], [[" + out + "]])")));
        long long crc = 0;
        for (int k = 1; crcs >> crc; ++k) {
            const std::string file = out + std::to_string(k);
            if (crc >= 0) {
                EXPECT_EQ(Crc32(ReadFileBytes(file)), uint32_t(crc))
                    << where << ": extracted, corrupt";
            }
            std::remove(file.c_str());
        }
        ASSERT_EQ(host().LeakReport(), "") << where;
    }

    // Damages the intact archive in each way `damage` gives (nothing once it
    // answers an empty string) and tries every way in.
    void TryDamaged(const std::string& intact, const std::string& what,
                    const std::function<std::string(const std::string&, int)>& damage) {
        const std::string bytes = ReadFileBytes(intact);
        for (int i = 0;; ++i) {
            const std::string damaged = damage(bytes, i);
            if (damaged.empty() && i > 0) break;
            WriteFileBytes(Path("damaged.zip"), damaged);
            TryEveryWayIn(Path("damaged.zip"), what + " " + std::to_string(i));
            if (HasFatalFailure()) return;
        }
    }
};

TEST_P(BadArchives, EveryPrefixAndEveryByteFlipped) {
    const std::string seven = kSevenZip;
    const struct {
        const char* name;
        std::string command;
        std::vector<FixtureFile> files;
    } tools[] = {
        {"Info-ZIP, deflate and stored",
         kInfoZip,
         {{"doc.txt", "a document, a document, a document\n"}, {"d/s.txt", "s"}}},
        {"7-Zip, bzip2", seven + " -mm=BZip2", {{"b.txt", "bzip2 bzip2 bzip2"}}},
        {"Info-ZIP, traditional encryption", "zip -q -X -P pw", {{"t.txt", "traditional"}}},
        {"7-Zip, AES-256", seven + " -pSecret -mem=AES256", {{"aes.txt", "advanced"}}},
        {"zipfile, empty and directory entries", kPythonZip, {{"e/f.txt", ""}, {"g.txt", "g"}}},
    };
    const auto& tool = tools[GetParam()];
    const std::string intact = MakeArchive(TempDir(), "intact.zip", tool.files, tool.command);
    TryDamaged(intact, tool.name + std::string(", prefix"), [](const std::string& b, int i) {
        return static_cast<size_t>(i) < b.size() ? b.substr(0, i) : "";
    });
    TryDamaged(intact, tool.name + std::string(", flip at"), [](const std::string& b, int i) {
        std::string flipped = static_cast<size_t>(i) < b.size() ? b : "";
        if (!flipped.empty()) flipped[i] = static_cast<char>(flipped[i] ^ (1 << (i * 3 % 8)));
        return flipped;
    });
}

INSTANTIATE_TEST_SUITE_P(Tools, BadArchives, ::testing::Range(0, 5));

class LargeBadArchive : public BadArchives {};

// No read reaches the end of an empty entry, so FOpen and zip.ExtractFile
// check it: an entry that records a size of 0 but a CRC or data of something
// else is refused, and zip.ExtractFile then makes no destination. (libzip
// serves a stored one that holds no bytes without looking at its CRC.)
TEST_F(LargeBadArchive, EmptyEntriesAreCheckedWhenOpened) {
    const std::string path = Path("empty.zip");
    MakeZip(path, {{"empty", ""},
                   {"lies", ""},
                   {"stored lies", "", false},
                   {"stored", "not empty", false},
                   {"deflated", "not empty either"},
                   {"dir/", ""}});
    PatchEntry(path, "lies", 0x5a5a5a5a, 0);
    PatchEntry(path, "stored lies", 0x5a5a5a5a, 0);
    PatchEntry(path, "stored", 0, -9);
    PatchEntry(path, "deflated", 0, -16);
    for (const char* name : {"empty", "dir/"}) {
        void* file = Open(path + "/" + name);
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(A().FEof(file), 1) << name;
        A().FClose(file);
    }
    for (const char* name : {"lies", "stored lies", "stored", "deflated"})
        EXPECT_EQ(Open(path + "/" + name), nullptr) << name;
    Run("path, out = [[" + path + "]], [[" + Path("out") + R"LUA(]]
        zip.OpenArchive(1, path)
        for _, name in ipairs({'lies', 'stored lies'}) do
          local ok, err = pcall(zip.ExtractFile, 1, zip.LocateFile(1, name), out)
          assert(not ok and err:find('A zip error has occurred!', 1, true), name)
          assert(not io.open(out), 'a destination for ' .. name)
        end
        zip.CloseArchive(1))LUA");
}

// An entry that says it uses strong encryption, which libzip cannot decrypt:
// extracting it with a password fails, and closing the archive afterwards
// still closes its file (libzip would keep a reference to it if asked to
// decrypt such an entry; the fixture's teardown finds any open file).
TEST_F(LargeBadArchive, UndecryptableEntriesAreRefusedBeforeOpening) {
    const std::string path =
        MakeArchive(TempDir(), "strong.zip", {{"s.txt", "strong"}}, "zip -q -X -P pw");
    // The strong-encryption bit of the general-purpose flags, in both headers.
    std::string bytes = ReadFileBytes(path);
    bytes[bytes.find("PK\x03\x04") + 6] |= 0x40;
    bytes[bytes.find("PK\x01\x02") + 8] |= 0x40;
    WriteFileBytes(path, bytes);
    Run("path, out = [[" + path + "]], [[" + Path("out.txt") + R"LUA(]]
        zip.OpenArchive(1, path)
        assert(not pcall(zip.ExtractFile, 1, 0, out, {password = 'pw'}))
        zip.SetDefaultPassword(1, 'pw')
        assert(not pcall(zip.ExtractFile, 1, 0, out))
        zip.CloseArchive(1)
        assert(host.OpenFiles() == 0, 'the archive stayed open'))LUA");
}

}  // namespace
}  // namespace zipcvx_test

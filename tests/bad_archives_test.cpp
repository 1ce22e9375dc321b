// Bad archives through every way in: every prefix of a few small archives
// made by real tools, every byte of them with one bit flipped, and random
// flips in a larger one with deflate, bzip2, traditionally encrypted and
// AES entries. Each damaged archive is opened by script in both reading
// modes and through the adapter (every name opened and read whole, examined
// and listed). Nothing may crash or stay allocated or open, and an entry
// read whole must match the CRC its archive records.
#include <gtest/gtest.h>
#include <zip.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/entry_points.h"
#include "support/adapter_calls.h"
#include "support/fixtures.h"

namespace zipcvx_test {
namespace {

uint32_t Crc32(const std::string& bytes) {
    static const auto table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes)
        crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return crc ^ 0xFFFFFFFFu;
}

bool IsAes(zip_uint16_t method) {
    return method == ZIP_EM_AES_128 || method == ZIP_EM_AES_192 || method == ZIP_EM_AES_256;
}

struct Tool {
    const char* name;
    std::string command;
    std::vector<FixtureFile> files;
};

class BadArchives : public AdapterTest, public ::testing::WithParamInterface<int> {
  protected:
    // The names to try: those of the intact archive, those libzip finds in
    // the damaged one, and the directories they imply.
    std::vector<std::string> NamesToTry(const std::string& path) {
        std::set<std::string> names(intactNames_.begin(), intactNames_.end());
        if (zip_t* za = zip_open(path.c_str(), ZIP_RDONLY, nullptr)) {
            const zip_int64_t n = zip_get_num_entries(za, 0);
            for (zip_int64_t i = 0; i < n && i < 32; ++i) {
                if (const char* name = zip_get_name(za, static_cast<zip_uint64_t>(i), 0)) {
                    names.insert(name);
                }
            }
            zip_discard(za);
        }
        std::set<std::string> withDirs = names;
        for (const std::string& n : names) {
            for (size_t slash = n.find('/'); slash != std::string::npos;
                 slash = n.find('/', slash + 1))
                withDirs.insert(n.substr(0, slash));
        }
        return {withDirs.begin(), withDirs.end()};
    }

    // Reads the entry whole, if it opens; an entry read to its end must
    // hold what its recorded CRC says.
    void ReadChecked(const std::string& path, const std::string& where) {
        void* file = A().FOpen(path.c_str(), kOpenRead, nullptr);
        if (file == nullptr) return;
        const zip_stat_t entry = FileRecord(file).entry;
        const int64_t size = FileRecord(file).size;
        const std::string read = ReadAll(file, 65536);
        A().FClose(file);
        ++opened_;
        if (static_cast<int64_t>(read.size()) != size) return;
        ++readWhole_;
        if ((entry.valid & ZIP_STAT_CRC) != 0 && !IsAes(entry.encryption_method)) {
            EXPECT_EQ(Crc32(read), entry.crc) << where << ": " << path << " read whole, corrupt";
        }
    }

    void TryEveryWayIn(const std::string& path, const std::string& where) {
        // By script, in the reading mode (the host's files) and the
        // changing mode (libzip's own), discarding: every entry listed,
        // examined and extracted (with the fixtures' passwords). An entry
        // extracted must hold what its CRC says (AES entries record none):
        // the chunk answers the recorded CRC of each, -1 for AES.
        const std::string out = Path("out.bin");
        const std::string chunk = "(function(path, out) " + std::string(R"LUA(
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
end)LUA") + ")([[" + path + "]], [[" +
                                  out + "]])";
        std::istringstream crcs(Eval(chunk));
        long long crc = 0;
        for (int k = 1; crcs >> crc; ++k) {
            const std::string file = out + std::to_string(k);
            if (crc >= 0) {
                EXPECT_EQ(Crc32(ReadFileBytes(file)), static_cast<uint32_t>(crc))
                    << where << ": an entry extracted, corrupt";
            }
            std::remove(file.c_str());
            ++extracted_;
        }
        std::remove(out.c_str());

        for (const std::string& name : NamesToTry(path)) {
            const std::string entry = path + "/" + name;
            ReadChecked(entry, where);
            StatRecord r{};
            A().Stat(entry.c_str(), 0, &r);
            void* dir = A().OpenDir(entry.c_str());
            if (dir != nullptr) {
                while (A().NextDirEntry(dir, &r) == 1) {
                }
                A().CloseDir(dir);
            }
        }
        void* root = A().OpenDir(path.c_str());
        if (root != nullptr) {
            StatRecord r{};
            while (A().NextDirEntry(root, &r) == 1) {
            }
            A().CloseDir(root);
        }
        ASSERT_EQ(host().LeakReport(), "") << where;
        ++tried_;
    }

    void Remember(const std::string& intact) {
        intactNames_.clear();
        zip_t* za = zip_open(intact.c_str(), ZIP_RDONLY, nullptr);
        ASSERT_NE(za, nullptr) << intact;
        const zip_int64_t n = zip_get_num_entries(za, 0);
        for (zip_int64_t i = 0; i < n; ++i)
            intactNames_.push_back(zip_get_name(za, static_cast<zip_uint64_t>(i), 0));
        zip_discard(za);
    }

    void Report(const std::string& what) {
        std::printf(
            "[  DAMAGE  ] %s: %d archive(s) tried; adapter: %d entries opened, %d read whole; "
            "scripts: %d extracted\n",
            what.c_str(), tried_, opened_, readWhole_, extracted_);
    }

    std::vector<std::string> intactNames_;
    int tried_ = 0;
    int opened_ = 0;
    int readWhole_ = 0;
    int extracted_ = 0;
};

const std::vector<Tool>& SmallArchives() {
    static const std::vector<Tool> tools = {
        {"Info-ZIP, deflate and stored",
         "zip -q -X",
         {{"doc.txt", "a document, a document, a document\n"}, {"d/s.txt", "s"}}},
        {"7-Zip, bzip2", std::string(kSevenZip) + " -mm=BZip2", {{"b.txt", "bzip2 bzip2 bzip2"}}},
        {"Info-ZIP, traditional encryption", "zip -q -X -P pw", {{"t.txt", "traditional"}}},
        {"7-Zip, AES-256",
         std::string(kSevenZip) + " -pSecret -mem=AES256",
         {{"aes.txt", "advanced"}}},
        {"zipfile, empty and directory entries", kPythonZip, {{"e/f.txt", ""}, {"g.txt", "g"}}},
    };
    return tools;
}

TEST_P(BadArchives, EveryPrefixAndEveryByteFlipped) {
    const Tool& tool = SmallArchives()[static_cast<size_t>(GetParam())];
    const std::string intact = MakeArchive(TempDir(), "intact.zip", tool.files, tool.command);
    Remember(intact);
    const std::string bytes = ReadFileBytes(intact);
    const std::string damaged = Path("damaged.zip");
    for (size_t length = 0; length < bytes.size(); ++length) {
        WriteFileBytes(damaged, bytes.substr(0, length));
        TryEveryWayIn(damaged, tool.name + std::string(", prefix ") + std::to_string(length));
        if (HasFatalFailure()) return;
    }
    Report(std::string(tool.name) + ", every prefix of " + std::to_string(bytes.size()));
    tried_ = opened_ = readWhole_ = extracted_ = 0;
    for (size_t at = 0; at < bytes.size(); ++at) {
        std::string flipped = bytes;
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (at * 3 % 8)));
        WriteFileBytes(damaged, flipped);
        TryEveryWayIn(damaged, tool.name + std::string(", flip at ") + std::to_string(at));
        if (HasFatalFailure()) return;
    }
    Report(std::string(tool.name) + ", every byte flipped");
}

INSTANTIATE_TEST_SUITE_P(Tools, BadArchives, ::testing::Range(0, 5));

class LargeBadArchive : public BadArchives {};

TEST_F(LargeBadArchive, RandomFlips) {
    // Entries of every kind, packed one by one into one archive.
    const std::string intact = Path("large.zip");
    const std::string text = CountingBytes(40000);
    std::string words;
    for (int i = 0; i < 3000; ++i)
        words += "word" + std::to_string(i * 7919 % 1000) + " ";
    MakeArchive(TempDir(), "large.zip", {{"deflate.txt", words}}, "zip -q -X");
    MakeArchive(TempDir(), "large.zip", {{"stored.bin", text}}, "zip -q -X -0");
    MakeArchive(TempDir(), "large.zip", {{"bzip2.txt", words}},
                std::string(kSevenZip) + " -mm=BZip2");
    MakeArchive(TempDir(), "large.zip", {{"trad.txt", words}}, "zip -q -X -P pw");
    MakeArchive(TempDir(), "large.zip", {{"aes.txt", words}},
                std::string(kSevenZip) + " -pSecret -mem=AES256");
    Remember(intact);
    ASSERT_EQ(intactNames_.size(), 5u);
    const std::string bytes = ReadFileBytes(intact);
    const std::string damaged = Path("damaged.zip");
    std::mt19937 random(20240601);
    constexpr int kFlips = 600;
    for (int i = 0; i < kFlips; ++i) {
        std::string flipped = bytes;
        // Half the flips land in the last 1 KiB: the directory and headers.
        const size_t at = i % 2 == 0
                              ? random() % bytes.size()
                              : bytes.size() - 1 - random() % std::min<size_t>(1024, bytes.size());
        flipped[at] = static_cast<char>(flipped[at] ^ (1 << (random() % 8)));
        WriteFileBytes(damaged, flipped);
        TryEveryWayIn(damaged, "large archive, flip at " + std::to_string(at));
        if (HasFatalFailure()) return;
    }
    Report("large archive of " + std::to_string(bytes.size()) + " bytes, random flips");
}

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
    CorruptCrc(path, "lies");
    CorruptCrc(path, "stored lies");
    UnderstateSize(path, "stored", 9);
    UnderstateSize(path, "deflated", 16);
    for (const char* name : {"empty", "dir/"}) {
        void* file = A().FOpen((path + "/" + name).c_str(), kOpenRead, nullptr);
        ASSERT_NE(file, nullptr) << name;
        EXPECT_EQ(A().FEof(file), 1) << name;
        A().FClose(file);
    }
    for (const char* name : {"lies", "stored lies", "stored", "deflated"}) {
        EXPECT_EQ(A().FOpen((path + "/" + name).c_str(), kOpenRead, nullptr), nullptr) << name;
    }
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

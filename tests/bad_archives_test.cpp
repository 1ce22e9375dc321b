// Archives whose entries lie about themselves, through the adapter and by
// script. (Every prefix and bit flip of small archives: extract_test.lua.)
#include <gtest/gtest.h>

#include <string>

#include "support/adapter_calls.h"

namespace zipcvx_test {
namespace {

using LargeBadArchive = AdapterTest;

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

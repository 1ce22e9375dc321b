// Fault sweeps of the adapter's entry points: every allocation of the host and every host file call
// fails in turn. Each point answers null or 0 (or a short read), leaves nothing allocated or open,
// and the archive keeps every byte.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/adapter_calls.h"
#include "support/fault_sweep.h"

namespace zipcvx_test {
namespace {

class AdapterSweeps : public PicsTest {
  protected:
    void SetUp() override {
        PicsTest::SetUp();
        bzip2 = MakeArchive(TempDir(), "bzip2.zip", {{"big.txt", CountingBytes(30000)}},
                            std::string(kSevenZip) + " -mm=BZip2");
    }

    // Opens, reads whole and closes one entry; true only when every byte
    // came back (a short read is a failure, other bytes a fault).
    bool ReadEntry(const std::string& path, const std::string& expected,
                   const TagItem* tags = nullptr) {
        void* file = Open(path, kOpenRead, tags);
        const std::string read = file != nullptr ? ReadAll(file) : "";
        if (file != nullptr) {
            EXPECT_EQ(A().FClose(file), 1);
        }
        EXPECT_TRUE(read.size() < expected.size() || read == expected) << path << ": other bytes";
        return file != nullptr && read == expected;
    }

    SweepCase Case(const std::string& what, std::function<bool()> operation) {
        SweepCase c;
        c.what = what;
        c.operation = std::move(operation);
        c.unchanged = {pics, bzip2};
        return c;
    }

    void SweepAllocAndIo(const SweepCase& c) { zipcvx_test::SweepAllocAndIo(host(), c); }
    std::string bzip2;
};

TEST_F(AdapterSweeps, OpeningAndReadingEntries) {
    const std::string big = CountingBytes(100000);
    for (const auto& [name, data] : {std::pair<std::string, std::string>{"img/a.png", big},
                                     {"doc.txt", kDocText},
                                     {"doc/deep/x.txt", "x"},
                                     {"img/", ""}}) {
        const std::string path = pics + "/" + name;
        SweepAllocAndIo(Case("FOpen, FRead, FClose of " + name,
                             [&, &data = data] { return ReadEntry(path, data); }));
    }
    SweepAllocAndIo(Case("FOpen, FRead, FClose of a bzip2 entry",
                         [&] { return ReadEntry(bzip2 + "/big.txt", CountingBytes(30000)); }));
    // Byte by byte, seeking back and forth: the cache grows under FGetC.
    SweepAllocAndIo(Case("FOpen, FSeek, FGetC, FEof, FClose", [&] {
        void* file = Open(pics + "/img/a.png");
        if (file == nullptr) return false;
        bool all = true;
        for (const int64_t at : {69999, 0, 65536, 65535}) {
            A().FSeek(file, at, kSeekStart);
            all = all && A().FGetC(file) == static_cast<int>(at % 251);
        }
        all = all && A().FEof(file) == 0;
        A().FClose(file);
        return all;
    }));
    // The archive's bytes held by the host and named through open tags.
    const std::string bytes = ReadFileBytes(pics);
    const TagItem tags[] = {
        {2, reinterpret_cast<uintptr_t>(bytes.data())}, {3, bytes.size()}, {0, 0}};
    SweepAllocAndIo(
        Case("FOpen through open tags", [&] { return ReadEntry("mem.zip/img/a.png", big, tags); }));
}

TEST_F(AdapterSweeps, ExaminingEveryKindOfName) {
    for (const auto& [entry, kind, size] : {std::tuple{"doc.txt", 0, 11},
                                            {"img", 1, 0},
                                            {"IMG/A.PNG", 0, 100000},
                                            {"doc/deep", 1, 0}}) {
        // With the full name, whose block comes on top of what a plain Stat takes.
        const std::string path = pics + "/" + entry;
        Sweep(host(), HostFault(cvx::Fault::Alloc),
              Case("Stat of " + path, [&, kind = kind, size = size] {
                  StatRecord r{};
                  if (A().Stat(path.c_str(), kStatFullName, &r) == 0) return false;
                  EXPECT_EQ(r.kind, kind) << path;
                  EXPECT_EQ(r.size, size) << path;
                  host().AdoptBlock(const_cast<char*>(r.name));
                  return true;
              }));
    }
    SweepAllocAndIo(Case("FStat, full name", [&] {
        void* file = Open(pics + "/doc.txt");
        if (file == nullptr) return false;
        StatRecord r{};
        const int32_t filled = A().FStat(file, kStatFullName, &r);
        if (filled != 0) host().AdoptBlock(const_cast<char*>(r.name));
        A().FClose(file);
        return filled != 0;
    }));
}

TEST_F(AdapterSweeps, ListingDirectories) {
    std::string listed;
    for (const auto& [dir, names] :
         {std::pair<std::string, std::string>{"", "img/ doc.txt doc/ empty.txt"},
          {"/img", "a.png b.png sub/"},
          {"/doc", "deep/"}}) {
        const std::string path = pics + dir;
        SweepCase c = Case("listing of \"" + dir + "\"", [&, &names = names] {
            listed = List(path);
            EXPECT_TRUE(listed == names || listed == "(none)") << listed;
            return listed == names;
        });
        Sweep(host(), HostFault(cvx::Fault::Alloc, "zipplug"), c);
        // A subdirectory that cannot be recorded is listed all the same,
        // and again at its next mention.
        c.operation = [&] { return (listed = List(path)) != "(none)"; };
        c.mayAbsorb = true;
        c.check = [&, &names = names](int64_t, bool) {
            std::istringstream expected(names);
            for (std::string name; expected >> name;) {
                EXPECT_NE((" " + listed + " ").find(" " + name + " "), std::string::npos)
                    << name << " not listed";
            }
        };
        Sweep(host(), HostFault(cvx::Fault::Alloc, "zcd"), c);
    }
}

}  // namespace
}  // namespace zipcvx_test

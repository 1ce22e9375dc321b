// Fault sweeps of the adapter's entry points: every allocation of the host
// and of the C heap under libzip, and every host file call, fails in turn.
// Each point answers null or 0 (or a short read), leaves nothing allocated
// or open, and the archive keeps every byte.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "plugin/entry_points.h"
#include "support/adapter_calls.h"
#include "support/c_heap_faults.h"
#include "support/fault_sweep.h"
#include "support/fixtures.h"

namespace zipcvx_test {
namespace {

class AdapterSweeps : public AdapterTest {
  protected:
    void SetUp() override {
        AdapterTest::SetUp();
        contents_ = {{"img/a.png", CountingBytes(70000)},
                     {"doc.txt", "a document\n"},
                     {"sub/deep/x.txt", "x"},
                     {"img/", ""}};
        archive_ = Path("pics.zip");
        MakeZip(archive_, {{"img/", ""},
                           {"img/a.png", contents_["img/a.png"]},
                           {"doc.txt", contents_["doc.txt"], false},
                           {"sub/deep/x.txt", "x"}});
        // bzip2 data, made by 7-Zip.
        bzip2_ = MakeArchive(TempDir(), "bzip2.zip", {{"big.txt", CountingBytes(30000)}},
                             std::string(kSevenZip) + " -mm=BZip2");
    }

    // Opens, reads whole in blocks of 4096 bytes, and closes one entry;
    // true only when every byte came back.
    bool ReadEntry(const std::string& path, const std::string& expected,
                   const TagItem* tags = nullptr) {
        void* file = A().FOpen(path.c_str(), kOpenRead, tags);
        if (file == nullptr) return false;
        const std::string read = ReadAll(file);
        EXPECT_EQ(A().FClose(file), 1);
        if (read.size() < expected.size()) return false;
        EXPECT_TRUE(read == expected) << path << ": other bytes than stored";
        return read == expected;
    }

    SweepCase ReadCase(const std::string& what, std::function<bool()> read) {
        SweepCase c;
        c.what = what;
        c.operation = std::move(read);
        c.unchanged = {archive_, bzip2_};
        return c;
    }

    std::map<std::string, std::string> contents_;
    std::string archive_;
    std::string bzip2_;
};

TEST_F(AdapterSweeps, OpeningAndReadingEveryEntry) {
    for (const auto& entry : contents_) {
        const std::string& name = entry.first;
        const std::string& data = entry.second;
        const std::string path = archive_ + "/" + name;
        const SweepCase c =
            ReadCase("FOpen, FRead, FClose of " + name, [&] { return ReadEntry(path, data); });
        SweepAll(host(), AllocSites(), c);
        SweepAll(host(), HostIoSites(), c);
    }
    // Byte by byte, seeking back and forth: the cache grows under FGetC.
    const std::string png = archive_ + "/img/a.png";
    const SweepCase bytes = ReadCase("FOpen, FSeek, FGetC, FEof, FClose", [&] {
        void* file = A().FOpen(png.c_str(), kOpenRead, nullptr);
        if (file == nullptr) return false;
        bool all = true;
        for (const int64_t at : {69999, 0, 65536, 65535}) {
            A().FSeek(file, at, kSeekStart);
            all = all && A().FGetC(file) == static_cast<int>(at % 251);
        }
        all = all && A().FEof(file) == 0;
        A().FClose(file);
        return all;
    });
    SweepAll(host(), AllocSites(), bytes);
    SweepAll(host(), HostIoSites(), bytes);
    const SweepCase c = ReadCase("FOpen, FRead, FClose of a bzip2 entry", [&] {
        return ReadEntry(bzip2_ + "/big.txt", CountingBytes(30000));
    });
    SweepAll(host(), AllocSites(), c);
    SweepAll(host(), HostIoSites(), c);
}

// The archive's bytes held by the host and named through open tags.
TEST_F(AdapterSweeps, OpeningAnArchiveInMemory) {
    const std::string bytes = ReadFileBytes(archive_);
    const TagItem tags[] = {
        {2, reinterpret_cast<uintptr_t>(bytes.data())}, {3, bytes.size()}, {0, 0}};
    const SweepCase c = ReadCase("FOpen through open tags", [&] {
        return ReadEntry("mem.zip/img/a.png", contents_["img/a.png"], tags);
    });
    SweepAll(host(), AllocSites(), c);
    SweepAll(host(), HostIoSites(), c);
}

TEST_F(AdapterSweeps, ExaminingEveryKindOfName) {
    struct Name {
        const char* entry;
        int32_t kind;
        int64_t size;
    };
    for (const Name& n : {Name{"doc.txt", 0, 11}, Name{"img", 1, 0}, Name{"IMG/A.PNG", 0, 70000},
                          Name{"sub/deep", 1, 0}}) {
        for (const int32_t flags : {0, static_cast<int32_t>(kStatFullName)}) {
            const std::string path = archive_ + "/" + n.entry;
            const SweepCase c = ReadCase(
                std::string("Stat of ") + n.entry + (flags != 0 ? ", full name" : ""), [&] {
                    StatRecord r{};
                    if (A().Stat(path.c_str(), flags, &r) == 0) return false;
                    EXPECT_EQ(r.kind, n.kind) << path;
                    EXPECT_EQ(r.size, n.size) << path;
                    if (flags != 0) host().AdoptBlock(const_cast<char*>(r.name));
                    return true;
                });
            SweepAll(host(), AllocSites(), c);
        }
    }
    const SweepCase c = ReadCase("FStat, full name", [&] {
        void* file = A().FOpen((archive_ + "/doc.txt").c_str(), kOpenRead, nullptr);
        if (file == nullptr) return false;
        StatRecord r{};
        const int32_t filled = A().FStat(file, kStatFullName, &r);
        if (filled != 0) host().AdoptBlock(const_cast<char*>(r.name));
        A().FClose(file);
        return filled != 0;
    });
    SweepAll(host(), AllocSites(), c);
    SweepAll(host(), HostIoSites(), c);
}

TEST_F(AdapterSweeps, ListingDirectories) {
    // Names listed, in order, or "" when the directory did not open.
    std::string listed;
    const auto list = [&](const std::string& path) {
        listed.clear();
        void* dir = A().OpenDir(path.c_str());
        if (dir == nullptr) return false;
        StatRecord r;
        while (A().NextDirEntry(dir, &r) == 1)
            listed += std::string(r.name) + (r.kind == 1 ? "/ " : " ");
        A().CloseDir(dir);
        return true;
    };
    struct Listing {
        std::string dir;
        std::string names;
    };
    for (const Listing& l : {Listing{"", "img/ doc.txt sub/ "}, Listing{"/img", "a.png "},
                             Listing{"/sub", "deep/ "}}) {
        const std::string path = archive_ + l.dir;
        SweepCase c = ReadCase("OpenDir, NextDirEntry, CloseDir of \"" + l.dir + "\"", [&] {
            if (!list(path)) return false;
            EXPECT_EQ(listed, l.names) << path;
            return true;
        });
        SweepAll(host(), {HostFault(cvx::Fault::Alloc, "zipplug")}, c);
        if (CHeapFaults::Available()) Sweep(host(), CHeap(), c);
        // A subdirectory that cannot be recorded is listed all the same,
        // and again at its next mention.
        c.operation = [&] { return list(path); };
        c.mayAbsorb = true;
        c.check = [&](int64_t, bool) {
            for (const char* name : {"img/", "doc.txt", "sub/", "a.png", "deep/"}) {
                if (l.names.find(name) != std::string::npos) {
                    EXPECT_NE(listed.find(name), std::string::npos) << name << " not listed";
                }
            }
        };
        Sweep(host(), HostFault(cvx::Fault::Alloc, "zcd"), c);
    }
}

}  // namespace
}  // namespace zipcvx_test

// The rows of the table, in the order printed, and the targets set for them.
#include "bench/cases.h"

#include "bench/measure.h"

namespace bench {
namespace {

int64_t BigBytes(const Workload& w) {
    return w.BigBytes();
}
int64_t SmallBytes(const Workload& w) {
    return w.SmallBytes();
}
int64_t SeekBytes(const Workload& w) {
    return SeekPattern::For(w.BigBytes()).Bytes(w.BigBytes());
}

std::vector<std::string> Unzip(const std::string& archive) {
    return {"unzip", "-p", archive, kBigEntry};
}
std::vector<std::string> Bsdtar(const std::string& archive) {
    return {"bsdtar", "-xOf", archive, kBigEntry};
}
std::vector<std::string> SevenZip(const std::string& archive) {
    return {"7zz", "e", "-so", "-bd", archive, kBigEntry};
}
// zipfile with a 64 KiB copy loop, as a script would write it.
std::vector<std::string> Python(const std::string& archive) {
    return {"/usr/bin/python3", "-c",
            "import shutil, sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1]) as z, z.open(sys.argv[2]) as e:\n"
            "    shutil.copyfileobj(e, sys.stdout.buffer, 65536)\n",
            archive, kBigEntry};
}

std::vector<std::string> UnzipDeflated(const CaseContext& c) {
    return Unzip(c.paths.BigDeflated());
}
std::vector<std::string> BsdtarDeflated(const CaseContext& c) {
    return Bsdtar(c.paths.BigDeflated());
}
std::vector<std::string> SevenZipDeflated(const CaseContext& c) {
    return SevenZip(c.paths.BigDeflated());
}
std::vector<std::string> PythonDeflated(const CaseContext& c) {
    return Python(c.paths.BigDeflated());
}
std::vector<std::string> UnzipStored(const CaseContext& c) {
    return Unzip(c.paths.BigStored());
}
std::vector<std::string> BsdtarStored(const CaseContext& c) {
    return Bsdtar(c.paths.BigStored());
}
std::vector<std::string> SevenZipStored(const CaseContext& c) {
    return SevenZip(c.paths.BigStored());
}
std::vector<std::string> PythonStored(const CaseContext& c) {
    return Python(c.paths.BigStored());
}
// Info-ZIP zip at the level libzip writes by default, names without paths.
std::vector<std::string> InfoZipAdd(const CaseContext& c) {
    return {"sh",
            "-c",
            "rm -f \"$1\" && zip -q -9 -j -r \"$1\" \"$2\" && rm -f \"$1\"",
            "sh",
            c.paths.Output("infozip"),
            c.paths.dir + "/added"};
}

constexpr Zone P = Zone::Pinned;

// clang-format off
const std::vector<Case> kCases = {
    // id, section, label, baseline, speed, bytes, run, tool, warm, zone, needs[, maxRepetitions]
    {"x.raw",       "Extract 1 entry, deflated", "libzip: zip_fopen_index + 64 KiB zip_fread + write", nullptr, true, BigBytes, RawExtractDeflated, nullptr, false, P, nullptr},
    {"x.plugin",    "Extract 1 entry, deflated", "zip.ExtractFile (OpenArchive to CloseArchive)", "x.raw", true, BigBytes, PluginExtractDeflated, nullptr, false, P, nullptr},
    {"x.plugin.cb", "Extract 1 entry, deflated", "zip.ExtractFile with a progress callback", "x.raw", true, BigBytes, PluginExtractDeflatedCallback, nullptr, false, P, nullptr},
    {"x.unzip",     "Extract 1 entry, deflated", "unzip -p", "x.raw", true, BigBytes, nullptr, UnzipDeflated, false, P, "unzip"},
    {"x.bsdtar",    "Extract 1 entry, deflated", "bsdtar -xOf", "x.raw", true, BigBytes, nullptr, BsdtarDeflated, false, P, "bsdtar"},
    {"x.7zz",       "Extract 1 entry, deflated", "7zz e -so", "x.raw", true, BigBytes, nullptr, SevenZipDeflated, false, P, "7zz"},
    {"x.python",    "Extract 1 entry, deflated", "python3 zipfile, 64 KiB copy loop", "x.raw", true, BigBytes, nullptr, PythonDeflated, false, P, "/usr/bin/python3"},

    {"s.raw",       "Extract 1 entry, stored", "libzip: zip_fopen_index + 64 KiB zip_fread + write", nullptr, true, BigBytes, RawExtractStored, nullptr, false, P, nullptr},
    {"s.plugin",    "Extract 1 entry, stored", "zip.ExtractFile", "s.raw", true, BigBytes, PluginExtractStored, nullptr, false, P, nullptr},
    {"s.unzip",     "Extract 1 entry, stored", "unzip -p", "s.raw", true, BigBytes, nullptr, UnzipStored, false, P, "unzip"},
    {"s.bsdtar",    "Extract 1 entry, stored", "bsdtar -xOf", "s.raw", true, BigBytes, nullptr, BsdtarStored, false, P, "bsdtar"},
    {"s.7zz",       "Extract 1 entry, stored", "7zz e -so", "s.raw", true, BigBytes, nullptr, SevenZipStored, false, P, "7zz"},
    {"s.python",    "Extract 1 entry, stored", "python3 zipfile, 64 KiB copy loop", "s.raw", true, BigBytes, nullptr, PythonStored, false, P, "/usr/bin/python3"},

    {"a.raw64k",    "Read 1 deflated entry as a file", "libzip: zip_fread, 64 KiB calls", nullptr, true, BigBytes, RawRead64k, nullptr, false, P, nullptr},
    {"a.fread64k",  "Read 1 deflated entry as a file", "adapter FOpen + FRead, 64 KiB calls (first pass)", "a.raw64k", true, BigBytes, AdapterRead64k, nullptr, false, P, nullptr},
    {"a.physfs64k", "Read 1 deflated entry as a file", "PhysicsFS PHYSFS_readBytes, 64 KiB calls", "a.raw64k", true, BigBytes, PhysfsRead64k, nullptr, false, P, "physfs"},
    {"a.zzip64k",   "Read 1 deflated entry as a file", "zziplib zzip_file_read, 64 KiB calls", "a.raw64k", true, BigBytes, ZzipRead64k, nullptr, false, P, "zzip"},
    {"a.raw4k",     "Read 1 deflated entry as a file", "libzip: zip_fread, 4 KiB calls", nullptr, true, BigBytes, RawRead4k, nullptr, false, P, nullptr},
    {"a.fread4k",   "Read 1 deflated entry as a file", "adapter FRead, 4 KiB calls (first pass)", "a.raw4k", true, BigBytes, AdapterRead4k, nullptr, false, P, nullptr},
    {"a.physfs4k",  "Read 1 deflated entry as a file", "PhysicsFS PHYSFS_readBytes, 4 KiB calls", "a.raw4k", true, BigBytes, PhysfsRead4k, nullptr, false, P, "physfs"},
    {"a.zzip4k",    "Read 1 deflated entry as a file", "zziplib zzip_file_read, 4 KiB calls", "a.raw4k", true, BigBytes, ZzipRead4k, nullptr, false, P, "zzip"},
    {"a.memcpy",    "Read 1 deflated entry as a file", "memcpy out of memory, 64 KiB calls", nullptr, true, BigBytes, MemcpyPass, nullptr, false, P, nullptr},
    {"a.cached",    "Read 1 deflated entry as a file", "adapter FRead, second pass (from the cache)", "a.memcpy", true, BigBytes, AdapterCachedPass, nullptr, false, P, nullptr},
    {"a.seek.physfs", "Read 1 deflated entry as a file", "PhysicsFS, 31 seeks back by 1 MiB", nullptr, true, SeekBytes, PhysfsSeekPattern, nullptr, false, P, "physfs", 3},
    {"a.seek.zzip", "Read 1 deflated entry as a file", "zziplib, 31 seeks back by 1 MiB", "a.seek.physfs", true, SeekBytes, ZzipSeekPattern, nullptr, false, P, "zzip", 3},
    {"a.seek",      "Read 1 deflated entry as a file", "adapter FSeek + FRead, 31 seeks back by 1 MiB", "a.seek.physfs", true, SeekBytes, AdapterSeekPattern, nullptr, false, P, nullptr},

    {"l.open",      "Many entries: look up and list", "libzip: zip_open + zip_discard", nullptr, false, nullptr, BareOpen, nullptr, true, P, nullptr},
    {"l.open.tz",   "Many entries: look up and list", "libzip: zip_open + zip_discard, TZ unset", "l.open", false, nullptr, BareOpen, nullptr, true, Zone::Unset, nullptr},
    {"l.stat.bare", "Many entries: look up and list", "libzip: zip_open + zip_stat (nocase) + zip_discard", nullptr, false, nullptr, BareStatFile, nullptr, true, P, nullptr},
    {"l.stat",      "Many entries: look up and list", "adapter Stat of the last file", "l.stat.bare", false, nullptr, AdapterStatFile, nullptr, true, P, nullptr},
    {"l.stat.dir",  "Many entries: look up and list", "adapter Stat of a directory known from deeper names", "l.stat.bare", false, nullptr, AdapterStatDirectory, nullptr, true, P, nullptr},
    // PhysicsFS's mount dominates its rows and takes seconds at the full size.
    {"l.stat.physfs", "Many entries: look up and list", "PhysicsFS mount + PHYSFS_stat", "l.stat.bare", false, nullptr, PhysfsStatFile, nullptr, false, P, "physfs", 2},
    {"l.walk",      "Many entries: look up and list", "libzip: zip_open + one walk over the names", nullptr, false, nullptr, BareWalkNames, nullptr, true, P, nullptr},
    {"l.root",      "Many entries: look up and list", "adapter OpenDir + NextDirEntry of the root", "l.walk", false, nullptr, AdapterListRoot, nullptr, true, P, nullptr},
    {"l.dir",       "Many entries: look up and list", "adapter OpenDir + NextDirEntry of 1 directory", "l.walk", false, nullptr, AdapterListDirectory, nullptr, true, P, nullptr},
    {"l.root.physfs", "Many entries: look up and list", "PhysicsFS mount + enumerate the root", "l.walk", false, nullptr, PhysfsListRoot, nullptr, false, P, "physfs", 2},
    {"l.locate.bare", "Many entries: look up and list", "libzip: zip_open + zip_name_locate + zip_discard", nullptr, false, nullptr, BareLocate, nullptr, true, P, nullptr},
    {"l.locate",    "Many entries: look up and list", "zip.OpenArchive + zip.LocateFile + zip.CloseArchive", "l.locate.bare", false, nullptr, PluginLocate, nullptr, true, P, nullptr},
    {"l.nocase.bare", "Many entries: look up and list", "libzip: the same with ZIP_FL_NOCASE", nullptr, false, nullptr, BareLocateNoCase, nullptr, true, P, nullptr},
    {"l.nocase",    "Many entries: look up and list", "the same with {nocase = 1}", "l.nocase.bare", false, nullptr, PluginLocateNoCase, nullptr, true, P, nullptr},

    {"c.bare",      "Write 1,000 added files", "libzip: zip_open + zip_file_add (zip_source_file) + zip_close", nullptr, false, nullptr, BareAddAndClose, nullptr, false, P, nullptr},
    {"c.plugin",    "Write 1,000 added files", "zip.OpenArchive + zip.AddFile + zip.CloseArchive", "c.bare", false, nullptr, PluginAddAndClose, nullptr, false, P, nullptr},
    {"c.plugin.cb", "Write 1,000 added files", "the same, CloseArchive with a progress callback", "c.bare", false, nullptr, PluginAddAndCloseCallback, nullptr, false, P, nullptr},
    {"c.infozip",   "Write 1,000 added files", "zip -q -9 -j -r (Info-ZIP)", "c.bare", false, nullptr, nullptr, InfoZipAdd, false, P, "zip"},

    {"m.extract.small", "Memory", "zip.ExtractFile of a 1/16 size entry", nullptr, true, SmallBytes, PluginExtractSmall, nullptr, false, P, nullptr},
    {"m.fread.small", "Memory", "adapter first pass over a 1/16 size entry", nullptr, true, SmallBytes, AdapterReadSmall, nullptr, false, P, nullptr},
};

// Speed targets are ratios of times in one run; see docs/performance.md.
const std::vector<Target> kTargets = {
    {"x.plugin", "x.raw", Goal::SpeedAtLeast, 0.97},
    {"x.plugin", "x.unzip", Goal::SpeedAtLeast, 1.4},
    {"s.plugin", "s.raw", Goal::SpeedAtLeast, 0.97},
    {"a.fread64k", "a.raw64k", Goal::SpeedAtLeast, 0.85},
    {"a.fread4k", "a.raw4k", Goal::SpeedAtLeast, 0.8},
    {"a.cached", nullptr, Goal::MBPerSecAtLeast, 10000.0},
    {"a.seek", "a.seek.physfs", Goal::SpeedAtLeast, 5.0},
    {"l.stat", "l.stat.bare", Goal::TimeAtMost, 1.05},
    {"l.stat.dir", "l.stat.bare", Goal::TimeAtMost, 1.05},
    {"l.root", "l.walk", Goal::TimeAtMost, 1.1},
    {"x.plugin", "m.extract.small", Goal::RssNotAbove, 1.0},
};
// clang-format on

}  // namespace

const std::vector<Case>& AllCases() {
    return kCases;
}

const std::vector<Target>& AllTargets() {
    return kTargets;
}

const Case* FindCase(const std::string& id) {
    for (const Case& c : kCases) {
        if (id == c.id) return &c;
    }
    return nullptr;
}

}  // namespace bench

// The cases: bare libzip, as a program using it directly would
// be written (the limits the plugin is measured against); zip.cvx through
// the stand-in host, its commands as scripts run them and its adapter as
// the host's file layer calls it; PhysicsFS for backward seeks, unzip for
// extraction. Then the rows of the table, in the order printed, and the
// targets set for them: every row is a target's own case or the baseline a
// target is measured against (docs/performance.md explains each).
#include <fcntl.h>
#include <malloc.h>
#include <physfs.h>
#include <unistd.h>
#include <zip.h>

#include <cstring>
#include <memory>

#include "bench/bench.h"
#include "host/host.h"

// glibc's own realloc, which the one below stands in front of.
extern "C" void* __libc_realloc(void* block, size_t size);

namespace bench {
namespace {
// Set by the cases that measure an allocator that copies on growth, as the
// real target's does; glibc can often grow a big block in place instead.
bool gCopyOnGrowth = false;
volatile uint64_t gSink = 0;  // results the compiler cannot drop
}  // namespace
}  // namespace bench

// Every realloc in this process, the plugin's included (it binds to the
// program's definition first), comes here.
extern "C" void* realloc(void* block, size_t size) {
    if (!bench::gCopyOnGrowth || block == nullptr || size <= malloc_usable_size(block)) {
        return __libc_realloc(block, size);
    }
    void* grown = malloc(size);
    if (grown == nullptr) return nullptr;
    memcpy(grown, block, malloc_usable_size(block));
    free(block);
    return grown;
}

namespace bench {
namespace {

// zip_fopen_index + zip_fread in blocks of `block` bytes, each block
// written to fd when fd >= 0; the whole from zip_open to zip_discard.
double ReadEntry(const std::string& path, int32_t block, int fd, int64_t expected) {
    std::vector<char> buffer(static_cast<size_t>(block));
    const double start = Now();
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed: " + path);
    zip_file_t* entry = zip_fopen_index(archive, 0, 0);
    int64_t total = 0;
    zip_int64_t n = -1;
    while (entry != nullptr &&
           (n = zip_fread(entry, buffer.data(), static_cast<zip_uint64_t>(block))) > 0) {
        if (fd >= 0 && write(fd, buffer.data(), static_cast<size_t>(n)) != n) break;
        total += n;
    }
    if (entry != nullptr) zip_fclose(entry);
    zip_discard(archive);
    const double seconds = Now() - start;
    if (n < 0 || total != expected) return Failed("short read: " + path);
    return seconds;
}

// The block holding the first `held` bytes of an entry of `size` bytes, as
// adapter/entry_cache.cpp sizes its cache.
int64_t CacheBlockSize(int64_t held, int64_t size) {
    if (held == 0) return 0;
    int64_t block = 65536;
    while (block < held && block <= size / 2)
        block *= 2;
    if (block < held) return size;
    return block < size ? block : size;
}

// The first pass's physical limit: zip_fread in 64 KiB calls, each into the
// next bytes of one block grown as the cache is (by the same realloc), so
// that it touches as much fresh memory as the adapter and does nothing else.
double ReadIntoGrowingBlock(const std::string& path, int64_t size) {
    const double start = Now();
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed: " + path);
    zip_file_t* entry = zip_fopen_index(archive, 0, 0);
    unsigned char* block = nullptr;
    int64_t held = 0;
    while (entry != nullptr && held < size) {
        const int64_t chunk = size - held < 65536 ? size - held : 65536;
        const int64_t blockSize = CacheBlockSize(held + chunk, size);
        if (blockSize != CacheBlockSize(held, size)) {
            void* grown = realloc(block, static_cast<size_t>(blockSize));
            if (grown == nullptr) break;
            block = static_cast<unsigned char*>(grown);
        }
        if (zip_fread(entry, block + held, static_cast<zip_uint64_t>(chunk)) != chunk) break;
        held += chunk;
    }
    if (entry != nullptr) zip_fclose(entry);
    zip_discard(archive);
    free(block);
    const double seconds = Now() - start;
    return held == size ? seconds : Failed("short read: " + path);
}

double ExtractToNull(const std::string& path, int64_t expected) {
    const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const double seconds = ReadEntry(path, 65536, fd, expected);
    close(fd);
    return seconds;
}

// One started host per process; it lives until the process ends.
cvx::Host* StartedHost(const CaseContext& c) {
    static std::unique_ptr<cvx::Host> host;
    if (host == nullptr) {
        host = std::make_unique<cvx::Host>();
        std::string error;
        if (!host->Load(c.plugin, &error) || !host->Start(&error)) {
            fprintf(stderr, "cannot start the plugin: %s\n", error.c_str());
            host.reset();
        }
    }
    return host.get();
}

double Extract(const CaseContext& c, const std::string& archive) {
    cvx::Host* host = StartedHost(c);
    if (host == nullptr) return -1.0;
    const std::string chunk = "zip.OpenArchive(1, [[" + archive +
                              "]])\nzip.ExtractFile(1, 0, '/dev/null')\nzip.CloseArchive(1)\n";
    std::string error;
    const double start = Now();
    const bool ran = host->RunString(chunk, &error);
    const double seconds = Now() - start;
    if (!ran) return Failed(error);
    return host->LeakReport().empty() ? seconds : Failed(host->LeakReport());
}

// The adapter's entry points, as the host resolves them.
using Adapter = cvx::PluginEntries;

const Adapter* AdapterOf(const CaseContext& c) {
    cvx::Host* host = StartedHost(c);
    return host != nullptr ? &host->entries() : nullptr;
}

// FRead in `block`-byte calls until `limit` bytes or the end; the count.
int64_t ReadUpTo(const Adapter& a, void* file, int32_t block, int64_t limit, char* buffer) {
    int64_t total = 0;
    int32_t n;
    while (total < limit && (n = a.FRead(file, buffer, block)) > 0)
        total += n;
    return total;
}

// A first pass over the big deflated entry: FOpen, FRead of the first
// `bytes` bytes, FClose.
double ReadFirstPass(const CaseContext& c, int32_t block, int64_t bytes) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(static_cast<size_t>(block));
    const std::string path = c.paths.BigDeflated() + "/" + kBigEntry;
    const double start = Now();
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t total = ReadUpTo(*a, file, block, bytes, buffer.data());
    a->FClose(file);
    const double seconds = Now() - start;
    return total == bytes ? seconds : Failed("FRead delivered too little");
}

// The backward-seek pattern: read forward in 64 KiB calls and, after every
// 1/32 of the entry, seek back 1 MiB (at most half that) and read it again.
struct SeekPattern {
    int64_t period, back, seeks;
    explicit SeekPattern(int64_t size)
        : period(size / 32 / 65536 * 65536),
          back(period / 2 < (1 << 20) ? period / 2 : (1 << 20)),
          seeks(period > 0 ? (size - 1) / period : 0) {}
    int64_t Bytes(int64_t size) const { return size + seeks * back; }

    // read(buffer, count) -> bytes read, seek(position) -> success; returns
    // the bytes delivered, or -1.
    template <typename Read, typename Seek>
    int64_t Run(int64_t size, char* buffer, Read read, Seek seek) const {
        int64_t position = 0, delivered = 0;
        auto readTo = [&](int64_t end) {
            for (int64_t want; position < end; position += want, delivered += want) {
                want = end - position < 65536 ? end - position : 65536;
                if (read(buffer, static_cast<int32_t>(want)) != want) return false;
            }
            return true;
        };
        for (int64_t mark = period > 0 ? period : size; position < size; mark += period) {
            if (!readTo(mark < size ? mark : size)) return -1;
            if (period > 0 && position == mark && position < size) {
                position -= back;
                if (!seek(position) || !readTo(mark)) return -1;
            }
        }
        return delivered;
    }
};

double StatPath(const CaseContext& c, const std::string& entry, int32_t kind) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    const std::string path = c.paths.Many() + "/" + entry;
    StatRecord record{};
    const double start = Now();
    const int32_t found = a->Stat(path.c_str(), 0, &record);
    const double seconds = Now() - start;
    return found == 1 && record.kind == kind ? seconds : Failed("Stat missed " + path);
}

double BareStatFile(const CaseContext& c) {
    const std::string name = LastFile(c.work);
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    zip_stat_t entry;
    const bool found = zip_stat(archive, name.c_str(), ZIP_FL_NOCASE, &entry) == 0;
    zip_discard(archive);
    const double seconds = Now() - start;
    gSink = gSink + entry.size;
    return found ? seconds : Failed("zip_stat found no " + name);
}

// zip_open and one walk over the names, finding each one's first '/':
// the least that a listing of the root has to do.
double BareWalkNames(const CaseContext& c) {
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    uint64_t slashes = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr && strchr(name, '/') != nullptr) ++slashes;
    }
    zip_discard(archive);
    const double seconds = Now() - start;
    gSink = gSink + slashes;
    return seconds;
}

// A second pass over an entry that a first pass has cached; only it is timed.
double AdapterCachedPass(const CaseContext& c) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(65536);
    const std::string path = c.paths.BigDeflated() + "/" + kBigEntry;
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t size = c.work.BigBytes();
    const int64_t first = ReadUpTo(*a, file, 65536, size, buffer.data());
    a->FSeek(file, 0, kSeekStart);
    const double start = Now();
    const int64_t second = ReadUpTo(*a, file, 65536, size, buffer.data());
    const double seconds = Now() - start;
    a->FClose(file);
    return first == size && second == size ? seconds : Failed("FRead delivered too little");
}

double AdapterSeekPattern(const CaseContext& c) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(65536);
    const std::string path = c.paths.BigDeflated() + "/" + kBigEntry;
    const int64_t size = c.work.BigBytes();
    const SeekPattern pattern(size);
    const double start = Now();
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t delivered = pattern.Run(
        size, buffer.data(), [&](char* to, int32_t n) { return int64_t{a->FRead(file, to, n)}; },
        [&](int64_t position) { return a->FSeek(file, position, kSeekStart) >= 0; });
    a->FClose(file);
    const double seconds = Now() - start;
    return delivered == pattern.Bytes(size) ? seconds : Failed("seek pattern failed");
}

// PhysicsFS, mounted for the run, restarts inflation at the entry's start
// for every backward seek.
double PhysfsSeekPattern(const CaseContext& c) {
    std::vector<char> buffer(65536);
    const int64_t size = c.work.BigBytes();
    const SeekPattern pattern(size);
    const double start = Now();
    if (PHYSFS_init("zipcvx_bench") == 0 ||
        PHYSFS_mount(c.paths.BigDeflated().c_str(), nullptr, 0) == 0)
        return Failed(PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()));
    PHYSFS_File* file = PHYSFS_openRead(kBigEntry);
    const int64_t delivered =
        file == nullptr ? -1
                        : pattern.Run(
                              size, buffer.data(),
                              [&](char* to, int32_t n) {
                                  return PHYSFS_readBytes(file, to, static_cast<PHYSFS_uint64>(n));
                              },
                              [&](int64_t at) {
                                  return PHYSFS_seek(file, static_cast<PHYSFS_uint64>(at)) != 0;
                              });
    if (file != nullptr) PHYSFS_close(file);
    PHYSFS_deinit();
    const double seconds = Now() - start;
    return delivered == pattern.Bytes(size) ? seconds : Failed("seek pattern failed");
}

double AdapterListRoot(const CaseContext& c) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    StatRecord record{};
    const double start = Now();
    void* dir = a->OpenDir(c.paths.Many().c_str());
    if (dir == nullptr) return Failed("OpenDir failed");
    int64_t count = 0;
    while (a->NextDirEntry(dir, &record) == 1)
        ++count;
    a->CloseDir(dir);
    const double seconds = Now() - start;
    return count == c.work.directories ? seconds : Failed("listed " + std::to_string(count));
}

int64_t Big(const Workload& w) {
    return w.BigBytes();
}
int64_t Half(const Workload& w) {
    return w.BigBytes() / 2;
}
int64_t Small(const Workload& w) {
    return w.SmallBytes();
}

std::vector<std::string> UnzipDeflated(const CaseContext& c) {
    return {"unzip", "-p", c.paths.BigDeflated(), kBigEntry};
}

constexpr const char* kX = "Extract 1 entry, deflated";
constexpr const char* kS = "Extract 1 entry, stored";
constexpr const char* kA = "Read 1 deflated entry as a file";
constexpr const char* kC = "Read it with an allocator that copies on growth";
constexpr const char* kL = "Many entries: stat and list";
constexpr const char* kM = "Memory";

#define RUN(expression) [](const CaseContext& c) { return expression; }

// clang-format off
const std::vector<Case> kCases = {
    {.id = "x.raw", .section = kX, .label = "libzip: zip_fopen_index + 64 KiB zip_fread + write", .bytes = Big, .run = RUN(ExtractToNull(c.paths.BigDeflated(), c.work.BigBytes()))},
    {.id = "x.plugin", .section = kX, .label = "zip.ExtractFile (OpenArchive to CloseArchive)", .baseline = "x.raw", .bytes = Big, .run = RUN(Extract(c, c.paths.BigDeflated()))},
    {.id = "x.unzip", .section = kX, .label = "unzip -p", .baseline = "x.raw", .bytes = Big, .tool = UnzipDeflated},
    {.id = "s.raw", .section = kS, .label = "libzip: zip_fopen_index + 64 KiB zip_fread + write", .bytes = Big, .run = RUN(ExtractToNull(c.paths.BigStored(), c.work.BigBytes()))},
    {.id = "s.plugin", .section = kS, .label = "zip.ExtractFile", .baseline = "s.raw", .bytes = Big, .run = RUN(Extract(c, c.paths.BigStored()))},
    {.id = "a.raw64k", .section = kA, .label = "libzip: zip_fread, 64 KiB calls", .bytes = Big, .run = RUN(ReadEntry(c.paths.BigDeflated(), 65536, -1, c.work.BigBytes()))},
    {.id = "a.grow", .section = kA, .label = "libzip: zip_fread, 64 KiB calls into one block grown as the cache", .baseline = "a.raw64k", .bytes = Big, .run = RUN(ReadIntoGrowingBlock(c.paths.BigDeflated(), c.work.BigBytes()))},
    {.id = "a.fread64k", .section = kA, .label = "adapter FOpen + FRead, 64 KiB calls (first pass)", .baseline = "a.grow", .bytes = Big, .run = RUN(ReadFirstPass(c, 65536, c.work.BigBytes()))},
    {.id = "a.half", .section = kA, .label = "the same, first half of the entry only", .bytes = Half, .run = RUN(ReadFirstPass(c, 65536, c.work.BigBytes() / 2))},
    {.id = "a.raw4k", .section = kA, .label = "libzip: zip_fread, 4 KiB calls", .bytes = Big, .run = RUN(ReadEntry(c.paths.BigDeflated(), 4096, -1, c.work.BigBytes()))},
    {.id = "a.fread4k", .section = kA, .label = "adapter FRead, 4 KiB calls (first pass)", .baseline = "a.raw4k", .bytes = Big, .run = RUN(ReadFirstPass(c, 4096, c.work.BigBytes()))},
    {.id = "a.cached", .section = kA, .label = "adapter FRead, second pass (from the cache)", .bytes = Big, .run = AdapterCachedPass},
    {.id = "a.seek.physfs", .section = kA, .label = "PhysicsFS, 31 seeks back by 1 MiB", .run = PhysfsSeekPattern, .maxRepetitions = 3},
    {.id = "a.seek", .section = kA, .label = "adapter FSeek + FRead, 31 seeks back by 1 MiB", .baseline = "a.seek.physfs", .run = AdapterSeekPattern},
    {.id = "c.half", .section = kC, .label = "adapter first pass, first half of the entry", .bytes = Half, .run = RUN((gCopyOnGrowth = true, ReadFirstPass(c, 65536, c.work.BigBytes() / 2)))},
    {.id = "c.whole", .section = kC, .label = "adapter first pass, the whole entry", .baseline = "c.half", .speed = false, .bytes = Big, .run = RUN((gCopyOnGrowth = true, ReadFirstPass(c, 65536, c.work.BigBytes())))},
    {.id = "l.stat.bare", .section = kL, .label = "libzip: zip_open + zip_stat (nocase) + zip_discard", .run = BareStatFile, .warm = true},
    {.id = "l.stat", .section = kL, .label = "adapter Stat of the last file", .baseline = "l.stat.bare", .speed = false, .run = RUN(StatPath(c, LastFile(c.work), 0)), .warm = true},
    {.id = "l.stat.dir", .section = kL, .label = "adapter Stat of a directory known from deeper names", .baseline = "l.stat.bare", .speed = false, .run = RUN(StatPath(c, LastImpliedDirectory(c.work), 1)), .warm = true},
    {.id = "l.walk", .section = kL, .label = "libzip: zip_open + one walk over the names", .run = BareWalkNames, .warm = true},
    {.id = "l.root", .section = kL, .label = "adapter OpenDir + NextDirEntry of the root", .baseline = "l.walk", .speed = false, .run = AdapterListRoot, .warm = true},
    {.id = "m.small", .section = kM, .label = "zip.ExtractFile of a 1/16 size entry", .bytes = Small, .run = RUN(Extract(c, c.paths.SmallDeflated()))},
};

// Speed targets are ratios of times in one run; see docs/performance.md.
const std::vector<Target> kTargets = {
    {"x.plugin", "x.raw", Goal::SpeedAtLeast, 0.97},
    {"x.plugin", "x.unzip", Goal::SpeedAtLeast, 1.4},
    {"s.plugin", "s.raw", Goal::SpeedAtLeast, 0.97},
    {"a.fread64k", "a.raw64k", Goal::SpeedAtLeast, 0.85},
    {"a.fread64k", "a.grow", Goal::SpeedAtLeast, 0.95},
    {"a.fread64k", "a.half", Goal::TimeAtMost, 2.3},
    {"a.fread4k", "a.raw4k", Goal::SpeedAtLeast, 0.8},
    {"a.cached", nullptr, Goal::MBPerSecAtLeast, 10000.0},
    {"a.seek", "a.seek.physfs", Goal::SpeedAtLeast, 5.0},
    {"c.whole", "c.half", Goal::TimeAtMost, 2.3},
    {"l.stat", "l.stat.bare", Goal::TimeAtMost, 1.05},
    {"l.stat.dir", "l.stat.bare", Goal::TimeAtMost, 1.05},
    {"l.root", "l.walk", Goal::TimeAtMost, 1.1},
    {"x.plugin", "m.small", Goal::RssNotAbove, 1.0},
};
// clang-format on
#undef RUN

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

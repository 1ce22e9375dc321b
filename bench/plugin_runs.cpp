// zip.cvx as the host uses it: script commands run by the stand-in host's
// Lua VM, and the file and directory adapter called by its entry points,
// the way the host's file layer calls them.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bench/cases.h"
#include "bench/measure.h"
#include "host/host.h"

namespace bench {
namespace {

// One started host per process; it lives until the process ends.
cvx::Host* StartedHost(const CaseContext& c) {
    static std::unique_ptr<cvx::Host> host;
    if (host == nullptr) {
        host = std::make_unique<cvx::Host>();
        std::string error;
        if (!host->Load(c.plugin, &error) || !host->Start(&error)) {
            fprintf(stderr, "cannot start the plugin: %s\n", error.c_str());
            host.reset();
            return nullptr;
        }
    }
    return host.get();
}

// Runs a chunk in the started host and times it.
double TimeChunk(const CaseContext& c, const std::string& chunk) {
    cvx::Host* host = StartedHost(c);
    if (host == nullptr) return -1.0;
    std::string error;
    const double start = Now();
    const bool ran = host->RunString(chunk, &error);
    const double seconds = Now() - start;
    if (!ran) return Failed(error);
    if (!host->LeakReport().empty()) return Failed(host->LeakReport());
    return seconds;
}

std::string Quoted(const std::string& text) {
    return "[[" + text + "]]";
}

double Extract(const CaseContext& c, const std::string& archive, const char* options) {
    return TimeChunk(c, "zip.OpenArchive(1, " + Quoted(archive) +
                            ")\n"
                            "zip.ExtractFile(1, 0, '/dev/null'" +
                            options + ")\nzip.CloseArchive(1)\n");
}

struct Adapter {
    FOpenFn FOpen;
    FCloseFn FClose;
    FReadFn FRead;
    FSeekFn FSeek;
    StatFn Stat;
    OpenDirFn OpenDir;
    NextDirEntryFn NextDirEntry;
    CloseDirFn CloseDir;
};

const Adapter* AdapterOf(const CaseContext& c) {
    static Adapter adapter;
    cvx::Host* host = StartedHost(c);
    if (host == nullptr) return nullptr;
    adapter = Adapter{host->Entry<FOpenFn>("FOpen"),
                      host->Entry<FCloseFn>("FClose"),
                      host->Entry<FReadFn>("FRead"),
                      host->Entry<FSeekFn>("FSeek"),
                      host->Entry<StatFn>("Stat"),
                      host->Entry<OpenDirFn>("OpenDir"),
                      host->Entry<NextDirEntryFn>("NextDirEntry"),
                      host->Entry<CloseDirFn>("CloseDir")};
    return &adapter;
}

std::string EntryPath(const std::string& archive) {
    return archive + "/" + kBigEntry;
}

// FRead until the end, `block` bytes a call. Returns the bytes read.
int64_t ReadToEnd(const Adapter& a, void* file, int32_t block, std::vector<char>* buffer) {
    int64_t total = 0;
    int32_t n;
    while ((n = a.FRead(file, buffer->data(), block)) > 0)
        total += n;
    return total;
}

// A first pass over the entry: FOpen, FRead in `block`-byte calls, FClose.
double ReadFirstPass(const CaseContext& c, const std::string& archive, int32_t block,
                     int64_t expected) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(static_cast<size_t>(block));
    const std::string path = EntryPath(archive);
    const double start = Now();
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t total = ReadToEnd(*a, file, block, &buffer);
    a->FClose(file);
    const double seconds = Now() - start;
    if (total != expected) return Failed("FRead delivered too little");
    return seconds;
}

double StatPath(const CaseContext& c, const std::string& entry, int32_t kind) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    const std::string path = c.paths.Many() + "/" + entry;
    StatRecord record{};
    const double start = Now();
    const int32_t found = a->Stat(path.c_str(), 0, &record);
    const double seconds = Now() - start;
    if (found != 1 || record.kind != kind) return Failed("Stat missed " + path);
    return seconds;
}

double ListDirectory(const CaseContext& c, const std::string& path, int64_t expected) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    StatRecord record{};
    const double start = Now();
    void* dir = a->OpenDir(path.c_str());
    if (dir == nullptr) return Failed("OpenDir failed: " + path);
    int64_t count = 0;
    while (a->NextDirEntry(dir, &record) == 1)
        ++count;
    a->CloseDir(dir);
    const double seconds = Now() - start;
    if (count != expected) {
        return Failed("listed " + std::to_string(count) + " of " + std::to_string(expected));
    }
    return seconds;
}

double Locate(const CaseContext& c, const char* options) {
    const int64_t index = c.work.Entries() - 1;
    return TimeChunk(c, "zip.OpenArchive(1, " + Quoted(c.paths.Many()) +
                            ")\n"
                            "local i = zip.LocateFile(1, " +
                            Quoted(LastFile(c.work)) + options +
                            ")\n"
                            "zip.CloseArchive(1)\n"
                            "assert(i == " +
                            std::to_string(index) + ", 'LocateFile gave ' .. i)\n");
}

double AddAndClose(const CaseContext& c, const char* id, const char* closeArguments) {
    const std::string out = c.paths.Output(id);
    unlink(out.c_str());
    const double seconds =
        TimeChunk(c, "zip.OpenArchive(1, " + Quoted(out) +
                         ", 1006)\n"
                         "for i = 0, " +
                         std::to_string(c.work.addedFiles - 1) +
                         " do\n"
                         "  zip.AddFile(1, string.format('%s/added/f%05d.txt', " +
                         Quoted(c.paths.dir) +
                         ", i))\n"
                         "end\n"
                         "zip.CloseArchive(1" +
                         closeArguments + ")\n");
    if (seconds >= 0 && access(out.c_str(), F_OK) != 0) return Failed("no archive written");
    unlink(out.c_str());
    return seconds;
}

}  // namespace

double PluginExtractDeflated(const CaseContext& c) {
    return Extract(c, c.paths.BigDeflated(), "");
}

double PluginExtractDeflatedCallback(const CaseContext& c) {
    return Extract(c, c.paths.BigDeflated(), ", {callback = function(t) end}");
}

double PluginExtractStored(const CaseContext& c) {
    return Extract(c, c.paths.BigStored(), "");
}

double PluginExtractSmall(const CaseContext& c) {
    return Extract(c, c.paths.SmallDeflated(), "");
}

double AdapterRead64k(const CaseContext& c) {
    return ReadFirstPass(c, c.paths.BigDeflated(), kBlock64k, c.work.BigBytes());
}

double AdapterRead4k(const CaseContext& c) {
    return ReadFirstPass(c, c.paths.BigDeflated(), kBlock4k, c.work.BigBytes());
}

double AdapterReadSmall(const CaseContext& c) {
    return ReadFirstPass(c, c.paths.SmallDeflated(), kBlock64k, c.work.SmallBytes());
}

// A second pass over an entry that a first pass has cached: only the
// second pass is timed.
double AdapterCachedPass(const CaseContext& c) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(kBlock64k);
    const std::string path = EntryPath(c.paths.BigDeflated());
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t first = ReadToEnd(*a, file, kBlock64k, &buffer);
    a->FSeek(file, 0, kSeekStart);
    const double start = Now();
    const int64_t second = ReadToEnd(*a, file, kBlock64k, &buffer);
    const double seconds = Now() - start;
    a->FClose(file);
    if (first != c.work.BigBytes() || second != first) return Failed("FRead delivered too little");
    return seconds;
}

double AdapterSeekPattern(const CaseContext& c) {
    const Adapter* a = AdapterOf(c);
    if (a == nullptr) return -1.0;
    std::vector<char> buffer(kBlock64k);
    const std::string path = EntryPath(c.paths.BigDeflated());
    const SeekPattern pattern = SeekPattern::For(c.work.BigBytes());
    const double start = Now();
    void* file = a->FOpen(path.c_str(), kOpenRead, nullptr);
    if (file == nullptr) return Failed("FOpen failed: " + path);
    const int64_t delivered = pattern.Run(
        c.work.BigBytes(), buffer.data(),
        [&](char* to, int32_t n) { return static_cast<int64_t>(a->FRead(file, to, n)); },
        [&](int64_t position) {
            a->FSeek(file, position, kSeekStart);
            return true;
        });
    a->FClose(file);
    const double seconds = Now() - start;
    if (delivered != pattern.Bytes(c.work.BigBytes())) return Failed("seek pattern failed");
    return seconds;
}

double AdapterStatFile(const CaseContext& c) {
    return StatPath(c, LastFile(c.work), 0);
}

double AdapterStatDirectory(const CaseContext& c) {
    return StatPath(c, LastImpliedDirectory(c.work), 1);
}

double AdapterListRoot(const CaseContext& c) {
    return ListDirectory(c, c.paths.Many(), c.work.directories);
}

double AdapterListDirectory(const CaseContext& c) {
    return ListDirectory(c, c.paths.Many() + "/" + LastImpliedDirectory(c.work),
                         c.work.filesPerDirectory);
}

double PluginLocate(const CaseContext& c) {
    return Locate(c, "");
}

double PluginLocateNoCase(const CaseContext& c) {
    return Locate(c, ", {nocase = 1}");
}

double PluginAddAndClose(const CaseContext& c) {
    return AddAndClose(c, "plugin", "");
}

double PluginAddAndCloseCallback(const CaseContext& c) {
    return AddAndClose(c, "plugin-callback", ", 0, function(t) end");
}

}  // namespace bench

// Archive bytes through every adapter entry point: every name in the
// archive (and some no archive has) is opened, read, sought, examined and
// listed, by its path and through open tag 2. The linked plugin code is
// served by a stand-in host without a loaded plugin. No input may crash,
// read past a buffer or leave anything allocated or open.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <zip.h>

#include <string>
#include <vector>

#include "host/host.h"
#include "host/source_names.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

cvx::Host& FuzzHost() {
    static cvx::Host* host = [] {
        auto* h = new cvx::Host(cvx::HostOptions{});
        gPlugin.services = h->services();
        return h;
    }();
    return *host;
}

const std::string& ArchivePath() {
    static const std::string path =
        "/tmp/zipcvx-fuzz-" + std::to_string(static_cast<long>(getpid())) + ".zip";
    return path;
}

// Names to try: every stored name, the directories they imply, and some
// that no archive serves.
std::vector<std::string> NamesIn(const std::string& archivePath) {
    std::vector<std::string> names = {"", "a", "A/", "/", "//"};
    zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return names;
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count && i < 64; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr) continue;
        std::string n = name;
        names.push_back(n);
        const size_t slash = n.find('/');
        if (slash != std::string::npos) names.push_back(n.substr(0, slash));
    }
    zip_discard(archive);
    return names;
}

// Reads around an opened file (if it opened) and closes it.
void ReadAround(void* file, uint32_t seed) {
    if (file == nullptr) return;
    char buffer[70000];
    int32_t chunk = 1 + static_cast<int32_t>(seed % 69999);
    for (int i = 0; i < 8 && FRead(file, buffer, chunk) != 0; ++i)
        chunk = 1 + (chunk * 7919) % 69999;
    FSeek(file, -static_cast<int64_t>(seed % 100), kSeekCurrent);
    FGetC(file);
    FSeek(file, 0, kSeekEnd);
    FEof(file);
    FSeek(file, -1, kSeekEnd);
    FGetC(file);
    FSeek(file, INT64_MAX, kSeekCurrent);
    FRead(file, buffer, INT32_MAX);
    StatRecord r{};
    FStat(file, 0, &r);
    if (FStat(file, kStatFullName, &r) != 0) FuzzHost().AdoptBlock(const_cast<char*>(r.name));
    FClose(file);
}

void Examine(const std::string& path, uint32_t seed) {
    ReadAround(FOpen(path.c_str(), kOpenRead, nullptr), seed);
    StatRecord r{};
    Stat(path.c_str(), 0, &r);
    if (Stat(path.c_str(), kStatFullName, &r) != 0)
        FuzzHost().AdoptBlock(const_cast<char*>(r.name));
    if (void* dir = OpenDir(path.c_str())) {
        while (NextDirEntry(dir, &r) != 0) {
        }
        NextDirEntry(dir, &r);
        CloseDir(dir);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    cvx::Host& host = FuzzHost();
    FILE* out = fopen(ArchivePath().c_str(), "wb");
    if (out == nullptr) return 0;
    fwrite(data, 1, size, out);
    fclose(out);

    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 64; ++i)
        seed = (seed ^ data[i]) * 16777619u;
    const std::vector<std::string> names = NamesIn(ArchivePath());
    for (const std::string& name : names) {
        Examine(ArchivePath() + (name.empty() ? "" : "/" + name), seed);
        Examine(ArchivePath() + "\\" + name + "/", seed);
    }
    // The same archive held in memory, named by open tags.
    const TagItem tags[] = {{2, reinterpret_cast<uintptr_t>(data)}, {3, size}, {0, 0}};
    for (size_t i = 5; i < names.size() && i < 12; ++i) {
        ReadAround(FOpen(("mem.zip/" + names[i]).c_str(), kOpenRead, tags), seed);
        cvx::DropTransientSourceNames();
    }
    if (!host.LeakReport().empty()) {
        fprintf(stderr, "leak after an input:\n%s", host.LeakReport().c_str());
        abort();
    }
    return 0;
}

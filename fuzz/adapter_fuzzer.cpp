// Archive bytes through every adapter entry point, by path and by open tag 2:
// every name (and some absent ones) opened, read, sought, examined and listed.
// Nothing may crash or stay allocated or open.
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

cvx::Host* gHost;
std::string gPath;
char gBuffer[70000];

void ReadAround(void* file, uint32_t seed) {
    if (file == nullptr) return;
    for (int32_t i = 0, n = 1 + seed % 69999; i < 8 && FRead(file, gBuffer, n) != 0; ++i)
        n = 1 + n * 7919 % 69999;
    FSeek(file, -static_cast<int64_t>(seed % 100), kSeekCurrent);
    FGetC(file);
    FSeek(file, -1, kSeekEnd);
    FGetC(file);
    FEof(file);
    FSeek(file, INT64_MAX, kSeekCurrent);
    FRead(file, gBuffer, INT32_MAX);
    StatRecord r{};
    if (FStat(file, kStatFullName, &r) != 0) gHost->AdoptBlock(const_cast<char*>(r.name));
    FClose(file);
}

void Examine(const std::string& path, uint32_t seed) {
    ReadAround(FOpen(path.c_str(), kOpenRead, nullptr), seed);
    StatRecord r{};
    Stat(path.c_str(), 0, &r);
    if (Stat(path.c_str(), kStatFullName, &r) != 0) gHost->AdoptBlock(const_cast<char*>(r.name));
    if (void* dir = OpenDir(path.c_str())) {
        while (NextDirEntry(dir, &r) != 0) {
        }
        CloseDir(dir);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gHost = new cvx::Host(cvx::HostOptions{});
    gPlugin.services = gHost->services();
    gPath = "/tmp/zipcvx-fuzz-" + std::to_string(getpid()) + ".zip";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* out = fopen(gPath.c_str(), "wb");
    if (out == nullptr) return 0;
    fwrite(data, 1, size, out);
    fclose(out);
    uint32_t seed = 2166136261u;
    for (size_t i = 0; i < size && i < 64; ++i)
        seed = (seed ^ data[i]) * 16777619u;
    // Every stored name and its first folder, and names no archive serves.
    std::vector<std::string> names = {"", "a", "A/", "/", "//"};
    if (zip_t* archive = zip_open(gPath.c_str(), ZIP_RDONLY, nullptr)) {
        for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0) && i < 64; ++i) {
            if (const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0)) {
                names.push_back(name);
                names.push_back(names.back().substr(0, names.back().find('/')));
            }
        }
        zip_discard(archive);
    }
    for (const std::string& name : names) {
        Examine(gPath + (name.empty() ? "" : "/" + name), seed);
        Examine(gPath + "\\" + name + "/", seed);
    }
    const TagItem tags[] = {{2, reinterpret_cast<uintptr_t>(data)}, {3, size}, {0, 0}};
    for (size_t i = 5; i < names.size() && i < 12; ++i) {
        ReadAround(FOpen(("mem.zip/" + names[i]).c_str(), kOpenRead, tags), seed);
        cvx::DropTransientSourceNames();
    }
    if (!gHost->LeakReport().empty()) {
        fprintf(stderr, "left after an input:\n%s", gHost->LeakReport().c_str());
        abort();
    }
    return 0;
}

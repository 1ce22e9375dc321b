// Finding a plugin's header the way the host does: by searching the loaded
// file's mapped segments for the magic, never by a symbol.
#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <cstring>

#include "host/host_state.h"

namespace cvx {
namespace {

// Fills the search's program headers from the loaded file at its address.
int MatchBase(struct dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<dl_phdr_info*>(data);
    if (info->dlpi_addr != search->dlpi_addr) return 0;
    *search = *info;
    return 1;
}

bool InExecutableSegment(const dl_phdr_info& s, uintptr_t address) {
    for (int i = 0; i < s.dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = s.dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || (ph.p_flags & PF_X) == 0) continue;
        const uintptr_t start = s.dlpi_addr + ph.p_vaddr;
        if (address >= start && address < start + ph.p_memsz) return true;
    }
    return false;
}

// The segments hold the plugin's globals, whose gaps a sanitizer marks as
// poisoned; the search reads them as plain bytes.
[[gnu::no_sanitize_address]] const char* FindMagic(const char* from, const char* end) {
    const size_t length = sizeof(PluginHeader::magic);
    for (const char* p = from; p + length <= end; ++p) {
        size_t i = 0;
        while (i < length && p[i] == CVX_HEADER_MAGIC[i]) ++i;
        if (i == length) return p;
    }
    return nullptr;
}

[[gnu::no_sanitize_address]] uint32_t ReadVersion(const PluginHeader* header) {
    return header->formatVersion;
}

}  // namespace

const PluginHeader* FindPluginHeader(void* library, const std::string& path, std::string* error) {
    struct link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
        *error = "cannot inspect the loaded file " + path;
        return nullptr;
    }
    dl_phdr_info search{};
    search.dlpi_addr = map->l_addr;
    dl_iterate_phdr(MatchBase, &search);
    if (search.dlpi_phdr == nullptr) {
        *error = "cannot find the segments of " + path;
        return nullptr;
    }
    uint32_t wrongVersion = 0;
    for (int i = 0; i < search.dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = search.dlpi_phdr[i];
        if (ph.p_type != PT_LOAD || (ph.p_flags & PF_R) == 0) continue;
        const char* start = reinterpret_cast<const char*>(search.dlpi_addr + ph.p_vaddr);
        const char* end = start + ph.p_filesz;
        for (const char* p = start; p + sizeof(PluginHeader) <= end; ++p) {
            p = FindMagic(p, end);
            if (p == nullptr || p + sizeof(PluginHeader) > end) break;
            if (reinterpret_cast<uintptr_t>(p) % alignof(PluginHeader) != 0) continue;
            const auto* header = reinterpret_cast<const PluginHeader*>(p);
            if (ReadVersion(header) != kPluginHeaderVersion) {
                wrongVersion = ReadVersion(header);
                continue;
            }
            if (!InExecutableSegment(search, reinterpret_cast<uintptr_t>(header->lookup))) continue;
            return header;
        }
    }
    if (wrongVersion != 0) {
        *error = "plugin header version " + std::to_string(wrongVersion) + " in " + path +
                 ", expected " + std::to_string(kPluginHeaderVersion);
    } else {
        *error = "no plugin header found in " + path;
    }
    return nullptr;
}

}  // namespace cvx

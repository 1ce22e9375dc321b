#include "adapter/open_tags.h"

#include <string.h>

#include "plugin/plugin_state.h"

OpenTags ReadOpenTags(const TagItem* tags) {
    OpenTags found{};
    for (const TagItem* t = tags; t != nullptr && t->tag != 0; ++t) {
        switch (t->tag) {
            case kOpenTagSource2:
                found.tag2 = t->value;
                break;
            case kOpenTagQualifier3:
                found.tag3 = t->value;
                break;
            case kOpenTagQualifier4:
                found.tag4 = t->value;
                break;
            case kOpenTagSource5:
                found.tag5 = t->value;
                break;
            default:
                break;
        }
    }
    return found;
}

namespace {

const char* Extension(const char* path) {
    const char* dot = strrchr(path, '.');
    return dot != nullptr ? dot + 1 : "";
}

}  // namespace

const char* ArchiveSourceName(const OpenTags& tags, const char* archivePath,
                              char (&sourceName)[kArchivePathSize],
                              char (&buffer)[kArchivePathSize]) {
    if (tags.tag2 == 0 && tags.tag5 == 0) return archivePath;
    if (HostIsAtLeast(7, 1)) {
        // Tag 2 wins over tag 5; tag 3 belongs to tag 2 alone.
        const SourceDescriptor source = {
            .tag2 = tags.tag2,
            .tag5 = tags.tag2 == 0 ? tags.tag5 : 0,
            .extension = Extension(archivePath),
            .reserved = 0,
            .tag3 = tags.tag2 != 0 ? static_cast<uint64_t>(tags.tag3) : 0,
            .tag4 = static_cast<uint64_t>(tags.tag4),
        };
        buffer[0] = '\0';
        Files().MakeSourceFileName(buffer, static_cast<int32_t>(sizeof buffer), &source, 0);
        buffer[sizeof buffer - 1] = '\0';
        return buffer;
    }
    // Older hosts: tag 5 wins over tag 2 here.
    Files().InitSourceFileName(sourceName);
    const int32_t failed = Files().CreateSourceFileName(
        sourceName, tags.tag5 != 0 ? tags.tag5 : tags.tag2, static_cast<uint64_t>(tags.tag3),
        static_cast<uint64_t>(tags.tag4), tags.tag5 != 0 ? 1 : 0, 0);
    if (failed != 0) {
        Files().FreeSourceFileName(sourceName);
        sourceName[0] = '\0';
        return nullptr;
    }
    sourceName[sizeof sourceName - 1] = '\0';
    return sourceName;
}

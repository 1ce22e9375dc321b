// SplitArchivePath on any bytes: it never reads or writes outside the path
// and its two buffers, and what it returns always holds together.
#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "adapter/archive_path.h"

namespace {

#define Check(condition) \
    if (!(condition)) __builtin_trap()

void SplitAndCheck(const std::string& path, int32_t directoryFlag) {
    char archive[kArchivePathSize];
    char entry[kArchivePathSize];
    const char* reference = path.c_str();
    if (SplitArchivePath(&reference, archive, entry, directoryFlag) == 0) {
        Check(reference == path.c_str());
        return;
    }
    Check(reference == archive);
    const size_t archiveLength = strnlen(archive, kArchivePathSize);
    const size_t entryLength = strnlen(entry, kArchivePathSize);
    Check(archiveLength >= 4 && archiveLength < kArchivePathSize && entryLength < kArchivePathSize);
    Check(path.compare(0, archiveLength, archive) == 0);
    Check(strncasecmp(archive + archiveLength - 4, ".zip", 4) == 0);
    Check(memchr(entry, '\\', entryLength) == nullptr);
    if (entryLength == 0) {
        Check(path.size() == archiveLength);
    } else {
        Check(path[archiveLength] == '/' || path[archiveLength] == '\\');
        if (directoryFlag != 0) Check(entry[entryLength - 1] == '/');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The host's paths are zero-terminated: the path ends at the first zero.
    const std::string path(reinterpret_cast<const char*>(data),
                           strnlen(reinterpret_cast<const char*>(data), size));
    SplitAndCheck(path, 0);
    SplitAndCheck(path, 1);
    return 0;
}

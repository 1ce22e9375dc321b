#include "adapter/archive_path.h"

#include <ctype.h>
#include <string.h>

namespace {

constexpr char kMarker[] = ".zip";
constexpr size_t kMarkerLength = sizeof kMarker - 1;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

}  // namespace

int32_t SplitArchivePath(const char** path, char (&archive)[kArchivePathSize],
                         char (&entry)[kArchivePathSize], int32_t directoryFlag) {
    const char* const original = *path;

    // The marker is searched for in a folded copy, so that the path itself,
    // and what the split returns, keep their letters.  Only as much of the
    // path as the archive buffer holds is searched.
    size_t length = 0;
    for (; length < kArchivePathSize - 1 && original[length] != '\0'; ++length) {
        archive[length] = static_cast<char>(tolower(static_cast<unsigned char>(original[length])));
    }
    archive[length] = '\0';
    const char* marker = strstr(archive, kMarker);
    if (marker == nullptr) return 0;
    const size_t archiveLength = static_cast<size_t>(marker - archive) + kMarkerLength;

    // Only the first marker counts: pics.zipped/a or old.zip.d/pics.zip/a is
    // not looked at again further on.  A trailing separator (pics.zip/) is
    // declined as well.
    const char* rest = original + archiveLength;
    if (*rest != '\0') {
        if (!IsSeparator(rest[0]) || rest[1] == '\0') return 0;
        ++rest;
    }

    size_t entryLength = 0;
    for (; rest[entryLength] != '\0'; ++entryLength) {
        if (entryLength == kArchivePathSize - 1) return 0;
        entry[entryLength] = rest[entryLength] == '\\' ? '/' : rest[entryLength];
    }
    // A directory's entry part serves as the name prefix of its entries; the
    // empty part stands for the root and stays empty.
    if (directoryFlag != 0 && entryLength > 0 && entry[entryLength - 1] != '/') {
        if (entryLength == kArchivePathSize - 1) return 0;
        entry[entryLength++] = '/';
    }
    entry[entryLength] = '\0';

    memcpy(archive, original, archiveLength);
    archive[archiveLength] = '\0';
    *path = archive;
    return 1;
}

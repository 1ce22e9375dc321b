// Reading, seeking and the end test of adapter file handles. Reads are
// served from the entry cache; seeking only moves the position.
#include <string.h>

#include "adapter/entry_cache.h"
#include "plugin/entry_points.h"

namespace {

AdapterFile* FileOf(void* handle) {
    return static_cast<AdapterFile*>(handle);
}

// The count of bytes a read at the file's position may copy: count lowered
// to what remains of the entry. 0 for a negative count or position, and for
// a position and count whose sum does not fit.
int32_t ReadableCount(const AdapterFile* file, int32_t count) {
    if (count <= 0 || file->position < 0 || file->position > INT64_MAX - count) return 0;
    if (file->position >= file->size) return 0;
    const int64_t remaining = file->size - file->position;
    return remaining < count ? static_cast<int32_t>(remaining) : count;
}

}  // namespace

extern "C" int32_t FRead(void* handle, void* buffer, int32_t count) {
    AdapterFile* file = FileOf(handle);
    if (file == nullptr || buffer == nullptr) return 0;
    count = ReadableCount(file, count);
    if (count == 0 || !CoverCache(file, file->position + count)) return 0;
    memcpy(buffer, file->cache + file->position, static_cast<size_t>(count));
    file->position += count;
    return count;
}

extern "C" int32_t FGetC(void* handle) {
    AdapterFile* file = FileOf(handle);
    if (file == nullptr || ReadableCount(file, 1) == 0) return -1;
    if (!CoverCache(file, file->position + 1)) return -1;
    return file->cache[file->position++];
}

// Any target is accepted, even before the start or beyond the end; a
// target that cannot be represented leaves the position where it was.
extern "C" int64_t FSeek(void* handle, int64_t offset, int32_t mode) {
    AdapterFile* file = FileOf(handle);
    if (file == nullptr) return -1;
    const int64_t previous = file->position;
    int64_t target = previous;
    switch (mode) {
        case kSeekStart:
            target = offset;
            break;
        case kSeekEnd:
            if (__builtin_add_overflow(file->size, offset, &target)) target = previous;
            break;
        case kSeekCurrent:
            if (__builtin_add_overflow(previous, offset, &target)) target = previous;
            break;
        default:
            break;
    }
    file->position = target;
    return previous;
}

extern "C" int32_t FEof(void* handle) {
    const AdapterFile* file = FileOf(handle);
    return file == nullptr || file->position >= file->size ? 1 : 0;
}

#include "adapter/entry_cache.h"

#include <stdlib.h>

#include "archive/entry_stream_end.h"

constinit CacheRealloc gCacheRealloc = realloc;

namespace {

// Takes the next chunk from the stream. A stream that delivers less than
// asked, or reports an error, is never read again: what it delivered was
// not counted, so later bytes could no longer be placed.
bool FetchChunk(AdapterFile* file) {
    const int64_t chunk =
        file->size - file->fetched < kCacheChunk ? file->size - file->fetched : kCacheChunk;
    const int64_t grown = file->cached + chunk;
    if (static_cast<uint64_t>(grown) > SIZE_MAX) return false;
    void* block = gCacheRealloc(file->cache, static_cast<size_t>(grown));
    if (block == nullptr) return false;
    file->cache = static_cast<unsigned char*>(block);
    const zip_int64_t n =
        zip_fread(file->stream, file->cache + file->cached, static_cast<zip_uint64_t>(chunk));
    if (n != chunk) {
        file->streamFailed = 1;
        return false;
    }
    // The last chunk counts only once the stream has ended cleanly behind
    // it: a CRC mismatch must not leave corrupt bytes in the cache.
    if (grown == file->size && !EntryStreamEndsCleanly(file->stream, file->entry)) {
        file->streamFailed = 1;
        return false;
    }
    file->fetched += chunk;
    file->cached += chunk;
    return true;
}

}  // namespace

bool CoverCache(AdapterFile* file, int64_t end) {
    while (file->cached < end) {
        if (file->streamFailed != 0 || !FetchChunk(file)) return false;
    }
    return true;
}

#include "adapter/entry_cache.h"

#include <stdint.h>
#include <stdlib.h>

#include "archive/entry_stream_end.h"
#include "plugin/platform.h"

constinit CacheRealloc gCacheRealloc = realloc;

namespace {

// Each chunk's new pages are asked for in one call (PrefaultForWriting).
static_assert(kCacheChunk >= 4096, "a chunk spans whole pages");

// The size of the block that holds the first `held` bytes of an entry of
// `size` bytes: a chunk doubled until it holds them, but never more than
// the entry. The block grows at most about twenty times for any entry, not
// once per chunk, so an allocator that copies on growth copies each byte
// about twice in all, and reading an entry takes time in proportion to its
// size. It is derived from held alone, so the record needs no field for it.
int64_t BlockSize(int64_t held, int64_t size) {
    if (held == 0) return 0;
    int64_t block = kCacheChunk;
    while (block < held && block <= size / 2)
        block *= 2;
    if (block < held) return size;
    return block < size ? block : size;
}

// Takes the next chunk from the stream. A stream that delivers less than
// asked, or reports an error, is never read again: what it delivered was
// not counted, so later bytes could no longer be placed.
bool FetchChunk(AdapterFile* file) {
    const int64_t chunk =
        file->size - file->cached < kCacheChunk ? file->size - file->cached : kCacheChunk;
    const int64_t grown = file->cached + chunk;
    const int64_t blockSize = BlockSize(grown, file->size);
    if (static_cast<uint64_t>(blockSize) > SIZE_MAX) return false;
    if (blockSize != BlockSize(file->cached, file->size)) {
        void* block = gCacheRealloc(file->cache, static_cast<size_t>(blockSize));
        if (block == nullptr) return false;
        file->cache = static_cast<unsigned char*>(block);
    }
    PrefaultForWriting(file->cache + file->cached, static_cast<size_t>(chunk));
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

// The growing cache of an entry's uncompressed bytes behind an AdapterFile.
// libzip streams an entry forwards only, so every byte read once is kept,
// and reading backwards or again never touches the archive.
#ifndef ZIPCVX_ENTRY_CACHE_H
#define ZIPCVX_ENTRY_CACHE_H

#include <stddef.h>

#include "adapter/adapter_file.h"

// Bytes taken from the stream per step, and the cache's first block size.
inline constexpr int64_t kCacheChunk = 65536;

// Makes the cache hold at least the first end bytes of the entry (end is at
// most the entry's size), in chunks of kCacheChunk bytes or the rest of the
// entry, doubling the block whenever a chunk does not fit (never past the
// entry's size, which the block has once the whole entry is held). When the
// cache reaches the entry's size the stream must end there cleanly. False
// when memory runs out or the stream fails; what was cached stays valid.
bool CoverCache(AdapterFile* file, int64_t end);

// The C library's realloc; a test may put a failing one in its place.
using CacheRealloc = void* (*)(void* block, size_t size);
extern constinit CacheRealloc gCacheRealloc;

#endif

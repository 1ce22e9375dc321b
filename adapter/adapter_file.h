// The adapter's file handle: one open entry of an archive, read-only, served
// from a cache of its uncompressed bytes (entry_cache.h). Opened and closed
// in adapter_file.cpp, read in adapter_file_reads.cpp.
#ifndef ZIPCVX_ADAPTER_FILE_H
#define ZIPCVX_ADAPTER_FILE_H

#include <zip.h>

#include "adapter/archive_path.h"

// From Alloc, cleared, tag "zipfile"; freed by FClose only.
struct AdapterFile {
    zip_t* archive;        // opened for this handle alone; owned
    zip_file_t* stream;    // the entry's uncompressed bytes; owned
    zip_stat_t entry;      // the entry as it was found at open time; FStat reads it
    unsigned char* cache;  // bytes 0 .. cached-1 of the entry, from realloc; null until read
    int64_t position;      // offset of the next byte to read; any value FSeek made
    int64_t size;          // the entry's uncompressed size
    int64_t cached;        // bytes held in the cache, which are all the stream has delivered
    char sourceName[kArchivePathSize];   // made by an older host for open tags, else empty
    char archivePath[kArchivePathSize];  // the archive part of the opened path
    int32_t streamFailed;                // the stream reported an error: it is read no more
};

#endif

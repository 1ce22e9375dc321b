// A libzip source over a host file handle. In archive mode it serves an
// archive read-only (with seeking); in stream mode it serves the data of a
// file being added to an archive (no size, no seeking, the file's date).
#ifndef ZIPCVX_HOST_FILE_SOURCE_H
#define ZIPCVX_HOST_FILE_SOURCE_H

#include <zip.h>

#include "plugin/host_interface.h"

// Owned by its libzip source once the source exists; released, with the
// host file closed, by the source's free command only.
struct HostFileSourceState {
    HostFile handle;  // closed exactly once, when the source is freed
    uint64_t size;    // archive mode only: the file's length
    int32_t stream;   // 0 = archive mode, non-zero = stream mode
};

extern "C" zip_int64_t HostFileSourceCallback(void* state, void* data, zip_uint64_t length,
                                              zip_source_cmd_t command);

// Opens the archive at a host path read-only through a host file handle.
// The archive owns the source, its state and the handle; zip_close or
// zip_discard releases all three. Null on any failure, with nothing held.
zip_t* OpenHostArchive(const char* path);

#endif

// A libzip source over a host file handle, in two modes, each with its own
// callback over the same state and the same reads. In archive mode it
// serves an archive read-only (with seeking); in stream mode it serves the
// data of a file being added to an archive (no size, no seeking, the file's
// date), holding the file open only while libzip reads it.
#ifndef ZIPCVX_HOST_FILE_SOURCE_H
#define ZIPCVX_HOST_FILE_SOURCE_H

#include <time.h>
#include <zip.h>

#include "plugin/host_interface.h"

// Owned by its libzip source once the source exists; released, with the
// host file closed, by the source's free command only. Allocated cleared:
// every field below starts as "not yet".
struct HostFileSourceState {
    // Archive mode: open from NewArchiveSourceState until the source is freed.
    // Stream mode: open only between libzip's open and close commands, so
    // that a script can add more files than the host lets it keep open.
    HostFile handle;
    // The last failed open, read or seek; cleared (no error) until one
    // fails. libzip 1.7.3 takes a failed read whose source reports no error
    // as the end of compressed data, which would pass a read error off as an
    // end.
    zip_error_t error;
    uint64_t size;  // archive mode only: the file's length
    // Stream mode only.
    const char* path;     // the file to add; lies in the state's own block
    int32_t askingEntry;  // set while the source asks libzip for its entry's time
    zip_t* entryArchive;  // the archive whose entry the source feeds, once added
    zip_uint64_t entryIndex;
    int32_t hasDate;  // date holds the last date reported
    // Set once libzip has opened the source to write the entry: from then on
    // date is reported for good, so that every stat while the entry is
    // written gives the same time.
    int32_t dateFixed;
    time_t date;
};

// The callbacks of the two modes; the state's user data is a
// HostFileSourceState of that mode.
extern "C" zip_int64_t ArchiveSourceCallback(void* state, void* data, zip_uint64_t length,
                                             zip_source_cmd_t command);
extern "C" zip_int64_t StreamSourceCallback(void* state, void* data, zip_uint64_t length,
                                            zip_source_cmd_t command);

// An archive-mode state over the file at path, held open read-only, with its
// length ("scb"). Null on any failure, with nothing held.
HostFileSourceState* NewArchiveSourceState(const char* path);

// Opens the archive at a host path read-only through a host file handle.
// The archive owns the source, its state and the handle; zip_close or
// zip_discard releases all three. Null on any failure, with nothing held.
zip_t* OpenHostArchive(const char* path);

// A stream-mode state for the file at path, holding its own copy of the
// path and no open file ("scb1"). Null when it cannot be allocated.
HostFileSourceState* NewStreamSourceState(const char* path);

// Tells a stream-mode source which entry it feeds, once libzip has added the
// entry with it. From then on the source reports that entry's current time.
//
// Why: traditional PKWARE encryption checks the password against a byte of
// the entry's time, and libzip 1.7.3 takes that byte from the time its data
// source reports, while the entry's header gets any time set on the entry.
// A source that reports the entry's own time keeps the two equal, however
// the entry is re-dated before the archive is written.
void BindStreamSource(HostFileSourceState* state, zip_t* archive, zip_uint64_t index);

#endif

// The adapter's directory listing: the entries that lie directly in one
// directory of an archive, derived from the flat list of entry names.
#ifndef ZIPCVX_ADAPTER_DIR_H
#define ZIPCVX_ADAPTER_DIR_H

#include <time.h>
#include <zip.h>

#include "adapter/archive_path.h"
#include "adapter/seen_index.h"
#include "plugin/host_interface.h"

// A subdirectory already returned. One block from Alloc (cleared, tag
// "zcd"), the name's characters right behind the two pointers.
struct SeenSubdir {
    SeenSubdir* next;  // null at the tail
    char* name;        // points behind the node, in the same block
};

// From Alloc, cleared, tag "zipplug"; freed by CloseDir only.
struct AdapterDir {
    zip_t* archive;          // opened for this listing alone; owned
    SeenSubdir* seen;        // subdirectories returned so far, in that order; owned
    SeenSubdir* seenTail;    // the last node of seen, where the next one goes
    SeenIndex seenIndex;     // finds a node of seen by its name; owned
    zip_uint64_t nextIndex;  // the next entry to examine
    zip_int64_t entryCount;  // taken once, at open time
    DateGroup now;           // the host's current date, once asked for
    DateGroup dated;         // the local time of datedTime
    time_t datedTime;
    int32_t haveNow;                // now holds the current date
    int32_t haveDated;              // dated holds the local time of datedTime
    char prefix[kArchivePathSize];  // the directory's name with '/', or empty for the root
};

#endif

// Open tags of FOpen: the host may name the archive's data by values of its
// own (tags 2 and 5, qualified by tags 3 and 4) instead of by the path; its
// file services then make a file name for that data.
#ifndef ZIPCVX_OPEN_TAGS_H
#define ZIPCVX_OPEN_TAGS_H

#include "adapter/adapter_file.h"
#include "plugin/host_interface.h"

struct OpenTags {
    uintptr_t tag2;
    uintptr_t tag3;
    uintptr_t tag4;
    uintptr_t tag5;
};

// Tags 2 to 5 of a list ended by tag 0 (tags may be null); other tags are
// skipped, a repeated tag keeps its last value, an absent one is 0.
OpenTags ReadOpenTags(const TagItem* tags);

// The name under which file's archive is to be opened: its archive path
// when neither tag 2 nor tag 5 is given; otherwise a name the host makes,
// in buffer (hosts 7.1 and later) or in file->sourceName (older hosts,
// where FreeSourceFileName must release it once file->sourceName is not
// empty). Null when an older host cannot make the name; nothing is then held.
const char* ArchiveSourceName(const OpenTags& tags, AdapterFile* file,
                              char (&buffer)[kArchivePathSize]);

#endif

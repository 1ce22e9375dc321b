// Open tags of FOpen: the host may name the archive's data by values of its
// own (kOpenTagSource2 and kOpenTagSource5, qualified by kOpenTagQualifier3
// and kOpenTagQualifier4) instead of by the path; its file services then
// make a file name for that data.
#ifndef ZIPCVX_OPEN_TAGS_H
#define ZIPCVX_OPEN_TAGS_H

#include "adapter/archive_path.h"
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

// The name under which the archive at archivePath is to be opened: the
// path itself when neither tag 2 nor tag 5 is given; otherwise a name the
// host makes, in buffer (hosts 7.1 and later) or in sourceName (older
// hosts, where FreeSourceFileName must release it once sourceName is not
// empty). Null when an older host cannot make the name; sourceName is then
// empty and nothing is held.
const char* ArchiveSourceName(const OpenTags& tags, const char* archivePath,
                              char (&sourceName)[kArchivePathSize],
                              char (&buffer)[kArchivePathSize]);

#endif

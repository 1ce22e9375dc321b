// Entry names as the adapter matches them: letter case aside everywhere,
// since host paths are, and the walks over an archive's names that find an
// entry or a directory.
#ifndef ZIPCVX_ENTRY_NAMES_H
#define ZIPCVX_ENTRY_NAMES_H

#include <stddef.h>
#include <zip.h>

#include "plugin/platform.h"

// Whether name begins with the length characters of prefix, letter case aside.
inline bool NameBeginsWith(const char* name, const char* prefix, size_t length) {
    return CompareNoCaseN(name, prefix, length) == 0;
}

// Whether name is the length characters of other, letter case aside.
inline bool NameIs(const char* name, const char* other, size_t length) {
    return NameBeginsWith(name, other, length) && name[length] == '\0';
}

// Finds the entry called name: the one whose name matches exactly, else the
// first whose name matches without regard to letter case (an archive may
// hold both readme.txt and README.txt), else the first that matches when
// each '\' in it stands for a '/': some Windows tools write "docs\a.txt", a
// listing shows that name as it is stored, and the host path that names it
// has its '\' turned into '/'. False when there is none.
bool FindEntry(zip_t* archive, const char* name, zip_stat_t* entry);

// Whether some entry's name begins with the length characters of prefix,
// letter case aside.
bool SomeNameBeginsWith(zip_t* archive, const char* prefix, size_t length);

// One walk over the names for a directory (ending in '/'): its own entry's
// index (a name equal to directory, letter case aside) or -1, and whether
// any name lies in it. The walk ends early only at the own entry.
struct DirectoryNames {
    zip_int64_t own;
    bool known;
};
DirectoryNames FindDirectoryNames(zip_t* archive, const char* directory, size_t length);

#endif

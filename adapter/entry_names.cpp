#include "adapter/entry_names.h"

#include <ctype.h>
#include <string.h>

namespace {

// Whether stored, an entry's name, is path, letter case aside, where a '\'
// that some Windows tools write between folders stands for a '/' of path.
bool NamesAlike(const char* stored, const char* path) {
    for (; *stored != '\0' && *path != '\0'; ++stored, ++path) {
        const char c = *stored == '\\' ? '/' : *stored;
        if (tolower(static_cast<unsigned char>(c)) != tolower(static_cast<unsigned char>(*path))) {
            return false;
        }
    }
    return *stored == *path;
}

bool FindWithBackslashes(zip_t* archive, const char* name, zip_stat_t* entry) {
    if (strchr(name, '/') == nullptr) return false;  // the path has no separator to stand for
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        const char* stored = zip_get_name(archive, index, 0);
        if (stored != nullptr && strchr(stored, '\\') != nullptr && NamesAlike(stored, name)) {
            return zip_stat_index(archive, index, 0, entry) == 0;
        }
    }
    return false;
}

}  // namespace

bool FindEntry(zip_t* archive, const char* name, zip_stat_t* entry) {
    return zip_stat(archive, name, 0, entry) == 0 ||
           zip_stat(archive, name, ZIP_FL_NOCASE, entry) == 0 ||
           FindWithBackslashes(archive, name, entry);
}

bool SomeNameBeginsWith(zip_t* archive, const char* prefix, size_t length) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr && NameBeginsWith(name, prefix, length)) return true;
    }
    return false;
}

DirectoryNames FindDirectoryNames(zip_t* archive, const char* directory, size_t length) {
    DirectoryNames found{-1, false};
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name == nullptr || !NameBeginsWith(name, directory, length)) continue;
        found.known = true;
        if (name[length] == '\0') {
            found.own = i;
            break;
        }
    }
    return found;
}

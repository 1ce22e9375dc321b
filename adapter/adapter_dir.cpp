// OpenDir, NextDirEntry and CloseDir. A directory lists each file whose
// name lies directly in it and each subdirectory once, whether the archive
// has an entry for it or only deeper names, in the archive's entry order
// and without regard to letter case.
#include <string.h>

#include "adapter/adapter_dir.h"
#include "adapter/entry_names.h"
#include "adapter/stat_record.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

bool WasSeen(const AdapterDir* dir, const char* name, size_t length) {
    // The names of one subdirectory mostly come one after another, so the
    // subdirectory seen last is asked first.
    if (dir->seenTail != nullptr && NameIs(dir->seenTail->name, name, length)) return true;
    if (dir->seenIndex.unusable == 0) return SeenIndexContains(&dir->seenIndex, name, length);
    for (const SeenSubdir* node = dir->seen; node != nullptr; node = node->next) {
        if (NameIs(node->name, name, length)) return true;
    }
    return false;
}

// Appends name to the seen list. When memory runs out the subdirectory is
// not recorded, so a later mention may list it again.
void RememberSubdir(AdapterDir* dir, const char* name, size_t length) {
    auto* node =
        static_cast<SeenSubdir*>(System().Alloc(sizeof(SeenSubdir) + length + 1, 1, "zcd"));
    if (node == nullptr) return;
    node->name = reinterpret_cast<char*>(node + 1);
    memcpy(node->name, name, length);
    if (dir->seenTail != nullptr) {
        dir->seenTail->next = node;
    } else {
        dir->seen = node;
    }
    dir->seenTail = node;
    SeenIndexAdd(&dir->seenIndex, node);
}

// Dates for a listed entry. The entries of an archive mostly share a few
// times, and every subdirectory known only from deeper names takes the
// current date, so a listing converts each time once in a row and asks the
// host for the date once, not once per entry: with thousands of entries
// these calls would otherwise cost as much as reading the names.
void WriteListedDates(AdapterDir* dir, StatRecord* record, const time_t* t) {
    if (t == nullptr && dir->haveNow == 0) {
        WriteCurrentDates(record);
        dir->now = record->dates[0];
        dir->haveNow = 1;
    } else if (t != nullptr && (dir->haveDated == 0 || dir->datedTime != *t)) {
        WriteEntryDates(record, *t);
        dir->dated = record->dates[0];
        dir->datedTime = *t;
        dir->haveDated = 1;
    }
    const DateGroup& date = t == nullptr ? dir->now : dir->dated;
    record->dates[0] = record->dates[1] = record->dates[2] = date;
}

// A file directly in the directory. False when it cannot be returned.
bool ReturnFile(AdapterDir* dir, zip_uint64_t index, const char* rest, StatRecord* record) {
    zip_stat_t entry;
    if (zip_stat_index(dir->archive, index, 0, &entry) != 0 || !SizeFits(entry)) return false;
    if (!WriteName(record, rest, strlen(rest), 0)) return false;
    record->size = (entry.valid & ZIP_STAT_SIZE) != 0 ? static_cast<int64_t>(entry.size) : 0;
    if ((entry.valid & ZIP_STAT_MTIME) != 0) WriteListedDates(dir, record, &entry.mtime);
    return true;
}

// A subdirectory, the first time it is mentioned: dated by its own entry
// (rest is "sub/") or by the current date (a deeper name, "sub/x").
bool ReturnSubdir(AdapterDir* dir, zip_uint64_t index, const char* rest, size_t length,
                  StatRecord* record) {
    if (WasSeen(dir, rest, length) || !WriteName(record, rest, length, 0)) return false;
    RememberSubdir(dir, rest, length);
    record->kind = kStatKindDirectory;
    zip_stat_t entry;
    if (rest[length + 1] == '\0' && zip_stat_index(dir->archive, index, 0, &entry) == 0 &&
        (entry.valid & ZIP_STAT_MTIME) != 0) {
        WriteListedDates(dir, record, &entry.mtime);
    } else {
        WriteListedDates(dir, record, nullptr);
    }
    return true;
}

// Examines one entry; true when it filled the record.
bool ReturnEntry(AdapterDir* dir, zip_uint64_t index, StatRecord* record) {
    const char* name = zip_get_name(dir->archive, index, 0);
    if (name == nullptr) return false;
    const size_t prefixLength = strlen(dir->prefix);
    if (!NameBeginsWith(name, dir->prefix, prefixLength)) return false;
    const char* rest = name + prefixLength;
    const char* slash = strchr(rest, '/');
    if (slash == nullptr) {
        // An empty rest is the directory's own entry, which is not listed.
        return rest[0] != '\0' && ReturnFile(dir, index, rest, record);
    }
    return ReturnSubdir(dir, index, rest, static_cast<size_t>(slash - rest), record);
}

}  // namespace

// Every failure goes through CloseDir, which takes the half-built handle
// as it stands: the block is cleared, so what was not yet taken is null.
extern "C" void* OpenDir(const char* path) {
    if (path == nullptr || !PluginStarted()) return nullptr;
    auto* dir = static_cast<AdapterDir*>(System().Alloc(sizeof(AdapterDir), 1, "zipplug"));
    if (dir == nullptr) return nullptr;
    char archivePart[kArchivePathSize];
    if (SplitArchivePath(&path, archivePart, dir->prefix, 1) != 0) {
        dir->archive = zip_open(archivePart, ZIP_RDONLY, nullptr);
    }
    if (dir->archive == nullptr) {
        CloseDir(dir);
        return nullptr;
    }
    dir->entryCount = zip_get_num_entries(dir->archive, 0);
    // The root always exists; another directory only as some name's prefix.
    if (dir->prefix[0] != '\0' &&
        !SomeNameBeginsWith(dir->archive, dir->prefix, strlen(dir->prefix))) {
        CloseDir(dir);
        return nullptr;
    }
    return dir;
}

extern "C" int32_t NextDirEntry(void* handle, StatRecord* record) {
    auto* dir = static_cast<AdapterDir*>(handle);
    if (dir == nullptr || record == nullptr) return 0;
    memset(record, 0, sizeof *record);
    while (static_cast<zip_int64_t>(dir->nextIndex) < dir->entryCount) {
        const zip_uint64_t index = dir->nextIndex++;
        if (ReturnEntry(dir, index, record)) return 1;
        memset(record, 0, sizeof *record);
    }
    return 0;
}

extern "C" void CloseDir(void* handle) {
    auto* dir = static_cast<AdapterDir*>(handle);
    if (dir == nullptr) return;
    for (SeenSubdir* node = dir->seen; node != nullptr;) {
        SeenSubdir* next = node->next;
        System().Free(node);
        node = next;
    }
    SeenIndexFree(&dir->seenIndex);
    zip_discard(dir->archive);  // read-only: nothing to write
    System().Free(dir);
}

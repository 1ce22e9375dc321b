// Stat and FStat: the attributes of a path inside an archive, and of an
// open adapter file.
#include <string.h>

#include "adapter/adapter_file.h"
#include "adapter/entry_names.h"
#include "adapter/stat_record.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

// A directory of the archive named by entryPart, with its own entry or known
// only from deeper names. Its name is entryPart as the caller wrote it, with
// one '/' at the end.
int32_t StatDirectory(zip_t* archive, const char* entryPart, int32_t flags, StatRecord* record) {
    char directory[kArchivePathSize];
    size_t length = strlen(entryPart);
    memcpy(directory, entryPart, length);
    if (directory[length - 1] != '/') {
        if (length + 1 >= sizeof directory) return 0;
        directory[length++] = '/';
    }
    directory[length] = '\0';

    const DirectoryNames names = FindDirectoryNames(archive, directory, length);
    if (!names.known) return 0;
    record->kind = kStatKindDirectory;
    if (!WriteName(record, directory, length, flags)) return 0;
    zip_stat_t entry;
    if (names.own >= 0 &&
        zip_stat_index(archive, static_cast<zip_uint64_t>(names.own), 0, &entry) == 0 &&
        (entry.valid & ZIP_STAT_MTIME) != 0) {
        WriteEntryDates(record, entry.mtime);
    } else {
        WriteCurrentDates(record);
    }
    return 1;
}

}  // namespace

extern "C" int32_t Stat(const char* path, int32_t flags, StatRecord* record) {
    if (record == nullptr) return 0;
    memset(record, 0, sizeof *record);
    if (path == nullptr || !PluginStarted()) return 0;
    char archivePart[kArchivePathSize];
    char entryPart[kArchivePathSize];
    if (SplitArchivePath(&path, archivePart, entryPart, 0) == 0 || entryPart[0] == '\0') {
        return 0;
    }
    zip_t* archive = zip_open(archivePart, ZIP_RDONLY, nullptr);
    if (archive == nullptr) return 0;
    zip_stat_t entry;
    const int32_t result = FindEntry(archive, entryPart, &entry)
                               ? WriteEntry(archive, entry, record, flags)
                               : StatDirectory(archive, entryPart, flags, record);
    zip_discard(archive);  // read-only: nothing to write
    return result;
}

// Works from what FOpen kept: the archive is not read again. An entry named
// like a directory that holds data reads as a file: the record says so, with
// the size its reads deliver.
extern "C" int32_t FStat(void* handle, int32_t flags, StatRecord* record) {
    const auto* file = static_cast<const AdapterFile*>(handle);
    if (file == nullptr || record == nullptr) return 0;
    record->originCode = kStatOriginFStat;
    record->originPath = file->archivePath;
    if (WriteEntry(file->archive, file->entry, record, flags) == 0) return 0;
    if (file->size != 0) {
        record->kind = kStatKindFile;
        record->size = file->size;
    }
    return 1;
}

// Opening and closing adapter file handles; the write entry points, which
// do nothing, since the adapter is read-only.
#include <stdlib.h>
#include <string.h>

#include "adapter/adapter_file.h"
#include "adapter/entry_names.h"
#include "adapter/open_tags.h"
#include "adapter/stat_record.h"
#include "archive/entry_stream_end.h"
#include "archive/host_file_source.h"
#include "plugin/entry_points.h"
#include "plugin/plugin_state.h"

namespace {

// Finds the entry (its exact name first, else letter case aside) and opens
// its stream. No password is ever given, so an encrypted entry does not open.
bool OpenEntry(AdapterFile* file, const char* name) {
    if (!FindEntry(file->archive, name, &file->entry)) return false;
    if ((file->entry.valid & (ZIP_STAT_INDEX | ZIP_STAT_SIZE)) !=
            (ZIP_STAT_INDEX | ZIP_STAT_SIZE) ||
        !SizeFits(file->entry)) {
        return false;
    }
    file->stream = zip_fopen_index(file->archive, file->entry.index, 0);
    if (file->stream == nullptr) return false;
    file->size = static_cast<int64_t>(file->entry.size);
    // No read ever reaches the end of an empty entry, so its end is checked
    // here: an empty entry whose CRC or data says otherwise is corrupt.
    return file->size != 0 || EntryStreamEndsCleanly(file->stream, file->entry);
}

// Releases, in this order, what an AdapterFile may hold: FClose, and every
// failed FOpen on the handle as far as it was built (what it had not yet
// taken is null or empty).
void ReleaseFile(AdapterFile* file) {
    if (file->stream != nullptr) zip_fclose(file->stream);
    if (file->archive != nullptr) zip_discard(file->archive);  // read-only: nothing to write
    free(file->cache);
    if (file->sourceName[0] != '\0') Files().FreeSourceFileName(file->sourceName);
    System().Free(file);
}

}  // namespace

extern "C" void* FOpen(const char* path, int32_t mode, const TagItem* tags) {
    if (path == nullptr || (mode & kOpenRead) == 0 || !PluginStarted()) return nullptr;
    char archivePart[kArchivePathSize];
    char entryPart[kArchivePathSize];
    if (SplitArchivePath(&path, archivePart, entryPart, 0) == 0 || entryPart[0] == '\0') {
        return nullptr;
    }
    const OpenTags openTags = ReadOpenTags(tags);
    auto* file = static_cast<AdapterFile*>(System().Alloc(sizeof(AdapterFile), 1, "zipfile"));
    if (file == nullptr) return nullptr;
    memcpy(file->archivePath, archivePart, sizeof file->archivePath);

    char madeName[kArchivePathSize];
    const char* sourceName =
        ArchiveSourceName(openTags, file->archivePath, file->sourceName, madeName);
    if (sourceName != nullptr) file->archive = OpenHostArchive(sourceName);
    if (file->archive == nullptr || !OpenEntry(file, entryPart)) {
        ReleaseFile(file);
        return nullptr;
    }
    return file;
}

extern "C" int32_t FClose(void* handle) {
    if (handle == nullptr) return 0;
    ReleaseFile(static_cast<AdapterFile*>(handle));
    return 1;
}

extern "C" int32_t FWrite(void*, const void*, int32_t) {
    return 0;
}
extern "C" int32_t FPutC(void*, int32_t) {
    return 0;
}
extern "C" int32_t FFlush(void*) {
    return 0;
}

// The plugin's record of one script archive: the host's ArchiveObject, what
// the commands keep beside libzip's archive, and the record's end.
#ifndef ZIPCVX_ARCHIVE_RECORD_H
#define ZIPCVX_ARCHIVE_RECORD_H

#include <stddef.h>
#include <zip.h>

#include "plugin/host_interface.h"

// Allocated whole ("arc"): the host's ArchiveObject first, which is all the
// host reads.
struct ArchiveRecord {
    ArchiveObject object;
    // Set once the archive comment is removed, until another is set:
    // libzip 1.7.3 answers the original comment until the archive is written.
    int32_t commentRemoved;
    // A copy ("zpw") of the script's default password, or null. libzip keeps
    // its own copy but never hands it out, and an AES entry extracted with it
    // has its authentication code checked by the plugin, which needs it.
    char* defaultPassword;
    // One bit per entry of the archive file (a block from Alloc, "zre"), or
    // null: see MarkReencrypted.
    unsigned char* reencrypted;
    zip_uint64_t reencryptedBits;
};
static_assert(offsetof(ArchiveRecord, object) == 0, "the host's part comes first");

inline ArchiveRecord* RecordOf(ArchiveObject* object) {
    return reinterpret_cast<ArchiveRecord*>(object);
}
inline const ArchiveRecord* RecordOf(const ArchiveObject* object) {
    return reinterpret_cast<const ArchiveRecord*>(object);
}

// A zero-filled record ("arc") with no archive yet, or null.
ArchiveObject* NewArchiveRecord();

// Keeps a copy of password as record's default, replacing the one it had;
// null or "" leaves it none. False, with nothing changed, when the copy
// cannot be had.
bool RememberDefaultPassword(ArchiveObject* record, const char* password);

// record's default password, or null.
const char* DefaultPasswordOf(const ArchiveObject* record);

// Marks (or unmarks) the entry at index of the archive file as given a new
// password for the very method it is stored with. libzip encrypts such an
// entry anew when it writes the archive although no method changes, and
// nothing else tells so. False, with nothing changed, when memory for the
// first mark cannot be had; unmarking never fails.
bool MarkReencrypted(ArchiveObject* record, zip_uint64_t index, bool reencrypted);
bool IsMarkedReencrypted(const ArchiveObject* record, zip_uint64_t index);

// Frees a record that is not (or no longer) listed: its libzip archive, if
// it still has one, is discarded unwritten; its default password is wiped.
void FreeArchiveRecord(ArchiveObject* record);

#endif

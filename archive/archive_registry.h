// The registry of script archives: a singly linked list of ArchiveObject
// records, appended at the tail, searched from the head.
#ifndef ZIPCVX_ARCHIVE_REGISTRY_H
#define ZIPCVX_ARCHIVE_REGISTRY_H

#include <stddef.h>

#include "plugin/host_interface.h"

// The plugin's record of a script archive, allocated whole ("arc"): the
// host's ArchiveObject first, which is all the host reads, then what the
// commands keep beside libzip.
struct ArchiveRecord {
    ArchiveObject object;
    // Set once the archive comment is removed, until another is set:
    // libzip 1.7.3 answers the original comment until the archive is written.
    int32_t commentRemoved;
    // The script's default password (archive/default_passwords.h), or null.
    char* defaultPassword;
};
static_assert(offsetof(ArchiveRecord, object) == 0, "the host's part comes first");

inline ArchiveRecord* RecordOf(ArchiveObject* object) {
    return reinterpret_cast<ArchiveRecord*>(object);
}
inline const ArchiveRecord* RecordOf(const ArchiveObject* object) {
    return reinterpret_cast<const ArchiveRecord*>(object);
}

// The first record whose identifier equals id (both words), or null.
ArchiveObject* FindArchive(const ObjectId& id);

// Frees a record that is not (or no longer) listed, with what it keeps
// beside libzip's archive (the default password); the archive is the
// caller's to close or discard first.
void FreeArchiveRecord(ArchiveObject* record);

// Appends a record at the tail; unlinks one (null when it is not listed).
void AppendArchive(ArchiveObject* record);
void UnlinkArchive(ArchiveObject* record);

// While a command works on an open entry of an archive and calls back into
// the script, the archive must be neither closed, reopened nor changed. The
// guard lives in the command's frame and is linked only around the callback,
// a call that never raises.
struct ArchiveGuard {
    const ArchiveObject* record;
    ArchiveGuard* next;
};
void GuardArchive(ArchiveGuard* guard, const ArchiveObject* record);
void ReleaseGuard(ArchiveGuard* guard);
// True while any guard holds the record: commands that would close, reopen
// or change it fail with errZip and change nothing.
bool ArchiveIsGuarded(const ArchiveObject* record);

// Answers the host's attribute query on a "ZIP archive" object.
extern "C" int32_t ArchiveTypeHandler(VmState* vm, int32_t attribute, const ObjectId* id);

// Discards every archive without writing it; the registry is empty after.
void ReleaseAllArchives(VmState* vm);

#endif

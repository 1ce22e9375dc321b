// The registry of script archives: a singly linked list of archive records,
// appended at the tail, searched from the head, whose head the host also
// walks (InitLibrary hands it over with the object type). And the guards
// that keep an archive unchanged while a command calls back into the script.
#ifndef ZIPCVX_ARCHIVE_REGISTRY_H
#define ZIPCVX_ARCHIVE_REGISTRY_H

#include "archive/archive_record.h"
#include "plugin/host_interface.h"

// The list's head, for the host's object type registration.
ArchiveObject** ArchiveRegistryHead();

// The first record whose identifier equals id (both words), or null.
ArchiveObject* FindArchive(const ObjectId& id);

// Appends a record at the tail.
void AppendArchive(ArchiveObject* record);

// The record leaves the host's object list (still listed when the host
// hears of it, as the host may walk the list then), then the registry.
void WithdrawArchive(VmState* vm, ArchiveObject* record);

// Withdraws the record and frees it, its archive discarded unwritten.
void DiscardArchive(VmState* vm, ArchiveObject* record);

// Discards every archive without writing it; the registry is empty after.
void ReleaseAllArchives(VmState* vm);

// The one attribute a "ZIP archive" object answers (the script constant
// ZIPATTRNUMENTRIES): its number of entries, pending changes included.
inline constexpr int32_t kZipAttrNumEntries = 32768;

// Answers the host's attribute query on a "ZIP archive" object.
extern "C" int32_t ArchiveTypeHandler(VmState* vm, int32_t attribute, const ObjectId* id);

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

#endif

// The registry of script archives: a singly linked list of ArchiveObject
// records, appended at the tail, searched from the head.
#ifndef ZIPCVX_ARCHIVE_REGISTRY_H
#define ZIPCVX_ARCHIVE_REGISTRY_H

#include "plugin/host_interface.h"

// The first record whose identifier equals id (both words), or null.
ArchiveObject* FindArchive(const ObjectId& id);

// Answers the host's attribute query on a "ZIP archive" object.
extern "C" int32_t ArchiveTypeHandler(VmState* vm, int32_t attribute, const ObjectId* id);

// Discards every archive without writing it; the registry is empty after.
void ReleaseAllArchives(VmState* vm);

#endif

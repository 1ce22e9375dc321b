#include "archive/archive_registry.h"

#include <zip.h>

#include "archive/default_passwords.h"
#include "plugin/plugin_state.h"

ArchiveObject* FindArchive(const ObjectId& id) {
    for (ArchiveObject* record = gPlugin.registry; record != nullptr; record = record->next) {
        if (record->idNumber == id.number && record->idHandle == id.handle) return record;
    }
    return nullptr;
}

// Each record is still listed when the host hears that it is about to go,
// as on every other way out of the registry.
void ReleaseAllArchives(VmState* vm) {
    while (ArchiveObject* record = gPlugin.registry) {
        zip_discard(record->archive);
        System().UnregisterObject(vm, record);
        gPlugin.registry = record->next;
        FreeArchiveRecord(record);
    }
}

extern "C" int32_t ArchiveTypeHandler(VmState* vm, int32_t attribute, const ObjectId* id) {
    const ArchiveObject* record = FindArchive(*id);
    if (record == nullptr) return gPlugin.errNoArchive;
    if (attribute != 32768) return kErrUnknownAttribute;  // ZIPATTRNUMENTRIES
    Vm().PushNumber(vm, static_cast<double>(zip_get_num_entries(record->archive, 0)));
    return 1;
}

void AppendArchive(ArchiveObject* record) {
    record->next = nullptr;
    ArchiveObject** link = &gPlugin.registry;
    while (*link != nullptr) link = &(*link)->next;
    *link = record;
}

void FreeArchiveRecord(ArchiveObject* record) {
    ForgetDefaultPassword(record);
    System().Free(record);
}

void UnlinkArchive(ArchiveObject* record) {
    for (ArchiveObject** link = &gPlugin.registry; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return;
        }
    }
}

void GuardArchive(ArchiveGuard* guard, const ArchiveObject* record) {
    guard->record = record;
    guard->next = gPlugin.guards;
    gPlugin.guards = guard;
}

void ReleaseGuard(ArchiveGuard* guard) {
    for (ArchiveGuard** link = &gPlugin.guards; *link != nullptr; link = &(*link)->next) {
        if (*link == guard) {
            *link = guard->next;
            return;
        }
    }
}

bool ArchiveIsGuarded(const ArchiveObject* record) {
    for (const ArchiveGuard* g = gPlugin.guards; g != nullptr; g = g->next) {
        if (g->record == record) return true;
    }
    return false;
}

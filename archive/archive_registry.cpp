#include "archive/archive_registry.h"

#include <zip.h>

#include "plugin/plugin_state.h"

namespace {

constinit ArchiveObject* gRegistry = nullptr;  // the script archives, oldest first
constinit ArchiveGuard* gGuards = nullptr;     // archives a running command keeps unchanged

void UnlinkArchive(ArchiveObject* record) {
    for (ArchiveObject** link = &gRegistry; *link != nullptr; link = &(*link)->next) {
        if (*link == record) {
            *link = record->next;
            record->next = nullptr;
            return;
        }
    }
}

}  // namespace

ArchiveObject** ArchiveRegistryHead() {
    return &gRegistry;
}

ArchiveObject* FindArchive(const ObjectId& id) {
    for (ArchiveObject* record = gRegistry; record != nullptr; record = record->next) {
        if (record->idNumber == id.number && record->idHandle == id.handle) return record;
    }
    return nullptr;
}

void AppendArchive(ArchiveObject* record) {
    record->next = nullptr;
    ArchiveObject** link = &gRegistry;
    while (*link != nullptr)
        link = &(*link)->next;
    *link = record;
}

void WithdrawArchive(VmState* vm, ArchiveObject* record) {
    System().UnregisterObject(vm, record);
    UnlinkArchive(record);
}

void DiscardArchive(VmState* vm, ArchiveObject* record) {
    WithdrawArchive(vm, record);
    FreeArchiveRecord(record);
}

void ReleaseAllArchives(VmState* vm) {
    while (gRegistry != nullptr)
        DiscardArchive(vm, gRegistry);
}

extern "C" int32_t ArchiveTypeHandler(VmState* vm, int32_t attribute, const ObjectId* id) {
    const ArchiveObject* record = FindArchive(*id);
    if (record == nullptr) return gPlugin.errNoArchive;
    if (attribute != kZipAttrNumEntries) return kErrUnknownAttribute;
    Vm().PushNumber(vm, static_cast<double>(zip_get_num_entries(record->archive, 0)));
    return 1;
}

void GuardArchive(ArchiveGuard* guard, const ArchiveObject* record) {
    guard->record = record;
    guard->next = gGuards;
    gGuards = guard;
}

void ReleaseGuard(ArchiveGuard* guard) {
    for (ArchiveGuard** link = &gGuards; *link != nullptr; link = &(*link)->next) {
        if (*link == guard) {
            *link = guard->next;
            return;
        }
    }
}

bool ArchiveIsGuarded(const ArchiveObject* record) {
    for (const ArchiveGuard* g = gGuards; g != nullptr; g = g->next) {
        if (g->record == record) return true;
    }
    return false;
}

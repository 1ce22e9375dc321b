#include "archive/archive_record.h"

#include <string.h>
#include <zip.h>

#include "plugin/plugin_state.h"

namespace {

void ForgetDefaultPassword(ArchiveRecord* record) {
    if (record->defaultPassword == nullptr) return;
    // No password lingers in freed memory.
    memset(record->defaultPassword, 0, strlen(record->defaultPassword));
    System().Free(record->defaultPassword);
    record->defaultPassword = nullptr;
}

}  // namespace

ArchiveObject* NewArchiveRecord() {
    return static_cast<ArchiveObject*>(System().Alloc(sizeof(ArchiveRecord), 1, "arc"));
}

bool RememberDefaultPassword(ArchiveObject* record, const char* password) {
    char* copy = nullptr;
    if (password != nullptr && password[0] != '\0') {
        const size_t length = strlen(password);
        copy = static_cast<char*>(System().Alloc(length + 1, 0, "zpw"));
        if (copy == nullptr) return false;
        memcpy(copy, password, length + 1);
    }
    ForgetDefaultPassword(RecordOf(record));
    RecordOf(record)->defaultPassword = copy;
    return true;
}

const char* DefaultPasswordOf(const ArchiveObject* record) {
    return RecordOf(record)->defaultPassword;
}

void FreeArchiveRecord(ArchiveObject* record) {
    if (record->archive != nullptr) zip_discard(record->archive);
    ForgetDefaultPassword(RecordOf(record));
    System().Free(record);
}

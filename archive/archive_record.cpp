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

bool MarkReencrypted(ArchiveObject* object, zip_uint64_t index, bool reencrypted) {
    ArchiveRecord* record = RecordOf(object);
    if (record->reencrypted == nullptr) {
        if (!reencrypted) return true;
        const zip_int64_t count = zip_get_num_entries(object->archive, ZIP_FL_UNCHANGED);
        if (count <= 0 || index >= static_cast<zip_uint64_t>(count)) return true;  // not stored
        const auto bits = static_cast<zip_uint64_t>(count);
        record->reencrypted = static_cast<unsigned char*>(System().Alloc(bits / 8 + 1, 1, "zre"));
        if (record->reencrypted == nullptr) return false;
        record->reencryptedBits = bits;
    }
    if (index >= record->reencryptedBits) return true;
    const auto bit = static_cast<unsigned char>(1u << (index % 8));
    unsigned char& byte = record->reencrypted[index / 8];
    byte = static_cast<unsigned char>(reencrypted ? byte | bit : byte & ~bit);
    return true;
}

bool IsMarkedReencrypted(const ArchiveObject* object, zip_uint64_t index) {
    const ArchiveRecord* record = RecordOf(object);
    return index < record->reencryptedBits && (record->reencrypted[index / 8] >> (index % 8)) & 1;
}

void FreeArchiveRecord(ArchiveObject* record) {
    if (record->archive != nullptr) zip_discard(record->archive);
    if (RecordOf(record)->reencrypted != nullptr) System().Free(RecordOf(record)->reencrypted);
    ForgetDefaultPassword(RecordOf(record));
    System().Free(record);
}

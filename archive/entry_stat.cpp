#include "archive/entry_stat.h"

#include "archive/aes_authentication.h"

namespace {

bool RecordsEncryption(const zip_stat_t& entry) {
    return (entry.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0;
}

}  // namespace

bool IsAesEntry(const zip_stat_t& entry) {
    return RecordsEncryption(entry) && IsAesMethod(entry.encryption_method);
}

bool IsAesRecordingNoCrc(const zip_stat_t& entry) {
    return (entry.valid & ZIP_STAT_CRC) != 0 && entry.crc == 0 && IsAesEntry(entry);
}

bool HasUndecryptableMethod(const zip_stat_t& entry) {
    return RecordsEncryption(entry) && entry.encryption_method != ZIP_EM_NONE &&
           zip_encryption_method_supported(entry.encryption_method, 0) == 0;
}

bool StoredAndPending(zip_t* archive, zip_uint64_t index, zip_stat_t* stored, zip_stat_t* pending) {
    return zip_stat_index(archive, index, ZIP_FL_UNCHANGED, stored) == 0 &&
           zip_stat_index(archive, index, 0, pending) == 0;
}

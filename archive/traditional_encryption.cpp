#include "archive/traditional_encryption.h"

#include "archive/entry_stat.h"

bool MustKeepStoredTime(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stored;
    zip_stat_t pending;
    if (!StoredAndPending(archive, index, &stored, &pending)) return false;
    return (pending.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 &&
           pending.encryption_method == ZIP_EM_TRAD_PKWARE;
}

bool TimeDiffersFromStored(zip_t* archive, zip_uint64_t index) {
    zip_stat_t stored;
    zip_stat_t pending;
    if (!StoredAndPending(archive, index, &stored, &pending)) return false;
    return pending.mtime != stored.mtime;
}

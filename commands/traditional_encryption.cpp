#include "commands/traditional_encryption.h"

namespace {

// The entry as stored in the archive file and as it is to be written. False
// for an entry that the file does not hold yet (or no entry at all).
bool StoredAndPending(zip_t* archive, zip_uint64_t index, zip_stat_t* stored, zip_stat_t* pending) {
    return zip_stat_index(archive, index, ZIP_FL_UNCHANGED, stored) == 0 &&
           zip_stat_index(archive, index, 0, pending) == 0;
}

}  // namespace

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

#include "archive/reencoded_entries.h"

#include "archive/entry_stat.h"

namespace {

// An entry of the archive file that writing re-encodes: its compression or
// encryption method is to change, or it is marked as given a new password
// for its own method. False for an entry the file does not hold yet, or one
// deleted.
bool IsReencoded(const ArchiveObject* record, zip_uint64_t index, zip_stat_t* stored,
                 zip_stat_t* pending) {
    if (!StoredAndPending(record->archive, index, stored, pending)) return false;
    constexpr zip_uint64_t kMethods = ZIP_STAT_COMP_METHOD | ZIP_STAT_ENCRYPTION_METHOD;
    if ((stored->valid & kMethods) != kMethods || (pending->valid & kMethods) != kMethods) {
        return false;
    }
    return pending->comp_method != stored->comp_method ||
           pending->encryption_method != stored->encryption_method ||
           IsMarkedReencrypted(record, index);
}

// Read by an encrypting layer alone.
bool IsEncryptedAndStored(const zip_stat_t& pending) {
    return pending.encryption_method != ZIP_EM_NONE && pending.comp_method == ZIP_CM_STORE;
}

// libzip serves an entry that stores no bytes as empty data without any
// check, so re-encoded it would become a good empty entry whatever its
// header declared: a CRC of damaged data, or the size of data that follows
// a header whose compressed size was zeroed.
bool DeclaresDataItDoesNotStore(const zip_stat_t& stored) {
    if ((stored.valid & ZIP_STAT_COMP_SIZE) == 0 || stored.comp_size != 0) return false;
    return ((stored.valid & ZIP_STAT_SIZE) != 0 && stored.size != 0) ||
           ((stored.valid & ZIP_STAT_CRC) != 0 && stored.crc != 0);
}

// Reads the stored entry to its end, as writing would.
bool ReadsToACleanEnd(zip_t* archive, zip_uint64_t index, const zip_stat_t& stored) {
    // Writing would fail on it as well.
    if (HasUndecryptableMethod(stored)) return false;
    zip_file_t* file = zip_fopen_index(archive, index, ZIP_FL_UNCHANGED);
    if (file == nullptr) return false;
    char buffer[4096];
    zip_int64_t n;
    do {
        n = zip_fread(file, buffer, sizeof buffer);
    } while (n > 0);
    zip_fclose(file);
    return n == 0;
}

}  // namespace

bool ReencodedEntriesAreIntact(const ArchiveObject* record) {
    zip_t* archive = record->archive;
    const zip_int64_t count = zip_get_num_entries(archive, ZIP_FL_UNCHANGED);
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stored;
        zip_stat_t pending;
        if (!IsReencoded(record, index, &stored, &pending)) continue;
        if (DeclaresDataItDoesNotStore(stored)) return false;
        if (IsEncryptedAndStored(pending) && !ReadsToACleanEnd(archive, index, stored)) {
            return false;
        }
    }
    return true;
}

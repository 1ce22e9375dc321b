#include "archive/entry_stream_end.h"

namespace {

bool IsAes(zip_uint16_t method) {
    return method == ZIP_EM_AES_128 || method == ZIP_EM_AES_192 || method == ZIP_EM_AES_256;
}

// The AE-2 form carries no CRC: the entry records 0 and its authentication
// code stands in for it, yet libzip compares the data's CRC with that 0.
// libzip also reports a failed authentication code as a CRC error, so for
// these entries the two cannot be told apart: such an entry is accepted
// either way.
bool IsSpuriousAe2CrcError(zip_file_t* stream, const zip_stat_t& entry) {
    constexpr zip_uint64_t kNeeded = ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
    return (entry.valid & kNeeded) == kNeeded && entry.crc == 0 && IsAes(entry.encryption_method) &&
           zip_error_code_zip(zip_file_get_error(stream)) == ZIP_ER_CRC;
}

}  // namespace

bool EntryStreamEndsCleanly(zip_file_t* stream, const zip_stat_t& entry) {
    char beyond;
    const zip_int64_t n = zip_fread(stream, &beyond, 1);
    if (n == 0) return true;
    return n < 0 && IsSpuriousAe2CrcError(stream, entry);
}

#include "archive/entry_stream_end.h"

#include "archive/entry_stat.h"

namespace {

bool RecordsCrc(const zip_stat_t& entry) {
    return (entry.valid & ZIP_STAT_CRC) != 0;
}

}  // namespace

StreamEnd EntryStreamEnd(zip_file_t* stream, const zip_stat_t& entry) {
    const bool empty = (entry.valid & ZIP_STAT_SIZE) != 0 && entry.size == 0;
    if (empty && RecordsCrc(entry) && entry.crc != 0) return StreamEnd::kFault;
    char beyond;
    const zip_int64_t n = zip_fread(stream, &beyond, 1);
    if (n == 0) return StreamEnd::kClean;
    // No data has a CRC of 0, so for an empty entry the error can only be
    // the code's.
    if (n < 0 && !empty && IsAesRecordingNoCrc(entry) &&
        zip_error_code_zip(zip_file_get_error(stream)) == ZIP_ER_CRC) {
        return StreamEnd::kAesCrc;
    }
    return StreamEnd::kFault;
}

bool EntryStreamEndsCleanly(zip_file_t* stream, const zip_stat_t& entry) {
    return EntryStreamEnd(stream, entry) == StreamEnd::kClean;
}

// What libzip's statistics say of an entry, for the checks by which the
// plugin works around libzip 1.7.3 (extraction, the end of an entry's
// stream, re-encoding, traditional encryption).
#ifndef ZIPCVX_ENTRY_STAT_H
#define ZIPCVX_ENTRY_STAT_H

#include <zip.h>

// Encrypted with one of the AES methods.
bool IsAesEntry(const zip_stat_t& entry);

// An AES entry in the form whose authentication code replaces the CRC: it
// records a CRC of 0, which libzip 1.7.3 compares anyway.
bool IsAesRecordingNoCrc(const zip_stat_t& entry);

// Encrypted with a method that libzip has no decoder for (strong
// encryption, an unknown method). Asked to decrypt one, libzip 1.7.3 fails
// but keeps a reference to the archive's source, which could then never be
// closed: such an entry is refused before libzip tries.
bool HasUndecryptableMethod(const zip_stat_t& entry);

// The entry as the archive file stores it and as it is to be written. False
// for an entry the file does not hold yet, one deleted, or no entry at all.
bool StoredAndPending(zip_t* archive, zip_uint64_t index, zip_stat_t* stored, zip_stat_t* pending);

#endif

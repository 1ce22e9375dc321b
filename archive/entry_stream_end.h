// The read that reaches the end of an entry's stream. libzip checks an
// entry's CRC, and notices data longer than the entry declares, only on that
// read; a reader that stops after exactly the declared size never sees
// either fault. Every reader of whole entries makes this read.
#ifndef ZIPCVX_ENTRY_STREAM_END_H
#define ZIPCVX_ENTRY_STREAM_END_H

#include <zip.h>

// Call once all of the entry's declared bytes have been read from stream.
// Reads once more and returns true when the stream ends there cleanly.
// False when it yields more data or reports an error, with one exception:
// libzip 1.7.3 reports a CRC error for AES entries written in the AE-2 form,
// which record a CRC of 0 because their authentication code replaces it;
// exactly that error on exactly such an entry counts as a clean end.
bool EntryStreamEndsCleanly(zip_file_t* stream, const zip_stat_t& entry);

#endif

// The read that reaches the end of an entry's stream. libzip checks an
// entry's CRC, and notices data longer than the entry declares, only on that
// read; a reader that stops after exactly the declared size never sees
// either fault. Every reader of whole entries makes this read.
#ifndef ZIPCVX_ENTRY_STREAM_END_H
#define ZIPCVX_ENTRY_STREAM_END_H

#include <zip.h>

enum class StreamEnd {
    kClean,   // the stream ends there
    kFault,   // it yields more data or reports an error
    kAesCrc,  // see EntryStreamEnd
};

// Call once all of the entry's declared bytes have been read from stream.
// Reads once more and says how the stream ends there. An empty entry that
// records a CRC other than 0 (the CRC of no data) is a fault without any
// read: libzip serves it unchecked.
//
// kAesCrc is libzip 1.7.3's CRC error at the end of a non-empty AES entry
// that records a CRC of 0: libzip raises it for every entry in the AE-2 form,
// whose authentication code replaces the CRC, and raises the same error for
// a code that does not match. Such an entry is intact only if its code is
// then checked by other means (AesCodeMatches).
StreamEnd EntryStreamEnd(zip_file_t* stream, const zip_stat_t& entry);

// EntryStreamEnd is kClean: for readers that have no password, and so no
// way to check an AES entry's code.
bool EntryStreamEndsCleanly(zip_file_t* stream, const zip_stat_t& entry);

#endif

// Entries that writing re-encodes from their stored data are checked before
// the archive is written.
//
// libzip 1.7.3 re-encodes an entry (a new compression or encryption method)
// by reading its stored data back, decrypted and decompressed, and encoding
// it anew with a CRC computed over what it read. Its encrypting layers stop
// at the first short read and never make the read after it, which is the one
// that reports a failed CRC check or a decompression error: an entry that is
// to be encrypted and stored would be written damage and all, under a fresh
// CRC that matches it. A compressing layer reads on and does see the error,
// so entries that are compressed anew need no check of their data. Neither
// layer sees anything of an entry that stores no bytes: libzip reads none.
#ifndef ZIPCVX_REENCODED_ENTRIES_H
#define ZIPCVX_REENCODED_ENTRIES_H

#include "archive/archive_record.h"

// True when no entry of the archive file that writing would re-encode
// stores no bytes while its header declares some (a size or a CRC other than
// that of no data), and every one that writing would encrypt anew without
// compressing it reads through to a clean end (CRC and length checked) with
// the password that writing uses, the archive's default one.
// False at the first that does not: the archive must not be written. AES
// entries that record a CRC of 0 never read cleanly with libzip 1.7.3, so
// they are never re-encoded this way.
// Entries marked re-encrypted (MarkReencrypted) count as re-encoded.
bool ReencodedEntriesAreIntact(const ArchiveObject* record);

#endif

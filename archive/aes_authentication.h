// The authentication code of AES entries, checked by the plugin itself.
//
// An AES entry ends in a 10-byte code over its encrypted data. libzip
// 1.7.3 reports a code that does not match as a CRC error, the same error it
// raises without cause at the end of every AE-2 entry (those record a CRC of
// 0, which libzip compares anyway); and for a compressed entry it may not
// read far enough to check the code at all. So the plugin checks the code
// of an AES entry on its own before it counts the entry as read intact.
#ifndef ZIPCVX_AES_AUTHENTICATION_H
#define ZIPCVX_AES_AUTHENTICATION_H

#include <stddef.h>
#include <zip.h>

// Whether method is one of the AES encryption methods.
bool IsAesMethod(zip_uint16_t method);

// Reads the stored (encrypted) bytes of the AES entry that entry describes
// once more, through buffer (size bytes, any content), derives the keys
// from password and the entry's salt, and compares the code over the
// encrypted data with the one the entry carries. True only when password's
// check bytes and the code both match. False on any failure as well: a
// missing password, a read error, memory running out in the crypto library.
// Calls nothing that can raise.
bool AesCodeMatches(zip_t* archive, const zip_stat_t& entry, const char* password,
                    unsigned char* buffer, size_t size);

#endif

// The default password a script gave each archive (zip.SetDefaultPassword).
// libzip keeps its own copy but never hands it out, and an AES entry that
// is extracted with it has its authentication code checked by the plugin
// (archive/aes_authentication.h), which needs the password for that.
#ifndef ZIPCVX_DEFAULT_PASSWORDS_H
#define ZIPCVX_DEFAULT_PASSWORDS_H

#include "plugin/host_interface.h"

// Kept in the archive's record (ArchiveRecord).
// Keeps a copy of password (from Alloc, tag "zpw") as record's default,
// replacing the one it had; null or "" leaves it none. False, with nothing
// changed, when the copy cannot be had.
bool RememberDefaultPassword(ArchiveObject* record, const char* password);

// record's default password, or null.
const char* DefaultPasswordOf(const ArchiveObject* record);

// Frees record's copy, if it has one (and wipes it); FreeArchiveRecord
// calls it before the record itself is freed.
void ForgetDefaultPassword(ArchiveObject* record);

#endif

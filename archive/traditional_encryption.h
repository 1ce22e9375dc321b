// Traditional PKWARE encryption checks a password against one byte of the
// entry's time. libzip 1.7.3 writes that byte from the time that the entry's
// data source reports, and for an entry already in the archive file that is
// its stored time, whether the data is copied as stored or encrypted anew;
// the entry's header, though, gets any time set on the entry. When the two
// differ, every reader refuses the right password and the data is lost.
//
// So an entry already in the archive keeps its stored time while it is to be
// written traditionally encrypted. Entries added from host files need no
// rule: their source reports the entry's own time (BindStreamSource).
#ifndef ZIPCVX_TRADITIONAL_ENCRYPTION_H
#define ZIPCVX_TRADITIONAL_ENCRYPTION_H

#include <zip.h>

// True when index names an entry of the archive file that is to be written
// traditionally encrypted (its stored data copied as it is, or encrypted
// anew): it must not be re-dated.
bool MustKeepStoredTime(zip_t* archive, zip_uint64_t index);

// True when index names an entry of the archive file whose time has been
// changed: it must not be given traditional encryption.
bool TimeDiffersFromStored(zip_t* archive, zip_uint64_t index);

#endif

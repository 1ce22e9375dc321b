// What zip.AddFile and the editing commands share: finding an archive that a
// command may change, and the settings that zip.AddFile gives its new entry
// and the editing commands change later. Each returns 0 or the error code
// that the command returns; a failure changes nothing.
#ifndef ZIPCVX_ENTRY_CHANGES_H
#define ZIPCVX_ENTRY_CHANGES_H

#include <stddef.h>
#include <zip.h>

#include "plugin/host_interface.h"

// The zip format gives a name or a comment at most this many bytes.
inline constexpr size_t kMaxCommentLength = 65535;
inline constexpr size_t kMaxNameLength = 65535;

// Reads the identifier at position 1 and finds its archive for a change:
// errNoArchive when none has the identifier, errZip while a running command
// guards the archive (an extraction calling back into the script).
int32_t LookupArchiveToChange(VmState* vm, zip_t** archive);
// The same, for a command that keeps something in the archive's record.
int32_t LookupRecordToChange(VmState* vm, ArchiveObject** record);

// method: only its low 16 bits reach libzip. A null or empty password hands
// libzip null, which makes it use the archive's default password.
int32_t SetEntryEncryption(zip_t* archive, zip_uint64_t index, int32_t method,
                           const char* password);

// flags: the compression level. Asking for an existing entry's stored
// method while another one is pending is refused unless it is deflate.
int32_t SetEntryCompression(zip_t* archive, zip_uint64_t index, int32_t method, int32_t flags);

// A null or empty text removes the comment; over kMaxCommentLength: 1055.
int32_t SetEntryComment(zip_t* archive, zip_uint64_t index, const char* text, size_t length);

// A date string; 1055 when it does not parse or names a year that the zip
// format cannot hold. Drops the entry's extended timestamps, which readers
// would show in place of the new time.
int32_t SetEntryTime(zip_t* archive, zip_uint64_t index, const char* dateString);

#endif

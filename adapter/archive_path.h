// Splitting a host path such as data/pics.zip/img/a.png into the path of the
// archive file and the name of the entry inside it.
#ifndef ZIPCVX_ARCHIVE_PATH_H
#define ZIPCVX_ARCHIVE_PATH_H

#include <stddef.h>
#include <stdint.h>

// Size of each buffer that SplitArchivePath fills, terminating zero included.
inline constexpr size_t kArchivePathSize = 1024;

// Splits *path at its first ".zip" (in any letter case) that lies within the
// first 1023 characters.  Returns 1 when the marker is followed by the end of
// the path or by a separator and at least one more character: archive then
// holds the path up to and including the marker, letters and separators as
// written; entry holds the rest behind the separator with every '\' written
// as '/' (empty when the path names the archive itself); and *path points at
// archive.  With directoryFlag set, a non-empty entry part is made to end in
// '/'.  Returns 0 for every other path, and for a path whose entry part does
// not fit its buffer; *path is then unchanged and the buffers hold anything.
// *path must not point into either buffer.
int32_t SplitArchivePath(const char** path, char (&archive)[kArchivePathSize],
                         char (&entry)[kArchivePathSize], int32_t directoryFlag);

#endif

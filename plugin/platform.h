// What the plugin asks of its system beyond ISO C, libzip and libcrypto. The
// host's system is not Linux: this pair of files is all a port changes.
#ifndef ZIPCVX_PLATFORM_H
#define ZIPCVX_PLATFORM_H

#include <stddef.h>

// Compares at most length letters of a and b without regard to case, as the
// host's C runtime does (StringCompareNoCaseN): less than, equal to or more
// than 0, as strncmp.
int CompareNoCaseN(const char* a, const char* b, size_t length);

// Asks for the whole pages inside [begin, begin + size) to be mapped before
// they are written. Only a hint: where the system has no such request, or
// refuses it, the pages fault in as usual.
void PrefaultForWriting(unsigned char* begin, size_t size);

#endif

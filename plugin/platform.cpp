#include "plugin/platform.h"

#include <stdint.h>

#ifdef __linux__
#include <strings.h>
#include <sys/mman.h>
#include <unistd.h>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23  // Linux 5.14; older kernels refuse it, harmlessly
#endif
#else
#include <ctype.h>
#endif

int CompareNoCaseN(const char* a, const char* b, size_t length) {
#ifdef __linux__
    return strncasecmp(a, b, length);
#else
    for (size_t i = 0; i < length; ++i) {
        const int x = tolower(static_cast<unsigned char>(a[i]));
        const int y = tolower(static_cast<unsigned char>(b[i]));
        if (x != y || x == '\0') return x - y;
    }
    return 0;
#endif
}

// A grown block's new pages would otherwise be faulted in one by one as the
// stream writes into them: asking for all of them in one call costs the
// kernel less.
void PrefaultForWriting([[maybe_unused]] unsigned char* begin, [[maybe_unused]] size_t size) {
#ifdef __linux__
    const long page = sysconf(_SC_PAGESIZE);
    if (page <= 0) return;
    const uintptr_t mask = static_cast<uintptr_t>(page) - 1;
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + mask) & ~mask;
    const uintptr_t end = (reinterpret_cast<uintptr_t>(begin) + size) & ~mask;
    if (end > first) madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
#endif
}

#include "support/c_heap_faults.h"

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZIPCVX_TESTS_NO_HEAP_FAULTS 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ZIPCVX_TESTS_NO_HEAP_FAULTS 1
#endif

#ifndef ZIPCVX_TESTS_NO_HEAP_FAULTS

#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

namespace {

bool gArmed = false;
int64_t gCountdown = 0;
int64_t gCalls = 0;
int64_t gFailures = 0;
// Set while the hooks classify a caller: what that needs itself (the
// unwinder's first use loads a library) is passed straight on.
thread_local bool gInside = false;

bool gZipOnly = false;

// Zip: libzip and the plugin. Codec: the libraries libzip uses.
enum class Origin { Ignored, Zip, Codec, CLibrary };

const char* const kCodecModules[] = {"libz.so",      "libbz2.so", "liblzma.so", "libzstd.so",
                                     "libcrypto.so", "libgnutls", "libnettle",  "libhogweed"};

Origin OriginOfName(const char* path) {
    const char* slash = strrchr(path, '/');
    const char* name = slash != nullptr ? slash + 1 : path;
    if (strncmp(name, "libc.so", 7) == 0) return Origin::CLibrary;
    if (strncmp(name, "libzip.so", 9) == 0 || strcmp(name, "zip.cvx") == 0) return Origin::Zip;
    for (const char* codec : kCodecModules) {
        if (strstr(name, codec) != nullptr) return Origin::Codec;
    }
    return Origin::Ignored;
}

bool IsCounted(Origin origin) {
    return origin == Origin::Zip || (origin == Origin::Codec && !gZipOnly);
}

struct KnownModule {
    const void* base;
    Origin origin;
};
KnownModule gKnown[64];
int gKnownCount = 0;

Origin OriginOf(const void* address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return Origin::Ignored;
    for (int i = 0; i < gKnownCount; ++i) {
        if (gKnown[i].base == info.dli_fbase) return gKnown[i].origin;
    }
    const Origin origin = OriginOfName(info.dli_fname);
    if (gKnownCount < 64) gKnown[gKnownCount++] = {info.dli_fbase, origin};
    return origin;
}

// A call from inside the C library (fopen, strdup, ...) counts when the
// first caller outside it is a counted module.
bool CLibraryCallIsCounted() {
    void* frames[24];
    const int n = backtrace(frames, 24);
    for (int i = 1; i < n; ++i) {
        const Origin origin = OriginOf(frames[i]);
        if (origin != Origin::CLibrary) return IsCounted(origin);
    }
    return false;
}

// The origins of the return addresses seen so far: dladdr is too slow for
// the thousands of calls the crypto library makes.
struct KnownCaller {
    const void* address;
    Origin origin;
};
constexpr size_t kCallerSlots = 8192;
KnownCaller gCallers[kCallerSlots];

Origin OriginOfCaller(const void* caller) {
    size_t slot = (reinterpret_cast<uintptr_t>(caller) >> 2) % kCallerSlots;
    for (size_t probe = 0; probe < 64; ++probe, slot = (slot + 1) % kCallerSlots) {
        if (gCallers[slot].address == caller) return gCallers[slot].origin;
        if (gCallers[slot].address == nullptr) {
            gCallers[slot] = {caller, OriginOf(caller)};
            return gCallers[slot].origin;
        }
    }
    return OriginOf(caller);
}

// True when this call is to fail.
bool Intercept(const void* caller) {
    if (!gArmed || gInside) return false;
    gInside = true;
    const Origin origin = OriginOfCaller(caller);
    const bool counted =
        IsCounted(origin) || (origin == Origin::CLibrary && CLibraryCallIsCounted());
    gInside = false;
    if (!counted) return false;
    ++gCalls;
    if (gCountdown <= 0 || --gCountdown != 0) return false;
    ++gFailures;
    // ZIPCVX_TRACE_HEAP_FAULTS=1 shows where each injected failure lands.
    if (getenv("ZIPCVX_TRACE_HEAP_FAULTS") != nullptr) {
        gInside = true;
        void* frames[24];
        backtrace_symbols_fd(frames, backtrace(frames, 24), 2);
        write(2, "--\n", 3);
        gInside = false;
    }
    errno = ENOMEM;
    return true;
}

}  // namespace

extern "C" void* malloc(size_t size) noexcept {
    return Intercept(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept {
    return Intercept(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, size_t size) noexcept {
    // realloc to 0 bytes frees: that cannot fail.
    if (size == 0) return __libc_realloc(block, size);
    return Intercept(__builtin_return_address(0)) ? nullptr : __libc_realloc(block, size);
}

namespace zipcvx_test {

bool CHeapFaults::Available() {
    return true;
}

void CHeapFaults::Arm(int64_t n, bool zipOnly) {
    gZipOnly = zipOnly;
    void* frames[4];
    backtrace(frames, 4);  // the unwinder loads its library on first use
    gCountdown = n;
    gCalls = 0;
    gFailures = 0;
    gArmed = true;
}

void CHeapFaults::Disarm() {
    gArmed = false;
    gCountdown = 0;
}

int64_t CHeapFaults::Calls() {
    return gCalls;
}
int64_t CHeapFaults::Failures() {
    return gFailures;
}

}  // namespace zipcvx_test

#else

namespace zipcvx_test {

bool CHeapFaults::Available() {
    return false;
}
void CHeapFaults::Arm(int64_t, bool) {}
void CHeapFaults::Disarm() {}
int64_t CHeapFaults::Calls() {
    return 0;
}
int64_t CHeapFaults::Failures() {
    return 0;
}

}  // namespace zipcvx_test

#endif

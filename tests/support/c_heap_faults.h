// Fault injection for the C heap that libzip (and zlib, bzip2, the crypto
// library under it) and the plugin's entry cache allocate from. The test
// binary defines malloc, calloc and realloc itself, forwarding to the C
// library's own; while a countdown is armed it counts the calls that come
// from those libraries or from the loaded zip.cvx, and fails the n-th.
// Calls from the host, the script VM, the C++ runtime and the tests are
// never counted, so a fault always lands where the plugin can see it.
//
// Not available under AddressSanitizer, which must own malloc itself.
#ifndef ZIPCVX_TESTS_C_HEAP_FAULTS_H
#define ZIPCVX_TESTS_C_HEAP_FAULTS_H

#include <cstdint>

namespace zipcvx_test {

struct CHeapFaults {
    // True when this build replaces the C heap functions.
    static bool Available();
    // Counts from now on; the n-th counted call fails (0: count only).
    // zipOnly counts only the calls of libzip and the plugin themselves,
    // not those of the compression and crypto libraries below libzip.
    static void Arm(int64_t n, bool zipOnly = false);
    // Stops counting and failing.
    static void Disarm();
    static int64_t Calls();     // counted calls since Arm
    static int64_t Failures();  // injected failures since Arm
};

}  // namespace zipcvx_test

#endif

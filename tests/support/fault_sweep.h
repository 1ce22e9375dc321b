// Fault sweeps: an operation runs once counting its calls of a host service,
// then once per call with that one failing; each must fail cleanly, leaving
// nothing allocated or open and protected files intact.
#ifndef ZIPCVX_TESTS_FAULT_SWEEP_H
#define ZIPCVX_TESTS_FAULT_SWEEP_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/host.h"

namespace zipcvx_test {

// The service whose calls fail in turn.
struct FaultSite {
    cvx::Fault fault = cvx::Fault::Alloc;
    std::string tag;  // Alloc only: count only blocks of this tag
    std::string Name() const;
};
inline FaultSite HostFault(cvx::Fault fault, std::string tag = "") {
    return FaultSite{fault, std::move(tag)};
}

struct SweepCase {
    std::string what;
    std::function<void()> setup;      // before each point, nothing failing
    std::function<bool()> operation;  // the armed part: true when it succeeded
    std::function<void()> teardown;   // after each point, nothing failing
    // Files that keep their bytes always, or only when the operation failed.
    std::vector<std::string> unchanged;
    std::vector<std::string> unchangedOnFailure;
    // Checks after each point's teardown (k = 0: nothing failing).
    std::function<void(int64_t k, bool succeeded)> check;
    // The operation may survive any fault (a listing node not recorded).
    bool mayAbsorb = false;
    // Host services whose failure the operation may survive.
    std::vector<cvx::Fault> absorbedFaults;
};

// Sweeps the case over one site, or over the host's allocations and file services.
void Sweep(cvx::Host& host, const FaultSite& site, const SweepCase& c);
void SweepAllocAndIo(cvx::Host& host, const SweepCase& c);

// The outcome of a script chunk: 0 when it ran through, the code of the
// command that failed, or -1 for any other error (message in *message).
int32_t RunForCode(cvx::Host& host, const std::string& chunk, std::string* message = nullptr);

// Names in a directory (not recursive), sorted.
std::vector<std::string> DirectoryNames(const std::string& dir);

}  // namespace zipcvx_test

#endif

// Fault sweeps, as SQLite and Lua test their failure paths: an operation
// runs once with nothing failing, which counts the calls it makes of one
// host service (Alloc, OpenFile, ReadFile, ...); then once more for each of
// those calls, with exactly that call failing. Every point must end in a
// clean failure: the fault was met, the operation says it failed (no silent
// success), nothing is left allocated or open that was not before, and the
// files it must not change keep every byte.
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

// The host's file services; its allocations.
std::vector<FaultSite> HostIoSites();
std::vector<FaultSite> AllocSites();

struct SweepCase {
    std::string what;
    std::function<void()> setup;      // before each point, nothing failing
    std::function<bool()> operation;  // the armed part: true when it succeeded
    std::function<void()> teardown;   // after each point, nothing failing
    // Files that must keep the bytes they had after setup whatever the
    // operation did (read-only operations), or only when it failed.
    std::vector<std::string> unchanged;
    std::vector<std::string> unchangedOnFailure;
    // Further checks after each point's teardown; k is 0 for the run with
    // nothing failing.
    std::function<void(int64_t k, bool succeeded)> check;
    // The operation may survive a fault (a listing node that is not
    // recorded): success is then not a silent one.
    bool mayAbsorb = false;
    // Host services whose failure the operation may survive.
    std::vector<cvx::Fault> absorbedFaults;
};

// Sweeps the case over one site and returns the number of points (calls)
// swept. The run with nothing failing must succeed.
int64_t Sweep(cvx::Host& host, const FaultSite& site, const SweepCase& c);
// Over several sites; returns the sum.
int64_t SweepAll(cvx::Host& host, const std::vector<FaultSite>& sites, const SweepCase& c);

// The outcome of a script chunk: 0 when it ran through, the code of the
// command that failed, or -1 for any other error (message in *message).
int32_t RunForCode(cvx::Host& host, const std::string& chunk, std::string* message = nullptr);

// Names in a directory (not recursive), sorted.
std::vector<std::string> DirectoryNames(const std::string& dir);

}  // namespace zipcvx_test

#endif

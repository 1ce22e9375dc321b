#include "support/fault_sweep.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <execinfo.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "support/c_heap_faults.h"
#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

const char* FaultName(cvx::Fault f) {
    switch (f) {
        case cvx::Fault::Alloc:
            return "Alloc";
        case cvx::Fault::OpenFile:
            return "OpenFile";
        case cvx::Fault::ReadFile:
            return "ReadFile";
        case cvx::Fault::WriteFile:
            return "WriteFile";
        case cvx::Fault::SeekFile:
            return "SeekFile";
        case cvx::Fault::ExamineFile:
            return "ExamineFile";
        case cvx::Fault::CallFunction:
            return "CallFunction";
        case cvx::Fault::kCount:
            break;
    }
    return "?";
}

void Arm(cvx::Host& host, const FaultSite& site, int64_t n) {
    if (site.cHeap) {
        CHeapFaults::Arm(n, site.zipOnly);
    } else {
        host.FailNth(site.fault, n, site.tag);
    }
}

struct Armed {
    int64_t calls;
    int64_t failures;
    std::string failedTag;
};

Armed Disarm(cvx::Host& host, const FaultSite& site) {
    Armed seen{};
    if (site.cHeap) {
        seen = {CHeapFaults::Calls(), CHeapFaults::Failures(), ""};
        CHeapFaults::Disarm();
    } else {
        const cvx::FaultSlot& slot = host.fault(site.fault);
        seen = {slot.calls, slot.failures, slot.failedTag};
        host.ClearFaults();
    }
    return seen;
}

struct Held {
    std::map<std::string, int> blocks;
    size_t files;
    bool operator==(const Held&) const = default;
};

Held HeldBy(cvx::Host& host) {
    return {host.LiveBlocksByTag(), host.OpenFiles()};
}

std::string Describe(const Held& held) {
    std::string text = std::to_string(held.files) + " open file(s)";
    for (const auto& [tag, count] : held.blocks) {
        text += ", " + std::to_string(count) + " \"" + tag + "\"";
    }
    return text;
}

int FailureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

enum class Point { kFailed, kSurvived, kCrashedInLibzip, kBroken };

// One point: k = 0 runs with nothing failing.
Point RunPoint(cvx::Host& host, const FaultSite& site, const SweepCase& c, int64_t k,
               int64_t* calls) {
    const std::string where = c.what + ", " + site.Name() + " " + std::to_string(k);
    const int failuresBefore = FailureCount();
    const Held before = HeldBy(host);
    if (c.setup) c.setup();
    std::vector<std::string> bytes;
    for (const std::string& path : c.unchanged)
        bytes.push_back(ReadFileBytes(path));
    for (const std::string& path : c.unchangedOnFailure)
        bytes.push_back(ReadFileBytes(path));
    Arm(host, site, k);
    const bool succeeded = c.operation();
    const Armed seen = Disarm(host, site);
    if (c.teardown) c.teardown();

    if (calls != nullptr) *calls = seen.calls;
    if (k > 0) {
        EXPECT_EQ(seen.failures, 1) << where << ": the fault was not met";
        // libzip survives some failures of its own allocations (a hash
        // table that is only sized ahead); the case checks what it did.
        const bool absorbed = std::find(c.absorbedTags.begin(), c.absorbedTags.end(),
                                        seen.failedTag) != c.absorbedTags.end();
        const bool absorbedFault =
            !site.cHeap && std::find(c.absorbedFaults.begin(), c.absorbedFaults.end(),
                                     site.fault) != c.absorbedFaults.end();
        if (!c.mayAbsorb && !site.cHeap && !absorbedFault &&
            !(absorbed && site.fault == cvx::Fault::Alloc)) {
            EXPECT_FALSE(succeeded) << where << ": succeeded with a call failing";
        }
    } else {
        EXPECT_TRUE(succeeded) << where << ": fails with nothing failing";
    }
    const Held after = HeldBy(host);
    EXPECT_EQ(Describe(after), Describe(before)) << where << ": left behind";
    size_t i = 0;
    for (const std::string& path : c.unchanged) {
        EXPECT_TRUE(ReadFileBytes(path) == bytes[i++]) << where << ": changed " << path;
    }
    for (const std::string& path : c.unchangedOnFailure) {
        if (!succeeded) {
            EXPECT_TRUE(ReadFileBytes(path) == bytes[i]) << where << ": changed " << path;
        }
        ++i;
    }
    EXPECT_EQ(host.violations().size(), 0u) << where << ": " << host.LeakReport();
    if (c.check) c.check(k, succeeded);
    if (FailureCount() != failuresBefore) return Point::kBroken;
    return succeeded && k > 0 ? Point::kSurvived : Point::kFailed;
}

constexpr int kExitFailed = 10;
constexpr int kExitSurvived = 11;
constexpr int kExitBroken = 12;
constexpr int kExitCrashedInLibzip = 13;
constexpr int kExitCrashedElsewhere = 14;

// In a child process: a crash whose innermost frame outside the C
// library lies in libzip is libzip's own.
extern "C" void OnCrash(int) {
    void* frames[32];
    const int n = backtrace(frames, 32);
    if (getenv("ZIPCVX_TRACE_HEAP_FAULTS") != nullptr) {
        write(2, "crash:\n", 7);
        backtrace_symbols_fd(frames, n, 2);
    }
    for (int i = 1; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
        const char* name = strrchr(info.dli_fname, '/');
        name = name != nullptr ? name + 1 : info.dli_fname;
        if (strncmp(name, "libc.so", 7) == 0 || strstr(info.dli_fname, "zipcvx_tests") != nullptr) {
            continue;  // the signal's own frames, and this handler
        }
        _exit(strncmp(name, "libzip.so", 9) == 0 ? kExitCrashedInLibzip : kExitCrashedElsewhere);
    }
    _exit(kExitCrashedElsewhere);
}

// Removes what a crashed child left of libzip's temporary files: the
// archive's name, a dot and six more characters.
void RemoveTemporaryFiles(const SweepCase& c) {
    std::vector<std::string> paths = c.unchanged;
    paths.insert(paths.end(), c.unchangedOnFailure.begin(), c.unchangedOnFailure.end());
    for (const std::string& path : paths) {
        const std::filesystem::path p(path);
        const std::string prefix = p.filename().string() + ".";
        for (const std::string& name : DirectoryNames(p.parent_path().string())) {
            if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0) {
                std::filesystem::remove(p.parent_path() / name);
            }
        }
    }
}

// The point in a child process, so that a crash inside libzip can be told
// from one in the plugin. The archive must keep its bytes either way.
Point RunIsolatedPoint(cvx::Host& host, const FaultSite& site, const SweepCase& c, int64_t k) {
    std::vector<std::string> bytes;
    for (const std::string& path : c.unchangedOnFailure)
        bytes.push_back(ReadFileBytes(path));
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        signal(SIGSEGV, OnCrash);
        signal(SIGBUS, OnCrash);
        signal(SIGABRT, OnCrash);
        const Point point = RunPoint(host, site, c, k, nullptr);
        std::fflush(nullptr);
        _exit(point == Point::kFailed     ? kExitFailed
              : point == Point::kSurvived ? kExitSurvived
                                          : kExitBroken);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const std::string where = c.what + ", " + site.Name() + " " + std::to_string(k);
    if (code == kExitFailed) return Point::kFailed;
    if (code == kExitSurvived) return Point::kSurvived;
    if (code == kExitCrashedInLibzip) {
        size_t i = 0;
        for (const std::string& path : c.unchangedOnFailure) {
            EXPECT_TRUE(ReadFileBytes(path) == bytes[i++]) << where << ": changed " << path;
        }
        RemoveTemporaryFiles(c);
        return Point::kCrashedInLibzip;
    }
    ADD_FAILURE() << where << ": the child "
                  << (code == kExitBroken             ? "failed its checks"
                      : code == kExitCrashedElsewhere ? "crashed outside libzip"
                                                      : "died");
    return Point::kBroken;
}

}  // namespace

std::string FaultSite::Name() const {
    if (cHeap) return zipOnly ? "C heap (libzip)" : "C heap";
    std::string name = FaultName(fault);
    if (!tag.empty()) name += "(" + tag + ")";
    return name;
}

bool LongSweeps() {
    const char* value = getenv("ZIPCVX_LONG_SWEEPS");
    return value != nullptr && value[0] != '\0' && value[0] != '0';
}

std::vector<FaultSite> HostIoSites() {
    return {HostFault(cvx::Fault::OpenFile), HostFault(cvx::Fault::ReadFile),
            HostFault(cvx::Fault::WriteFile), HostFault(cvx::Fault::SeekFile),
            HostFault(cvx::Fault::ExamineFile)};
}

std::vector<FaultSite> AllocSites() {
    std::vector<FaultSite> sites = {HostFault(cvx::Fault::Alloc)};
    if (CHeapFaults::Available()) sites.push_back(CHeap());
    return sites;
}

int64_t Sweep(cvx::Host& host, const FaultSite& site, const SweepCase& c) {
    const auto started = std::chrono::steady_clock::now();
    int64_t points = 0;
    if (RunPoint(host, site, c, 0, &points) == Point::kBroken) return 0;
    int64_t survived = 0;
    int64_t crashed = 0;
    if (getenv("ZIPCVX_TRACE_SWEEPS") != nullptr) {
        fprintf(stderr, "%s, %s: %lld point(s) to sweep\n", c.what.c_str(), site.Name().c_str(),
                static_cast<long long>(points));
    }
    for (int64_t k = 1; k <= points; ++k) {
        const Point point =
            c.isolate ? RunIsolatedPoint(host, site, c, k) : RunPoint(host, site, c, k, nullptr);
        survived += point == Point::kSurvived ? 1 : 0;
        crashed += point == Point::kCrashedInLibzip ? 1 : 0;
        // The first failing point says enough; the rest would repeat it.
        if (point == Point::kBroken) break;
    }
    std::string note;
    if (survived > 0) note += ", " + std::to_string(survived) + " survived";
    if (crashed > 0) note += ", " + std::to_string(crashed) + " crashed inside libzip";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    std::printf("[  SWEEP   ] %s, %s: %lld point(s)%s (%lld ms)\n", c.what.c_str(),
                site.Name().c_str(), static_cast<long long>(points), note.c_str(),
                static_cast<long long>(ms.count()));
    return points;
}

int64_t SweepAll(cvx::Host& host, const std::vector<FaultSite>& sites, const SweepCase& c) {
    int64_t total = 0;
    for (const FaultSite& site : sites)
        total += Sweep(host, site, c);
    return total;
}

int32_t RunForCode(cvx::Host& host, const std::string& chunk, std::string* message) {
    host.lastErrorCode_ = 0;
    std::string error;
    if (host.RunString(chunk, &error)) return 0;
    if (message != nullptr) *message = error.substr(0, error.find('\n'));
    return host.lastErrorCode_ != 0 ? host.lastErrorCode_ : -1;
}

std::vector<std::string> DirectoryNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zipcvx_test

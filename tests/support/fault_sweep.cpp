#include "support/fault_sweep.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <gtest/gtest.h>
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

struct Armed {
    int64_t calls;
    int64_t failures;
    std::string failedTag;
};

Armed Disarm(cvx::Host& host, const FaultSite& site) {
    if (site.cHeap) {
        const Armed seen{CHeapFaults::Calls(), CHeapFaults::Failures(), ""};
        CHeapFaults::Disarm();
        return seen;
    }
    const cvx::FaultSlot& slot = host.fault(site.fault);
    const Armed seen{slot.calls, slot.failures, slot.failedTag};
    host.ClearFaults();
    return seen;
}

// What the host holds: open files, and live blocks by tag.
std::string Held(cvx::Host& host) {
    std::string text = std::to_string(host.OpenFiles()) + " open file(s)";
    for (const auto& [tag, count] : host.LiveBlocksByTag())
        text += ", " + std::to_string(count) + " \"" + tag + "\"";
    return text;
}

int FailureCount() {
    return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
}

template <typename T>
bool Contains(const std::vector<T>& list, const T& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

std::vector<std::string> Watched(const SweepCase& c) {
    std::vector<std::string> paths = c.unchanged;
    paths.insert(paths.end(), c.unchangedOnFailure.begin(), c.unchangedOnFailure.end());
    return paths;
}

// The point's outcome, also the exit status of an isolated point's child.
enum Point { kFailed = 10, kSurvived, kBroken, kCrashedInLibzip, kCrashedElsewhere };

// One point: k = 0 runs with nothing failing.
Point RunPoint(cvx::Host& host, const FaultSite& site, const SweepCase& c, int64_t k,
               int64_t* calls) {
    const std::string where = c.what + ", " + site.Name() + " " + std::to_string(k);
    const int failuresBefore = FailureCount();
    const std::string before = Held(host);
    if (c.setup) c.setup();
    const std::vector<std::string> paths = Watched(c);
    std::vector<std::string> bytes;
    for (const std::string& path : paths)
        bytes.push_back(ReadFileBytes(path));
    if (site.cHeap) {
        CHeapFaults::Arm(k, site.zipOnly);
    } else {
        host.FailNth(site.fault, k, site.tag);
    }
    const bool succeeded = c.operation();
    const Armed seen = Disarm(host, site);
    if (c.teardown) c.teardown();

    if (calls != nullptr) *calls = seen.calls;
    if (k == 0) {
        EXPECT_TRUE(succeeded) << where << ": fails with nothing failing";
    } else {
        EXPECT_EQ(seen.failures, 1) << where << ": the fault was not met";
        // libzip survives some failures of its own allocations (a hash
        // table that is only sized ahead); the case checks what it did.
        const bool absorbed =
            c.mayAbsorb || site.cHeap || Contains(c.absorbedFaults, site.fault) ||
            (site.fault == cvx::Fault::Alloc && Contains(c.absorbedTags, seen.failedTag));
        if (!absorbed) {
            EXPECT_FALSE(succeeded) << where << ": succeeded with a call failing";
        }
    }
    EXPECT_EQ(Held(host), before) << where << ": left behind";
    for (size_t i = 0; i < paths.size(); ++i) {
        if (i < c.unchanged.size() || !succeeded) {
            EXPECT_TRUE(ReadFileBytes(paths[i]) == bytes[i]) << where << ": changed " << paths[i];
        }
    }
    EXPECT_EQ(host.violations().size(), 0u) << where << ": " << host.LeakReport();
    if (c.check) c.check(k, succeeded);
    if (FailureCount() != failuresBefore) return kBroken;
    return succeeded && k > 0 ? kSurvived : kFailed;
}

// In a child process: a crash whose innermost frame outside the C library
// lies in libzip is libzip's own.
extern "C" void OnCrash(int) {
    void* frames[32];
    const int n = backtrace(frames, 32);
    if (getenv("ZIPCVX_TRACE_HEAP_FAULTS") != nullptr) backtrace_symbols_fd(frames, n, 2);
    for (int i = 1; i < n; ++i) {
        Dl_info info;
        if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
        const char* name = strrchr(info.dli_fname, '/');
        name = name != nullptr ? name + 1 : info.dli_fname;
        // Skipped: the signal's own frames (in the C library, or on i386 in
        // the vDSO's sigreturn trampoline), and this handler.
        if (strncmp(name, "libc.so", 7) == 0 || strncmp(name, "linux-", 6) == 0 ||
            strstr(name, "zipcvx_tests") != nullptr) {
            continue;
        }
        _exit(strncmp(name, "libzip.so", 9) == 0 ? kCrashedInLibzip : kCrashedElsewhere);
    }
    _exit(kCrashedElsewhere);
}

// The point in a child process, so that a crash inside libzip (a defect of
// the library, not of the plugin) can be told from one in the plugin. The
// watched files must keep their bytes either way.
Point RunIsolatedPoint(cvx::Host& host, const FaultSite& site, const SweepCase& c, int64_t k) {
    const std::vector<std::string> paths = Watched(c);
    std::vector<std::string> bytes;
    for (const std::string& path : paths)
        bytes.push_back(ReadFileBytes(path));
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        for (int s : {SIGSEGV, SIGBUS, SIGABRT})
            signal(s, OnCrash);
        const Point point = RunPoint(host, site, c, k, nullptr);
        std::fflush(nullptr);
        _exit(point);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == kFailed || code == kSurvived) return static_cast<Point>(code);
    const std::string where = c.what + ", " + site.Name() + " " + std::to_string(k);
    if (code != kCrashedInLibzip) {
        ADD_FAILURE() << where << ": the child "
                      << (code == kBroken             ? "failed its checks"
                          : code == kCrashedElsewhere ? "crashed outside libzip"
                                                      : "died");
        return kBroken;
    }
    // Removes libzip's temporary files: the file's name, a dot and six more.
    for (size_t i = 0; i < paths.size(); ++i) {
        EXPECT_TRUE(ReadFileBytes(paths[i]) == bytes[i]) << where << ": changed " << paths[i];
        const std::filesystem::path p(paths[i]);
        const std::string prefix = p.filename().string() + ".";
        for (const std::string& name : DirectoryNames(p.parent_path().string())) {
            if (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0) {
                std::filesystem::remove(p.parent_path() / name);
            }
        }
    }
    return kCrashedInLibzip;
}

}  // namespace

std::string FaultSite::Name() const {
    if (cHeap) return zipOnly ? "C heap (libzip)" : "C heap";
    static const char* const kNames[] = {"Alloc",    "OpenFile",    "ReadFile",    "WriteFile",
                                         "SeekFile", "ExamineFile", "CallFunction", "VmAlloc"};
    static_assert(std::size(kNames) == static_cast<size_t>(cvx::Fault::kCount));
    std::string name = kNames[static_cast<int>(fault)];
    return tag.empty() ? name : name + "(" + tag + ")";
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
    if (RunPoint(host, site, c, 0, &points) == kBroken) return 0;
    std::map<Point, int64_t> seen;
    for (int64_t k = 1; k <= points; ++k) {
        const Point point =
            c.isolate ? RunIsolatedPoint(host, site, c, k) : RunPoint(host, site, c, k, nullptr);
        ++seen[point];
        // The first failing point says enough; the rest would repeat it.
        if (point == kBroken) break;
    }
    std::string note;
    if (seen[kSurvived] > 0) note += ", " + std::to_string(seen[kSurvived]) + " survived";
    if (seen[kCrashedInLibzip] > 0) {
        note += ", " + std::to_string(seen[kCrashedInLibzip]) + " crashed inside libzip";
    }
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
    host.ResetLastErrorCode();
    std::string error;
    if (host.RunString(chunk, &error)) return 0;
    if (message != nullptr) *message = error.substr(0, error.find('\n'));
    return host.lastErrorCode() != 0 ? host.lastErrorCode() : -1;
}

std::vector<std::string> DirectoryNames(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace zipcvx_test

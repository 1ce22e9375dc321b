#include "support/fault_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/plugin_host.h"

namespace zipcvx_test {
namespace {

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

enum Point { kFailed, kSurvived, kBroken };

// One point: k = 0 runs with nothing failing; *calls gets the calls seen.
Point RunPoint(cvx::Host& host, const FaultSite& site, const SweepCase& c, int64_t k,
               int64_t* calls) {
    const std::string where = c.what + ", " + site.Name() + " " + std::to_string(k);
    const int failuresBefore = FailureCount();
    const std::string before = Held(host);
    if (c.setup) c.setup();
    std::vector<std::string> paths = c.unchanged;
    paths.insert(paths.end(), c.unchangedOnFailure.begin(), c.unchangedOnFailure.end());
    std::vector<std::string> bytes;
    for (const std::string& path : paths)
        bytes.push_back(ReadFileBytes(path));
    host.FailNth(site.fault, k, site.tag);
    const bool succeeded = c.operation();
    const cvx::FaultSlot slot = host.fault(site.fault);
    host.ClearFaults();
    if (c.teardown) c.teardown();

    *calls = slot.calls;
    if (k == 0) {
        EXPECT_TRUE(succeeded) << where << ": fails with nothing failing";
    } else {
        EXPECT_EQ(slot.failures, 1) << where << ": the fault was not met";
        const auto& absorbed = c.absorbedFaults;
        if (!c.mayAbsorb &&
            std::find(absorbed.begin(), absorbed.end(), site.fault) == absorbed.end()) {
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

}  // namespace

std::string FaultSite::Name() const {
    static const char* const kNames[] = {"Alloc",    "OpenFile",    "ReadFile",     "WriteFile",
                                         "SeekFile", "ExamineFile", "CallFunction", "VmAlloc"};
    static_assert(std::size(kNames) == static_cast<size_t>(cvx::Fault::kCount));
    std::string name = kNames[static_cast<int>(fault)];
    return tag.empty() ? name : name + "(" + tag + ")";
}

void Sweep(cvx::Host& host, const FaultSite& site, const SweepCase& c) {
    int64_t points = 0;
    if (RunPoint(host, site, c, 0, &points) == kBroken) return;
    int64_t survived = 0;
    for (int64_t k = 1, calls = 0; k <= points; ++k) {
        const Point point = RunPoint(host, site, c, k, &calls);
        // The first failing point says enough; the rest would repeat it.
        if (point == kBroken) break;
        survived += point == kSurvived;
    }
    std::printf("[  SWEEP   ] %s, %s: %lld point(s), %lld survived\n", c.what.c_str(),
                site.Name().c_str(), static_cast<long long>(points),
                static_cast<long long>(survived));
}

void SweepAllocAndIo(cvx::Host& host, const SweepCase& c) {
    using cvx::Fault;
    for (Fault f : {Fault::Alloc, Fault::OpenFile, Fault::ReadFile, Fault::WriteFile,
                    Fault::SeekFile, Fault::ExamineFile})
        Sweep(host, HostFault(f), c);
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

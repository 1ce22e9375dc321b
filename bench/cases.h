// The benchmark's cases: each is one row of the table, measured either in a
// process of this program (an in-process run that times only its work) or
// as a whole other program (a tool users might pick instead).
#ifndef ZIPCVX_BENCH_CASES_H
#define ZIPCVX_BENCH_CASES_H

#include <cstdint>
#include <string>
#include <vector>

#include "bench/workload.h"

namespace bench {

struct CaseContext {
    Workload work;
    Paths paths;
    std::string plugin;  // the zip.cvx to load
};

// Seconds taken by the timed part of the case, or a negative value after
// printing why it failed to stderr.
using InProcessRun = double (*)(const CaseContext&);
// The argument vector of a tool; its standard output goes to /dev/null.
using ToolCommand = std::vector<std::string> (*)(const CaseContext&);
// The bytes a case delivers, for a throughput; null where none applies.
using ByteCount = int64_t (*)(const Workload&);

enum class Zone {
    Pinned,  // TZ as the stand-in host sets it (the system's zone, named once)
    Unset,   // TZ removed from the environment and left so
};

struct Case {
    const char* id;
    const char* section;
    const char* label;
    const char* baseline;  // the row it is compared with, or null
    bool speed;            // compared as speed (baseline / own time), else as time
    ByteCount bytes;
    InProcessRun run;  // one of run and tool
    ToolCommand tool;
    bool warm;  // run once untimed first, in the same process (short cases)
    Zone zone;
    const char* needs;       // a library or tool that may be missing, or null
    int maxRepetitions = 0;  // fewer samples for a case that takes very long; 0 = all
};

enum class Goal {
    SpeedAtLeast,     // baseline time / own time >= value
    TimeAtMost,       // own time / baseline time <= value
    MBPerSecAtLeast,  // value in MB/s (10^6 bytes)
    RssNotAbove,      // own peak RSS <= other's + value MiB
};

struct Target {
    const char* id;     // the row the target is for
    const char* other;  // the row it is measured against, or null
    Goal goal;
    double value;
};

const std::vector<Case>& AllCases();
const std::vector<Target>& AllTargets();
const Case* FindCase(const std::string& id);

// ------------------------------------------------- the in-process runs
// Bare libzip (libzip_runs.cpp).
double RawExtractDeflated(const CaseContext& c);
double RawExtractStored(const CaseContext& c);
double RawRead64k(const CaseContext& c);
double RawRead4k(const CaseContext& c);
double BareOpen(const CaseContext& c);
double BareStatFile(const CaseContext& c);
double BareWalkNames(const CaseContext& c);
double BareLocate(const CaseContext& c);
double BareLocateNoCase(const CaseContext& c);
double BareAddAndClose(const CaseContext& c);
double MemcpyPass(const CaseContext& c);
// zip.cvx through the stand-in host (plugin_runs.cpp).
double PluginExtractDeflated(const CaseContext& c);
double PluginExtractDeflatedCallback(const CaseContext& c);
double PluginExtractStored(const CaseContext& c);
double PluginExtractSmall(const CaseContext& c);
double AdapterRead64k(const CaseContext& c);
double AdapterRead4k(const CaseContext& c);
double AdapterReadSmall(const CaseContext& c);
double AdapterCachedPass(const CaseContext& c);
double AdapterSeekPattern(const CaseContext& c);
double AdapterStatFile(const CaseContext& c);
double AdapterStatDirectory(const CaseContext& c);
double AdapterListRoot(const CaseContext& c);
double AdapterListDirectory(const CaseContext& c);
double PluginLocate(const CaseContext& c);
double PluginLocateNoCase(const CaseContext& c);
double PluginAddAndClose(const CaseContext& c);
double PluginAddAndCloseCallback(const CaseContext& c);
// Archive libraries users might pick instead (other_libraries.cpp).
double PhysfsRead64k(const CaseContext& c);
double PhysfsRead4k(const CaseContext& c);
double PhysfsSeekPattern(const CaseContext& c);
double PhysfsStatFile(const CaseContext& c);
double PhysfsListRoot(const CaseContext& c);
double ZzipRead64k(const CaseContext& c);
double ZzipRead4k(const CaseContext& c);
double ZzipSeekPattern(const CaseContext& c);

}  // namespace bench

#endif

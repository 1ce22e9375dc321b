// The benchmark's shared parts: the workload it generates, its cases (one
// row of the table each) with their targets, and the clock.
#ifndef ZIPCVX_BENCH_BENCH_H
#define ZIPCVX_BENCH_BENCH_H

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

// The sizes of one workload, made from a fixed seed: the same sizes give
// byte-identical archives on every machine.
struct Workload {
    int64_t sizeMiB = 256;        // the big entry, deflated and stored
    int64_t directories = 10000;  // of the many-entry archive, 10 files each
    int64_t BigBytes() const { return sizeMiB << 20; }
    int64_t SmallBytes() const { return BigBytes() / 16; }  // extraction's memory
    int64_t Entries() const { return directories * 10 + (directories + 1) / 2; }
};

// The scratch folder and the archives in it.
struct Paths {
    std::string dir;
    std::string Manifest() const { return dir + "/manifest.txt"; }
    std::string BigDeflated() const { return dir + "/big-deflate.zip"; }
    std::string BigStored() const { return dir + "/big-store.zip"; }
    std::string SmallDeflated() const { return dir + "/small-deflate.zip"; }
    std::string Many() const { return dir + "/many.zip"; }
};

inline constexpr char kBigEntry[] = "data.bin";  // the only entry of the big archives

// Directory d of the many-entry archive is dNNNNN/ with the files
// dNNNNN/f0.txt to f9.txt; the even ones also have an entry of their own.
// The lookups ask for names near the end, the worst case for a scan.
std::string LastFile(const Workload& w);
std::string LastImpliedDirectory(const Workload& w);  // known only from deeper names

bool Generate(const Workload& w, const Paths& paths, std::string* error);
bool ReadManifest(const Paths& paths, Workload* w);  // false if missing or outdated

struct CaseContext {
    Workload work;
    Paths paths;
    std::string plugin;  // the zip.cvx to load
};

// Seconds taken by the timed part of a case run in a process of this
// program, or a negative value after printing why it failed.
using InProcessRun = double (*)(const CaseContext&);
// The argument vector of a tool run as a program; its output goes nowhere.
using ToolCommand = std::vector<std::string> (*)(const CaseContext&);

// A row of the table; rows name their fields, the rest keep these defaults.
struct Case {
    const char* id;
    const char* section;
    const char* label;
    const char* baseline = nullptr;  // the row it is compared with
    bool speed = true;               // compared as speed (baseline / own time), else as time
    int64_t (*bytes)(const Workload&) = nullptr;  // bytes delivered, for MB/s
    InProcessRun run = nullptr;                   // one of run and tool
    ToolCommand tool = nullptr;
    bool warm = false;       // run once untimed first (short cases)
    int maxRepetitions = 0;  // fewer samples for a very slow case; 0 = all
};

enum class Goal { SpeedAtLeast, TimeAtMost, MBPerSecAtLeast, RssNotAbove };

struct Target {
    const char* id;     // the row the target is for
    const char* other;  // the row it is measured against, or null
    Goal goal;
    double value;  // a ratio, MB/s (10^6 bytes), or MiB of peak RSS above other's
};

// The table's rows in order, and their targets (runs.cpp).
const std::vector<Case>& AllCases();
const std::vector<Target>& AllTargets();
const Case* FindCase(const std::string& id);

// The process's clock: the wall clock, or CPU time (user and system, page
// faults included), which other processes on a busy machine disturb less.
inline bool gCpuClock = false;
inline double Now() {
    timespec t{};
    clock_gettime(gCpuClock ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

inline double Failed(const std::string& why) {
    fprintf(stderr, "%s\n", why.c_str());
    return -1.0;
}

// The driver (driver.cpp): every repetition runs every selected case once,
// in table order, each in a process of its own, so that a case and its
// baseline are measured side by side. Prints the table; 1 if a case failed.
struct RunOptions {
    CaseContext context;
    std::string self;  // this program, to run in-process cases
    int repetitions = 5;
    std::vector<std::string> only;  // id prefixes; empty = every case
};
int RunBenchmark(const RunOptions& options);

}  // namespace bench

#endif

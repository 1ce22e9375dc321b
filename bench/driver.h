// Runs the cases: every repetition runs every case once, in table order, so
// that a case and its baseline are measured side by side in time; each run
// is a process of its own, whose peak resident memory the kernel reports.
#ifndef ZIPCVX_BENCH_DRIVER_H
#define ZIPCVX_BENCH_DRIVER_H

#include <string>
#include <vector>

#include "bench/cases.h"

namespace bench {

struct RunOptions {
    CaseContext context;
    std::string self;  // this program, to run in-process cases
    int repetitions = 5;
    bool cpuClock = false;          // time by CPU time instead of the wall clock
    std::vector<std::string> only;  // id prefixes; empty = every case
};

// Prints the machine, the workload and the table to stdout; writes every
// sample to results.tsv in the scratch folder. Returns 0, or 1 when a case
// failed (a missed target is reported, not failed).
int RunBenchmark(const RunOptions& options);

// The child side of an in-process case: runs it (once untimed first for a
// warm case) and prints "seconds S" on stdout. Returns the exit status.
int RunCaseInProcess(const std::string& id, const CaseContext& context);

}  // namespace bench

#endif

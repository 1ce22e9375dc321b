// zipcvx_bench: makes the benchmark's archives, runs the cases and prints
// the table. scripts/bench.sh drives it; see docs/performance.md.
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "bench/driver.h"
#include "bench/measure.h"

namespace {

const char kUsage[] =
    "usage: zipcvx_bench generate --dir DIR [--size-mib N] [--directories N]\n"
    "                             [--files-per-directory N] [--added-files N]\n"
    "       zipcvx_bench run --dir DIR --plugin ZIP.CVX [--repetitions N] [--only ID,...]\n"
    "                        [--clock wall|cpu]\n"
    "       zipcvx_bench case ID --dir DIR --plugin ZIP.CVX   (one in-process sample)\n"
    "       zipcvx_bench list\n";

std::string Self() {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return "zipcvx_bench";
    path[n] = '\0';
    return path;
}

struct Arguments {
    std::string command;
    std::string id;
    std::string dir;
    std::string plugin;
    std::string only;
    bench::Workload work;
    int repetitions = 5;
    bool cpuClock = false;
};

bool Number(const char* text, int64_t* value) {
    char* end = nullptr;
    const long long n = strtoll(text, &end, 10);
    if (end == text || *end != '\0' || n < 0) return false;
    *value = n;
    return true;
}

bool Parse(int argc, char** argv, Arguments* a) {
    if (argc < 2) return false;
    a->command = argv[1];
    int i = 2;
    if (a->command == "case") {
        if (argc < 3) return false;
        a->id = argv[i++];
    }
    for (; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) return false;
        const char* value = argv[++i];
        int64_t n = 0;
        if (option == "--dir") {
            a->dir = value;
        } else if (option == "--plugin") {
            a->plugin = value;
        } else if (option == "--clock" &&
                   (strcmp(value, "cpu") == 0 || strcmp(value, "wall") == 0)) {
            a->cpuClock = strcmp(value, "cpu") == 0;
        } else if (option == "--only") {
            a->only = value;
        } else if (option == "--repetitions" && Number(value, &n) && n > 0) {
            a->repetitions = static_cast<int>(n);
        } else if (option == "--size-mib" && Number(value, &n)) {
            a->work.sizeMiB = n;
        } else if (option == "--directories" && Number(value, &n)) {
            a->work.directories = n;
        } else if (option == "--files-per-directory" && Number(value, &n)) {
            a->work.filesPerDirectory = n;
        } else if (option == "--added-files" && Number(value, &n)) {
            a->work.addedFiles = n;
        } else {
            fprintf(stderr, "zipcvx_bench: bad option %s %s\n", option.c_str(), value);
            return false;
        }
    }
    return true;
}

std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> parts;
    std::stringstream in(list);
    std::string part;
    while (std::getline(in, part, ',')) {
        if (!part.empty()) parts.push_back(part);
    }
    return parts;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments a;
    if (!Parse(argc, argv, &a)) {
        fputs(kUsage, stderr);
        return 2;
    }
    if (a.command == "list") {
        for (const bench::Case& c : bench::AllCases())
            printf("%-16s %s\n", c.id, c.label);
        return 0;
    }
    if (a.dir.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    bench::CaseContext context;
    context.paths.dir = a.dir;
    context.plugin = a.plugin;
    if (a.command == "generate") {
        bench::Workload existing;
        if (bench::ReadManifest(context.paths, &existing) && existing == a.work) {
            printf("zipcvx_bench: the workload in %s is up to date\n", a.dir.c_str());
            return 0;
        }
        std::string error;
        if (!bench::Generate(a.work, context.paths, &error)) {
            fprintf(stderr, "zipcvx_bench: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (!bench::ReadManifest(context.paths, &context.work)) {
        fprintf(stderr, "zipcvx_bench: no workload in %s (run generate first)\n", a.dir.c_str());
        return 1;
    }
    if (a.plugin.empty()) {
        fputs(kUsage, stderr);
        return 2;
    }
    bench::gCpuClock = a.cpuClock;
    if (a.command == "case") return bench::RunCaseInProcess(a.id, context);
    if (a.command == "run") {
        bench::RunOptions options;
        options.context = context;
        options.self = Self();
        options.repetitions = a.repetitions;
        options.cpuClock = a.cpuClock;
        options.only = Split(a.only);
        return bench::RunBenchmark(options);
    }
    fputs(kUsage, stderr);
    return 2;
}

// zipcvx_bench: makes the benchmark's archives, runs the cases and prints
// the table. scripts/bench.sh drives it; see docs/performance.md.
#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "bench/bench.h"
#include "host/time_zone.h"

namespace {

const char kUsage[] =
    "usage: zipcvx_bench generate --dir DIR [--size-mib N] [--directories N]\n"
    "       zipcvx_bench run --dir DIR --plugin ZIP.CVX [--repetitions N] [--only ID,...]\n"
    "                        [--clock wall|cpu]\n"
    "       zipcvx_bench case ID --dir DIR --plugin ZIP.CVX   (one in-process sample)\n"
    "       zipcvx_bench list\n";

struct Arguments {
    std::string command, id, dir, plugin, only;
    bench::Workload work;
    int repetitions = 5;
};

bool Parse(int argc, char** argv, Arguments* a) {
    if (argc < 2) return false;
    a->command = argv[1];
    int i = 2;
    if (a->command == "case" && argc > 2) a->id = argv[i++];
    for (; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const char* value = argv[i + 1];
        char* end = nullptr;
        const long long n = strtoll(value, &end, 10);
        const bool number = end != value && *end == '\0' && n > 0;
        if (option == "--dir") {
            a->dir = value;
        } else if (option == "--plugin") {
            a->plugin = value;
        } else if (option == "--only") {
            a->only = value;
        } else if (option == "--clock" && (!strcmp(value, "cpu") || !strcmp(value, "wall"))) {
            bench::gCpuClock = strcmp(value, "cpu") == 0;
        } else if (option == "--repetitions" && number) {
            a->repetitions = static_cast<int>(n);
        } else if (option == "--size-mib" && number) {
            a->work.sizeMiB = n;
        } else if (option == "--directories" && number) {
            a->work.directories = n;
        } else {
            fprintf(stderr, "zipcvx_bench: bad option %s %s\n", option.c_str(), value);
            return false;
        }
    }
    return i == argc && (a->command == "list" || !a->dir.empty());
}

// The child side of an in-process case: runs it (once untimed first for a
// warm case) and reports its time and the process's peak resident memory.
int RunCase(const std::string& id, const bench::CaseContext& context) {
    const bench::Case* c = bench::FindCase(id);
    if (c == nullptr || c->run == nullptr) {
        fprintf(stderr, "no in-process case %s\n", id.c_str());
        return 2;
    }
    cvx::PinLocalTimeZone();  // as the stand-in host does when it starts
    if (c->warm && c->run(context) < 0) return 1;
    const double seconds = c->run(context);
    if (seconds < 0) return 1;
    std::ifstream status("/proc/self/status");
    std::string line;
    long rssKiB = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) rssKiB = atol(line.c_str() + 6);
    }
    printf("seconds %.9f rss %ld\n", seconds, rssKiB);
    return 0;
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
            printf("%-14s %s\n", c.id, c.label);
        return 0;
    }
    bench::CaseContext context;
    context.paths.dir = a.dir;
    context.plugin = a.plugin;
    if (a.command == "generate") {
        bench::Workload existing;
        if (bench::ReadManifest(context.paths, &existing) && existing.sizeMiB == a.work.sizeMiB &&
            existing.directories == a.work.directories) {
            printf("zipcvx_bench: the workload in %s is up to date\n", a.dir.c_str());
            return 0;
        }
        std::string error;
        if (bench::Generate(a.work, context.paths, &error)) return 0;
        fprintf(stderr, "zipcvx_bench: %s\n", error.c_str());
        return 1;
    }
    if (!bench::ReadManifest(context.paths, &context.work)) {
        fprintf(stderr, "zipcvx_bench: no workload in %s (run generate first)\n", a.dir.c_str());
        return 1;
    }
    if (a.command == "case" && !a.plugin.empty()) return RunCase(a.id, context);
    if (a.command == "run" && !a.plugin.empty()) {
        bench::RunOptions options;
        options.context = context;
        char self[PATH_MAX];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        options.self = n > 0 ? std::string(self, static_cast<size_t>(n)) : "zipcvx_bench";
        options.repetitions = a.repetitions;
        std::stringstream only(a.only);
        for (std::string id; std::getline(only, id, ',');) {
            if (!id.empty()) options.only.push_back(id);
        }
        return bench::RunBenchmark(options);
    }
    fputs(kUsage, stderr);
    return 2;
}

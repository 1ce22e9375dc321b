// The benchmark's driver: runs every case as a process of its own, in
// interleaved repetitions, and prints one table of medians, ranges and
// ratios measured in the same run.
//
// Sections: running one sample (spawn, wait, peak memory), the repetitions,
// statistics, targets, and the table.
#include "bench/driver.h"

#include <fcntl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "bench/measure.h"
#include "host/time_zone.h"

extern char** environ;

namespace bench {
namespace {

struct Sample {
    bool ok = false;
    double seconds = 0;     // by the clock the run uses
    double cpuSeconds = 0;  // a tool's user and system time, from the kernel
    double rssMiB = 0;
};

// ------------------------------------------------------------ one sample

bool HaveProgram(const std::string& name) {
    if (name.find('/') != std::string::npos) return access(name.c_str(), X_OK) == 0;
    const char* path = getenv("PATH");
    std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

// Why a case cannot run here, or empty.
std::string Missing(const Case& c) {
    if (c.needs == nullptr) return "";
    const std::string needs = c.needs;
    if (needs == "physfs") return ZIPCVX_BENCH_PHYSFS ? "" : "built without PhysicsFS";
    if (needs == "zzip") return ZIPCVX_BENCH_ZZIP ? "" : "built without zziplib";
    return HaveProgram(needs) ? "" : needs + " not found";
}

std::vector<std::string> Environment(Zone zone) {
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        if (zone == Zone::Unset && strncmp(*e, "TZ=", 3) == 0) continue;
        env.emplace_back(*e);
    }
    return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
    std::vector<char*> pointers;
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    return pointers;
}

// The peak resident memory of a stopped child, from /proc (KiB), or -1.
long PeakResidentKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return atol(line.c_str() + 6);
    }
    return -1;
}

// Runs argv with standard output to outFd and standard error to errFd;
// the wall time from fork to exit, and the child's peak RSS. The kernel's
// own count for a child (wait4's ru_maxrss) starts from what this process
// held when it forked, so the child is traced just enough to be stopped
// on its way out, when its memory's high-water mark can still be read.
Sample Spawn(std::vector<std::string> argv, std::vector<std::string> env, int outFd, int errFd) {
    Sample sample;
    std::vector<char*> args = Pointers(argv);
    std::vector<char*> vars = Pointers(env);
    timespec wall{};
    clock_gettime(CLOCK_MONOTONIC, &wall);
    const double start =
        static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) * 1e-9;
    const pid_t pid = fork();
    if (pid < 0) return sample;
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execvpe(args[0], args.data(), vars.data());
        _exit(127);
    }
    int status = 0;
    long peak = -1;
    bool first = true;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) == pid && WIFSTOPPED(status)) {
        int signal = WSTOPSIG(status);
        if (first && signal == SIGTRAP) {  // stopped at exec
            ptrace(PTRACE_SETOPTIONS, pid, nullptr,
                   reinterpret_cast<void*>(PTRACE_O_TRACEEXIT | PTRACE_O_EXITKILL));
            signal = 0;
        } else if (status >> 8 == (SIGTRAP | (PTRACE_EVENT_EXIT << 8))) {
            peak = PeakResidentKiB(pid);
            signal = 0;
        }
        first = false;
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<intptr_t>(signal)));
    }
    clock_gettime(CLOCK_MONOTONIC, &wall);
    sample.seconds =
        static_cast<double>(wall.tv_sec) + static_cast<double>(wall.tv_nsec) * 1e-9 - start;
    sample.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    // Where the child cannot be traced, the kernel's count is an upper bound.
    sample.rssMiB = static_cast<double>(peak > 0 ? peak : usage.ru_maxrss) / 1024.0;
    sample.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return sample;
}

std::string ReadAll(int fd) {
    std::string text;
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// A scratch file for a child's output, unlinked at once.
int ScratchFile(const std::string& dir) {
    std::string name = dir + "/child-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

Sample RunOnce(const Case& c, const RunOptions& o) {
    const int out =
        c.run != nullptr ? ScratchFile(o.context.paths.dir) : open("/dev/null", O_WRONLY);
    const int err = ScratchFile(o.context.paths.dir);
    std::vector<std::string> argv = c.run != nullptr ? std::vector<std::string>{o.self,
                                                                                "case",
                                                                                c.id,
                                                                                "--dir",
                                                                                o.context.paths.dir,
                                                                                "--plugin",
                                                                                o.context.plugin}
                                                     : c.tool(o.context);
    Sample sample = Spawn(argv, Environment(c.zone), out, err);
    if (o.cpuClock && c.run == nullptr) sample.seconds = sample.cpuSeconds;
    if (sample.ok && c.run != nullptr) {
        // The child times its own work: its start-up is not part of it.
        double seconds = -1;
        sample.ok = sscanf(ReadAll(out).c_str(), "seconds %lf", &seconds) == 1 && seconds >= 0;
        sample.seconds = seconds;
    }
    if (!sample.ok) {
        fprintf(stderr, "%s failed: %s\n", c.id, ReadAll(err).c_str());
    }
    close(out);
    close(err);
    return sample;
}

// Reads a file once so that no case pays for the first read from disk.
void Preload(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    static char buffer[1 << 20];
    while (read(fd, buffer, sizeof buffer) > 0) {
    }
    close(fd);
}

// -------------------------------------------------------------- statistics

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Range {
    double median = NAN, low = NAN, high = NAN;
    bool valid() const { return !std::isnan(median); }
};

Range RangeOf(const std::vector<double>& v) {
    if (v.empty()) return {};
    return {Median(v), *std::min_element(v.begin(), v.end()),
            *std::max_element(v.begin(), v.end())};
}

using Samples = std::map<std::string, std::vector<Sample>>;

std::vector<double> Seconds(const std::vector<Sample>& samples) {
    std::vector<double> v;
    for (const Sample& s : samples) {
        if (s.ok) v.push_back(s.seconds);
    }
    return v;
}

// Ratios of the two rows' times repetition by repetition: speed (other's
// time over own) or time (own over other's).
Range PairedRatio(const Samples& all, const std::string& id, const std::string& other, bool speed) {
    auto a = all.find(id);
    auto b = all.find(other);
    if (a == all.end() || b == all.end()) return {};
    std::vector<double> ratios;
    for (size_t i = 0; i < a->second.size() && i < b->second.size(); ++i) {
        const Sample& own = a->second[i];
        const Sample& base = b->second[i];
        if (!own.ok || !base.ok || own.seconds <= 0 || base.seconds <= 0) continue;
        ratios.push_back(speed ? base.seconds / own.seconds : own.seconds / base.seconds);
    }
    return RangeOf(ratios);
}

double PeakRss(const std::vector<Sample>& samples) {
    double peak = 0;
    for (const Sample& s : samples)
        peak = std::max(peak, s.ok ? s.rssMiB : 0.0);
    return peak;
}

// ----------------------------------------------------------------- targets

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string ShortLabel(const char* id) {
    const Case* c = FindCase(id);
    return c != nullptr ? c->label : id;
}

std::string Judge(const Target& t, const Samples& all, const Workload& w, bool* met) {
    const Case* own = FindCase(t.id);
    std::string text;
    double value = NAN;
    bool ok = false;
    switch (t.goal) {
        case Goal::SpeedAtLeast:
            value = PairedRatio(all, t.id, t.other, true).median;
            ok = value >= t.value;
            text =
                Format("speed >= %.2fx ", t.value) + ShortLabel(t.other) + Format(": %.2fx", value);
            break;
        case Goal::TimeAtMost:
            value = PairedRatio(all, t.id, t.other, false).median;
            ok = value <= t.value;
            text =
                Format("time <= %.2fx ", t.value) + ShortLabel(t.other) + Format(": %.3fx", value);
            break;
        case Goal::MBPerSecAtLeast: {
            const double seconds = Median(Seconds(all.at(t.id)));
            value = static_cast<double>(own->bytes(w)) / seconds / 1e6;
            ok = value >= t.value;
            text = Format(">= %.0f MB/s: %.0f MB/s", t.value, value);
            break;
        }
        case Goal::RssNotAbove: {
            const double mine = PeakRss(all.at(t.id));
            const double theirs = PeakRss(all.at(t.other));
            value = mine - theirs;
            ok = mine > 0 && theirs > 0 && value <= t.value;
            text = Format("peak RSS within %.0f MiB of ", t.value) + ShortLabel(t.other) +
                   Format(": %+.1f MiB", value);
            break;
        }
    }
    if (std::isnan(value)) ok = false;
    *met = ok;
    return text + (ok ? " (met)" : " (MISSED)");
}

// ------------------------------------------------------------------- table

std::string Duration(double seconds) {
    if (std::isnan(seconds)) return "-";
    if (seconds >= 1) return Format("%.3f s", seconds);
    if (seconds >= 1e-3) return Format("%.2f ms", seconds * 1e3);
    return Format("%.1f us", seconds * 1e6);
}

std::string DurationRange(const Range& r) {
    if (!r.valid()) return "-";
    return Duration(r.low) + " - " + Duration(r.high);
}

std::string FirstLine(const char* path, const char* key) {
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            const size_t colon = line.find(':');
            return colon == std::string::npos ? line : line.substr(colon + 2);
        }
    }
    return "?";
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

void PrintMachine(const RunOptions& o) {
    utsname u{};
    uname(&u);
    const Workload& w = o.context.work;
    printf("# zip.cvx benchmark\n\n");
    const double memoryGiB = atof(FirstLine("/proc/meminfo", "MemTotal").c_str()) / 1024 / 1024;
    printf("- machine: %ld cores (nproc), CPU \"%s\", %.1f GiB memory, Linux %s\n",
           sysconf(_SC_NPROCESSORS_ONLN), FirstLine("/proc/cpuinfo", "model name").c_str(),
           memoryGiB, u.release);
    printf("- libzip %s, compiler %s, TZ %s\n", zip_libzip_version(), __VERSION__,
           getenv("TZ") != nullptr ? getenv("TZ") : "(unset)");
    printf(
        "- workload: %lld MiB entry (and a %lld MiB copy), %lld entries in %lld directories, "
        "%lld added files of %lld bytes\n",
        static_cast<long long>(w.sizeMiB), static_cast<long long>(w.SmallBytes() >> 20),
        static_cast<long long>(w.Entries()), static_cast<long long>(w.directories),
        static_cast<long long>(w.addedFiles), static_cast<long long>(w.addedFileBytes));
    printf("- %d interleaved repetitions, timed by %s; load average before: %s\n\n", o.repetitions,
           o.cpuClock ? "CPU time (user + system; a tool's whole process)"
                      : "the wall clock (a tool's whole process, from fork to exit)",
           LoadAverage().c_str());
}

bool Selected(const Case& c, const RunOptions& o) {
    if (o.only.empty()) return true;
    for (const std::string& prefix : o.only) {
        if (std::string(c.id).rfind(prefix, 0) == 0) return true;
    }
    return false;
}

void PrintTable(const RunOptions& o, const std::vector<const Case*>& cases, const Samples& all,
                const std::map<std::string, std::string>& missing) {
    const Workload& w = o.context.work;
    printf("| Case | Median | Min - max | MB/s | vs baseline: median (min - max) | Peak RSS |\n");
    printf("|---|---:|---:|---:|---|---:|\n");
    std::string section;
    for (const Case* c : cases) {
        if (section != c->section) {
            section = c->section;
            printf("| **%s** | | | | | |\n", section.c_str());
        }
        auto why = missing.find(c->id);
        if (why != missing.end()) {
            printf("| %s | n/a: %s | | | | |\n", c->label, why->second.c_str());
            continue;
        }
        const std::vector<double> seconds = Seconds(all.at(c->id));
        const Range r = RangeOf(seconds);
        const std::string rate =
            c->bytes != nullptr && r.valid()
                ? Format("%.0f", static_cast<double>(c->bytes(w)) / r.median / 1e6)
                : "";
        std::string versus;
        if (c->baseline != nullptr) {
            const Range ratio = PairedRatio(all, c->id, c->baseline, c->speed);
            versus = ratio.valid() ? Format(c->speed ? "speed %.2fx (%.2f - %.2f)"
                                                     : "time %.3fx (%.3f - %.3f)",
                                            ratio.median, ratio.low, ratio.high)
                                   : "-";
        }
        const std::string failed =
            seconds.size() < all.at(c->id).size()
                ? Format(" (%.0f failed)",
                         static_cast<double>(all.at(c->id).size() - seconds.size()))
                : "";
        printf("| %s | %s%s | %s | %s | %s | %.1f MiB |\n", c->label, Duration(r.median).c_str(),
               failed.c_str(), DurationRange(r).c_str(), rate.c_str(), versus.c_str(),
               PeakRss(all.at(c->id)));
    }
}

void PrintTargets(const std::vector<const Case*>& cases, const Samples& all, const Workload& w,
                  const std::map<std::string, std::string>& missing) {
    auto present = [&](const char* id) {
        if (id == nullptr) return true;
        bool selected = false;
        for (const Case* c : cases)
            selected = selected || std::string(c->id) == id;
        return selected && missing.count(id) == 0;
    };
    printf("\n| Target | Result |\n|---|---|\n");
    for (const Target& t : AllTargets()) {
        if (!present(t.id) || !present(t.other)) continue;
        bool met = false;
        const std::string result = Judge(t, all, w, &met);
        printf("| %s | %s |\n", ShortLabel(t.id).c_str(), result.c_str());
    }
}

void WriteSamples(const RunOptions& o, const std::vector<const Case*>& cases, const Samples& all) {
    std::ofstream out(o.context.paths.dir + "/results.tsv");
    out << "case\trepetition\tok\tseconds\tpeak_rss_mib\n";
    for (const Case* c : cases) {
        auto it = all.find(c->id);
        if (it == all.end()) continue;
        for (size_t i = 0; i < it->second.size(); ++i) {
            const Sample& s = it->second[i];
            out << c->id << '\t' << i + 1 << '\t' << s.ok << '\t' << s.seconds << '\t' << s.rssMiB
                << '\n';
        }
    }
}

}  // namespace

int RunBenchmark(const RunOptions& o) {
    std::vector<const Case*> cases;
    std::map<std::string, std::string> missing;
    for (const Case& c : AllCases()) {
        if (!Selected(c, o)) continue;
        cases.push_back(&c);
        const std::string why = Missing(c);
        if (!why.empty()) missing[c.id] = why;
    }
    PrintMachine(o);
    fflush(stdout);
    const Paths& p = o.context.paths;
    for (const std::string& path : {p.BigDeflated(), p.BigStored(), p.SmallDeflated(), p.Many()}) {
        Preload(path);
    }

    Samples all;
    bool failed = false;
    for (int r = 0; r < o.repetitions; ++r) {
        for (const Case* c : cases) {
            if (missing.count(c->id) != 0) continue;
            if (c->maxRepetitions > 0 && r >= c->maxRepetitions) continue;
            const Sample s = RunOnce(*c, o);
            failed = failed || !s.ok;
            all[c->id].push_back(s);
        }
        fprintf(stderr, "repetition %d of %d done\n", r + 1, o.repetitions);
    }
    PrintTable(o, cases, all, missing);
    PrintTargets(cases, all, o.context.work, missing);
    printf("\nload average after: %s\n", LoadAverage().c_str());
    WriteSamples(o, cases, all);
    return failed ? 1 : 0;
}

int RunCaseInProcess(const std::string& id, const CaseContext& context) {
    const Case* c = FindCase(id);
    if (c == nullptr || c->run == nullptr) {
        fprintf(stderr, "no in-process case %s\n", id.c_str());
        return 2;
    }
    // Bare libzip runs under the same zone setting as the stand-in host,
    // which pins it when it starts; the Unset rows show what that saves.
    if (c->zone == Zone::Pinned) cvx::PinLocalTimeZone();
    if (c->warm && c->run(context) < 0) return 1;
    const double seconds = c->run(context);
    if (seconds < 0) return 1;
    printf("seconds %.9f\n", seconds);
    return 0;
}

}  // namespace bench

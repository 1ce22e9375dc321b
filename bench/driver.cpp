// The benchmark's driver: runs every case as a process of its own, in
// interleaved repetitions, and prints one table of medians, ranges and
// ratios measured in the same run, then the targets.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <fstream>
#include <map>

#include "bench/bench.h"

namespace bench {
namespace {

struct Sample {
    bool ok = false;
    double seconds = 0;
    double rssMiB = 0;  // peak resident memory
};
using Samples = std::map<std::string, std::vector<Sample>>;

// A scratch file for a child's output, unlinked at once.
int ScratchFile(const std::string& dir) {
    std::string name = dir + "/child-XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd >= 0) unlink(name.c_str());
    return fd;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    lseek(fd, 0, SEEK_SET);
    while ((n = read(fd, buffer, sizeof buffer)) > 0)
        text.append(buffer, static_cast<size_t>(n));
    return text;
}

// Runs one case in a child process. An in-process case times its own work
// and reports its peak memory ("seconds S rss KiB"); a tool is timed from
// fork to exit (or by the CPU time the kernel counts for it) and its peak
// memory is the kernel's count for the child.
Sample RunOnce(const Case& c, const RunOptions& o) {
    const Paths& p = o.context.paths;
    std::vector<std::string> argv =
        c.run != nullptr
            ? std::vector<std::string>{o.self,           "case",    c.id,
                                       "--dir",          p.dir,     "--plugin",
                                       o.context.plugin, "--clock", gCpuClock ? "cpu" : "wall"}
            : c.tool(o.context);
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const int out = c.run != nullptr ? ScratchFile(p.dir) : open("/dev/null", O_WRONLY);
    const int err = ScratchFile(p.dir);
    Sample s;
    const double start = Now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
        s.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        s.seconds =
            gCpuClock
                ? static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6
                : Now() - start;
        s.rssMiB = static_cast<double>(usage.ru_maxrss) / 1024;
    }
    if (s.ok && c.run != nullptr) {
        long rssKiB = 0;
        s.ok = sscanf(ReadAll(out).c_str(), "seconds %lf rss %ld", &s.seconds, &rssKiB) == 2;
        s.rssMiB = static_cast<double>(rssKiB) / 1024;
    }
    if (!s.ok) fprintf(stderr, "%s failed: %s\n", c.id, ReadAll(err).c_str());
    close(out);
    close(err);
    return s;
}

struct Range {
    double median = NAN, low = NAN, high = NAN;
};

Range RangeOf(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return {n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2, v.front(), v.back()};
}

Range SecondsOf(const std::vector<Sample>& samples) {
    std::vector<double> v;
    for (const Sample& s : samples)
        if (s.ok) v.push_back(s.seconds);
    return RangeOf(v);
}

// Ratios of two rows' times, repetition by repetition: speed (other's time
// over own) or time (own over other's).
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

double PeakRss(const Samples& all, const std::string& id) {
    double peak = 0;
    for (const Sample& s : all.at(id))
        peak = std::max(peak, s.ok ? s.rssMiB : 0.0);
    return peak;
}

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    char text[200];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Duration(double seconds) {
    if (std::isnan(seconds)) return "-";
    if (seconds >= 1) return Format("%.3f s", seconds);
    return seconds >= 1e-3 ? Format("%.2f ms", seconds * 1e3) : Format("%.1f us", seconds * 1e6);
}

std::string Judge(const Target& t, const Samples& all, const Workload& w) {
    const std::string other = t.other != nullptr ? FindCase(t.other)->label : "";
    std::string text;
    double value = NAN;
    bool ok = false;
    switch (t.goal) {
        case Goal::SpeedAtLeast:
            value = PairedRatio(all, t.id, t.other, true).median;
            ok = value >= t.value;
            text = Format("speed >= %.2fx %s: %.2fx", t.value, other.c_str(), value);
            break;
        case Goal::TimeAtMost:
            value = PairedRatio(all, t.id, t.other, false).median;
            ok = value <= t.value;
            text = Format("time <= %.2fx %s: %.3fx", t.value, other.c_str(), value);
            break;
        case Goal::MBPerSecAtLeast:
            value = static_cast<double>(FindCase(t.id)->bytes(w)) / SecondsOf(all.at(t.id)).median /
                    1e6;
            ok = value >= t.value;
            text = Format(">= %.0f MB/s: %.0f MB/s", t.value, value);
            break;
        case Goal::RssNotAbove: {
            const double mine = PeakRss(all, t.id), theirs = PeakRss(all, t.other);
            value = mine - theirs;
            ok = mine > 0 && theirs > 0 && value <= t.value;
            text =
                Format("peak RSS within %.0f MiB of %s: %+.1f MiB", t.value, other.c_str(), value);
            break;
        }
    }
    return text + (ok && !std::isnan(value) ? " (met)" : " (MISSED)");
}

std::string Proc(const char* file, const char* key) {
    std::ifstream in(std::string("/proc/") + file);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) return line.substr(line.find(':') + 1);
    }
    return line;  // /proc/loadavg: its only line
}

void PrintMachine(const RunOptions& o) {
    utsname u{};
    uname(&u);
    const Workload& w = o.context.work;
    printf("# zip.cvx benchmark\n\n- %ld cores,%s, memory%s, Linux %s, libzip %s, g++ %s\n",
           sysconf(_SC_NPROCESSORS_ONLN), Proc("cpuinfo", "model name").c_str(),
           Proc("meminfo", "MemTotal").c_str(), u.release, zip_libzip_version(), __VERSION__);
    printf("- %lld MiB entry (and a %lld MiB copy), %lld entries in %lld directories\n",
           static_cast<long long>(w.sizeMiB), static_cast<long long>(w.SmallBytes() >> 20),
           static_cast<long long>(w.Entries()), static_cast<long long>(w.directories));
    printf("- %d interleaved repetitions, timed by %s; load average before: %s\n\n", o.repetitions,
           gCpuClock ? "CPU time" : "the wall clock", Proc("loadavg", "").c_str());
}

void PrintTable(const RunOptions& o, const std::vector<const Case*>& cases, const Samples& all) {
    printf("| Case | Median | Min - max | MB/s | vs baseline: median (min - max) | Peak RSS |\n");
    printf("|---|---:|---:|---:|---|---:|\n");
    std::string section;
    for (const Case* c : cases) {
        if (section != c->section) printf("| **%s** | | | | | |\n", (section = c->section).c_str());
        const Range r = SecondsOf(all.at(c->id));
        std::string rate, versus;
        if (c->bytes != nullptr && !std::isnan(r.median)) {
            rate = Format("%.0f", static_cast<double>(c->bytes(o.context.work)) / r.median / 1e6);
        }
        if (c->baseline != nullptr) {
            const Range x = PairedRatio(all, c->id, c->baseline, c->speed);
            versus = Format(c->speed ? "speed %.2fx (%.2f - %.2f)" : "time %.3fx (%.3f - %.3f)",
                            x.median, x.low, x.high);
        }
        printf("| %s | %s | %s - %s | %s | %s | %.1f MiB |\n", c->label, Duration(r.median).c_str(),
               Duration(r.low).c_str(), Duration(r.high).c_str(), rate.c_str(), versus.c_str(),
               PeakRss(all, c->id));
    }
}

void PrintTargets(const Samples& all, const Workload& w) {
    printf("\n| Target | Result |\n|---|---|\n");
    for (const Target& t : AllTargets()) {
        if (all.count(t.id) == 0 || (t.other != nullptr && all.count(t.other) == 0)) continue;
        printf("| %s | %s |\n", FindCase(t.id)->label, Judge(t, all, w).c_str());
    }
}

bool Selected(const Case& c, const RunOptions& o) {
    for (const std::string& prefix : o.only) {
        if (std::string(c.id).rfind(prefix, 0) == 0) return true;
    }
    return o.only.empty();
}

}  // namespace

int RunBenchmark(const RunOptions& o) {
    std::vector<const Case*> cases;
    for (const Case& c : AllCases()) {
        if (!Selected(c, o)) continue;
        cases.push_back(&c);
    }
    PrintMachine(o);
    fflush(stdout);
    // Every archive is read once first, so that no case pays for the disk.
    const Paths& p = o.context.paths;
    for (const std::string& path : {p.BigDeflated(), p.BigStored(), p.SmallDeflated(), p.Many()}) {
        std::ifstream in(path, std::ios::binary);
        std::vector<char> buffer(1 << 20);
        while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()))) {
        }
    }
    Samples all;
    bool failed = false;
    for (int r = 0; r < o.repetitions; ++r) {
        for (const Case* c : cases) {
            if (c->maxRepetitions > 0 && r >= c->maxRepetitions) continue;
            all[c->id].push_back(RunOnce(*c, o));
            failed = failed || !all[c->id].back().ok;
        }
        fprintf(stderr, "repetition %d of %d done\n", r + 1, o.repetitions);
    }
    PrintTable(o, cases, all);
    PrintTargets(all, o.context.work);
    printf("\nload average after: %s\n", Proc("loadavg", "").c_str());
    return failed ? 1 : 0;
}

}  // namespace bench

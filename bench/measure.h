// Small helpers shared by the in-process runs: a clock, the backward-seek
// pattern that every reader follows, and failure reporting.
#ifndef ZIPCVX_BENCH_MEASURE_H
#define ZIPCVX_BENCH_MEASURE_H

#include <time.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace bench {

// Which clock the cases read: the wall clock (the default), or the
// process's CPU time (user and system, page faults included), which other
// processes on a busy machine disturb far less.
inline bool gCpuClock = false;

inline double Now() {
    timespec t{};
    clock_gettime(gCpuClock ? CLOCK_PROCESS_CPUTIME_ID : CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Reports why a run failed; the run then returns this value.
inline double Failed(const std::string& why) {
    fprintf(stderr, "%s\n", why.c_str());
    return -1.0;
}

inline constexpr int32_t kBlock64k = 65536;
inline constexpr int32_t kBlock4k = 4096;

// The backward-seek pattern: read forward in 64 KiB calls and, each time
// another `period` bytes have been read, seek back `back` bytes and read
// them again before going on: 31 backward seeks over the entry, 1 MiB each
// for entries of 64 MiB and more.
struct SeekPattern {
    int64_t period;
    int64_t back;
    int64_t seeks;

    static SeekPattern For(int64_t size) {
        const int64_t period = size / 32 / kBlock64k * kBlock64k;
        const int64_t back = period / 2 < (1 << 20) ? period / 2 : (1 << 20);
        return SeekPattern{period, back, period > 0 ? (size - 1) / period : 0};
    }
    int64_t Bytes(int64_t size) const { return size + seeks * back; }

    // Follows the pattern with read(buffer, count) -> bytes read and
    // seek(position) -> success; returns the bytes delivered, or -1.
    template <typename Read, typename Seek>
    int64_t Run(int64_t size, char* buffer, Read read, Seek seek) const {
        int64_t position = 0;
        int64_t delivered = 0;
        int64_t mark = period > 0 ? period : size;
        auto readTo = [&](int64_t end) {
            while (position < end) {
                const int64_t want = end - position < kBlock64k ? end - position : kBlock64k;
                const int64_t got = read(buffer, static_cast<int32_t>(want));
                if (got != want) return false;
                position += got;
                delivered += got;
            }
            return true;
        };
        while (position < size) {
            const int64_t end = mark < size ? mark : size;
            if (!readTo(end)) return -1;
            if (period > 0 && position == mark && position < size) {
                const int64_t again = position;
                position -= back;
                if (!seek(position) || !readTo(again)) return -1;
                mark += period;
            }
        }
        return delivered;
    }
};

}  // namespace bench

#endif

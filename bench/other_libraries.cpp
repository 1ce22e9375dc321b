// Archive libraries that a host could use instead of zip.cvx: PhysicsFS
// (an archive file system with mounts) and zziplib (zip entries as files).
// Each run does the whole job, from mounting or opening to closing.
#include <vector>

#include "bench/cases.h"
#include "bench/measure.h"

#if ZIPCVX_BENCH_PHYSFS
#include <physfs.h>
#endif
#if ZIPCVX_BENCH_ZZIP
#include <zzip/zzip.h>
#endif

namespace bench {
namespace {

[[maybe_unused]] double NotBuilt(const char* library) {
    return Failed(std::string("built without ") + library);
}

#if ZIPCVX_BENCH_PHYSFS
// PhysicsFS with one archive mounted at its root for as long as it lives.
class Mount {
  public:
    explicit Mount(const std::string& archive) {
        ok_ = PHYSFS_init("zipcvx_bench") != 0 && PHYSFS_mount(archive.c_str(), nullptr, 0) != 0;
        if (!ok_)
            fprintf(stderr, "PhysicsFS: %s\n", PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()));
    }
    ~Mount() { PHYSFS_deinit(); }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    bool ok() const { return ok_; }

  private:
    bool ok_ = false;
};

double PhysfsRead(const CaseContext& c, int32_t block) {
    std::vector<char> buffer(static_cast<size_t>(block));
    const double start = Now();
    int64_t total = 0;
    {
        Mount mount(c.paths.BigDeflated());
        if (!mount.ok()) return -1.0;
        PHYSFS_File* file = PHYSFS_openRead(kBigEntry);
        if (file == nullptr) return Failed("PHYSFS_openRead failed");
        PHYSFS_sint64 n;
        while ((n = PHYSFS_readBytes(file, buffer.data(), static_cast<PHYSFS_uint64>(block))) > 0)
            total += n;
        PHYSFS_close(file);
    }
    const double seconds = Now() - start;
    if (total != c.work.BigBytes()) return Failed("PHYSFS_readBytes delivered too little");
    return seconds;
}

PHYSFS_EnumerateCallbackResult CountName(void* count, const char*, const char*) {
    ++*static_cast<int64_t*>(count);
    return PHYSFS_ENUM_OK;
}

double PhysfsList(const CaseContext& c, const std::string& dir, int64_t expected) {
    int64_t count = 0;
    const double start = Now();
    {
        Mount mount(c.paths.Many());
        if (!mount.ok()) return -1.0;
        if (PHYSFS_enumerate(dir.c_str(), CountName, &count) == 0) {
            return Failed("PHYSFS_enumerate failed");
        }
    }
    const double seconds = Now() - start;
    if (count != expected) return Failed("PhysicsFS listed " + std::to_string(count));
    return seconds;
}
#endif

#if ZIPCVX_BENCH_ZZIP
double ZzipRun(const CaseContext& c, int32_t block, bool seeks) {
    std::vector<char> buffer(static_cast<size_t>(block));
    const SeekPattern pattern = SeekPattern::For(c.work.BigBytes());
    const double start = Now();
    zzip_error_t error = ZZIP_NO_ERROR;
    ZZIP_DIR* dir = zzip_dir_open(c.paths.BigDeflated().c_str(), &error);
    if (dir == nullptr) return Failed("zzip_dir_open failed");
    ZZIP_FILE* file = zzip_file_open(dir, kBigEntry, 0);
    if (file == nullptr) {
        zzip_dir_close(dir);
        return Failed("zzip_file_open failed");
    }
    int64_t total = 0;
    if (seeks) {
        total = pattern.Run(
            c.work.BigBytes(), buffer.data(),
            [&](char* to, int32_t n) {
                return static_cast<int64_t>(zzip_file_read(file, to, static_cast<zzip_size_t>(n)));
            },
            [&](int64_t position) {
                return zzip_seek(file, static_cast<zzip_off_t>(position), SEEK_SET) == position;
            });
    } else {
        zzip_ssize_t n;
        while ((n = zzip_file_read(file, buffer.data(), static_cast<zzip_size_t>(block))) > 0)
            total += n;
    }
    zzip_file_close(file);
    zzip_dir_close(dir);
    const double seconds = Now() - start;
    const int64_t expected = seeks ? pattern.Bytes(c.work.BigBytes()) : c.work.BigBytes();
    if (total != expected) return Failed("zziplib delivered too little");
    return seconds;
}
#endif

}  // namespace

#if ZIPCVX_BENCH_PHYSFS
double PhysfsRead64k(const CaseContext& c) {
    return PhysfsRead(c, kBlock64k);
}

double PhysfsRead4k(const CaseContext& c) {
    return PhysfsRead(c, kBlock4k);
}

// PhysicsFS restarts decompression from the entry's start for every
// backward seek in a deflated entry.
double PhysfsSeekPattern(const CaseContext& c) {
    std::vector<char> buffer(kBlock64k);
    const SeekPattern pattern = SeekPattern::For(c.work.BigBytes());
    const double start = Now();
    int64_t delivered = 0;
    {
        Mount mount(c.paths.BigDeflated());
        if (!mount.ok()) return -1.0;
        PHYSFS_File* file = PHYSFS_openRead(kBigEntry);
        if (file == nullptr) return Failed("PHYSFS_openRead failed");
        delivered = pattern.Run(
            c.work.BigBytes(), buffer.data(),
            [&](char* to, int32_t n) {
                return static_cast<int64_t>(
                    PHYSFS_readBytes(file, to, static_cast<PHYSFS_uint64>(n)));
            },
            [&](int64_t position) {
                return PHYSFS_seek(file, static_cast<PHYSFS_uint64>(position)) != 0;
            });
        PHYSFS_close(file);
    }
    const double seconds = Now() - start;
    if (delivered != pattern.Bytes(c.work.BigBytes())) return Failed("seek pattern failed");
    return seconds;
}

double PhysfsStatFile(const CaseContext& c) {
    const std::string name = LastFile(c.work);
    PHYSFS_Stat stat{};
    const double start = Now();
    int found = 0;
    {
        Mount mount(c.paths.Many());
        if (!mount.ok()) return -1.0;
        found = PHYSFS_stat(name.c_str(), &stat);
    }
    const double seconds = Now() - start;
    if (found == 0 || stat.filetype != PHYSFS_FILETYPE_REGULAR) return Failed("PHYSFS_stat missed");
    return seconds;
}

double PhysfsListRoot(const CaseContext& c) {
    return PhysfsList(c, "/", c.work.directories);
}

#else
double PhysfsRead64k(const CaseContext&) {
    return NotBuilt("PhysicsFS");
}
double PhysfsRead4k(const CaseContext&) {
    return NotBuilt("PhysicsFS");
}
double PhysfsSeekPattern(const CaseContext&) {
    return NotBuilt("PhysicsFS");
}
double PhysfsStatFile(const CaseContext&) {
    return NotBuilt("PhysicsFS");
}
double PhysfsListRoot(const CaseContext&) {
    return NotBuilt("PhysicsFS");
}
#endif

#if ZIPCVX_BENCH_ZZIP
double ZzipRead64k(const CaseContext& c) {
    return ZzipRun(c, kBlock64k, false);
}

double ZzipRead4k(const CaseContext& c) {
    return ZzipRun(c, kBlock4k, false);
}

// zziplib, like PhysicsFS, decompresses again from the start to go back.
double ZzipSeekPattern(const CaseContext& c) {
    return ZzipRun(c, kBlock64k, true);
}
#else
double ZzipRead64k(const CaseContext&) {
    return NotBuilt("zziplib");
}
double ZzipRead4k(const CaseContext&) {
    return NotBuilt("zziplib");
}
double ZzipSeekPattern(const CaseContext&) {
    return NotBuilt("zziplib");
}
#endif

}  // namespace bench

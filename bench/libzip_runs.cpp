// Bare libzip: what a program that uses the library directly would write.
// These are the limits the plugin is measured against.
#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <cstring>
#include <vector>

#include "bench/cases.h"
#include "bench/measure.h"

namespace bench {
namespace {

// A sink the compiler cannot drop.
volatile uint64_t gSink = 0;

// zip_fopen_index + zip_fread in blocks of `block` bytes, each block
// written to fd when fd >= 0; the whole from zip_open to zip_discard.
double ReadEntry(const std::string& path, int32_t block, int fd, int64_t expected) {
    std::vector<char> buffer(static_cast<size_t>(block));
    const double start = Now();
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed: " + path);
    zip_file_t* entry = zip_fopen_index(archive, 0, 0);
    if (entry == nullptr) {
        zip_discard(archive);
        return Failed("zip_fopen_index failed: " + path);
    }
    int64_t total = 0;
    zip_int64_t n;
    while ((n = zip_fread(entry, buffer.data(), static_cast<zip_uint64_t>(block))) > 0) {
        if (fd >= 0 && write(fd, buffer.data(), static_cast<size_t>(n)) != n) break;
        total += n;
    }
    zip_fclose(entry);
    zip_discard(archive);
    const double seconds = Now() - start;
    if (n < 0 || total != expected) return Failed("short read: " + path);
    return seconds;
}

double ExtractToNull(const std::string& path, int64_t expected) {
    const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Failed("cannot open /dev/null");
    const double seconds = ReadEntry(path, kBlock64k, fd, expected);
    close(fd);
    return seconds;
}

double StatName(const CaseContext& c, const std::string& name) {
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    zip_stat_t entry;
    const bool found = zip_stat(archive, name.c_str(), ZIP_FL_NOCASE, &entry) == 0;
    zip_discard(archive);
    const double seconds = Now() - start;
    if (!found) return Failed("zip_stat found no " + name);
    gSink = gSink + entry.size;
    return seconds;
}

double Locate(const CaseContext& c, zip_flags_t flags) {
    const std::string name = LastFile(c.work);
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    const zip_int64_t index = zip_name_locate(archive, name.c_str(), flags);
    zip_discard(archive);
    const double seconds = Now() - start;
    if (index != c.work.Entries() - 1) return Failed("zip_name_locate missed " + name);
    return seconds;
}

}  // namespace

double RawExtractDeflated(const CaseContext& c) {
    return ExtractToNull(c.paths.BigDeflated(), c.work.BigBytes());
}

double RawExtractStored(const CaseContext& c) {
    return ExtractToNull(c.paths.BigStored(), c.work.BigBytes());
}

double RawRead64k(const CaseContext& c) {
    return ReadEntry(c.paths.BigDeflated(), kBlock64k, -1, c.work.BigBytes());
}

double RawRead4k(const CaseContext& c) {
    return ReadEntry(c.paths.BigDeflated(), kBlock4k, -1, c.work.BigBytes());
}

double BareOpen(const CaseContext& c) {
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    zip_discard(archive);
    const double seconds = Now() - start;
    if (count != c.work.Entries()) return Failed("unexpected entry count");
    return seconds;
}

double BareStatFile(const CaseContext& c) {
    return StatName(c, LastFile(c.work));
}

// zip_open and one walk over the names, finding each one's first '/':
// the least that a listing of the root has to do.
double BareWalkNames(const CaseContext& c) {
    const double start = Now();
    zip_t* archive = zip_open(c.paths.Many().c_str(), ZIP_RDONLY, nullptr);
    if (archive == nullptr) return Failed("zip_open failed");
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    uint64_t slashes = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(archive, static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr && strchr(name, '/') != nullptr) ++slashes;
    }
    zip_discard(archive);
    const double seconds = Now() - start;
    gSink = gSink + slashes;
    return seconds;
}

double BareLocate(const CaseContext& c) {
    return Locate(c, 0);
}

double BareLocateNoCase(const CaseContext& c) {
    return Locate(c, ZIP_FL_NOCASE);
}

// zip_open of a new archive, zip_file_add of every file from its path,
// zip_close: the whole of writing the archive.
double BareAddAndClose(const CaseContext& c) {
    const std::string out = c.paths.Output("bare");
    unlink(out.c_str());
    const double start = Now();
    zip_t* archive = zip_open(out.c_str(), ZIP_CREATE | ZIP_TRUNCATE, nullptr);
    if (archive == nullptr) return Failed("cannot create " + out);
    for (int64_t i = 0; i < c.work.addedFiles; ++i) {
        const std::string path = c.paths.AddedFile(i);
        zip_source_t* source = zip_source_file(archive, path.c_str(), 0, -1);
        const char* name = strrchr(path.c_str(), '/') + 1;
        if (source == nullptr || zip_file_add(archive, name, source, 0) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return Failed("cannot add " + path);
        }
    }
    const bool written = zip_close(archive) == 0;
    const double seconds = Now() - start;
    if (!written) {
        zip_discard(archive);
        return Failed("zip_close failed");
    }
    unlink(out.c_str());
    return seconds;
}

// What a second pass over a cached entry cannot beat: the same bytes copied
// out of memory in 64 KiB calls.
double MemcpyPass(const CaseContext& c) {
    const auto size = static_cast<size_t>(c.work.BigBytes());
    std::vector<char> cache(size, 'x');  // touched before the clock starts
    std::vector<char> buffer(kBlock64k);
    const double start = Now();
    for (size_t at = 0; at < size; at += kBlock64k) {
        const size_t n = size - at < kBlock64k ? size - at : kBlock64k;
        memcpy(buffer.data(), cache.data() + at, n);
        asm volatile("" : : "r"(buffer.data()) : "memory");
    }
    const double seconds = Now() - start;
    gSink = gSink + static_cast<unsigned char>(buffer[0]);
    return seconds;
}

}  // namespace bench

// Sub-table 4: host files over POSIX descriptors. A handle is the address
// of the host's own record, so an unknown or closed handle is recognised.
//
// The host never blocks or dies on a file: a file is opened without
// waiting (a FIFO without a writer would block an ordinary open), only
// regular files are opened for reading, and no C++ exception leaves a
// service (its callers are plugin and libzip frames): the host's own memory
// running short is the service's failure.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "host/conversions.h"
#include "host/host_state.h"
#include "host/services.h"
#include "host/source_names.h"

namespace cvx {
namespace {

OpenHostFile* Find(HostFile handle, const char* service) {
    auto it = H().files.find(handle);
    if (it != H().files.end()) return it->second.get();
    H().violations.push_back(std::string(service) + " on a handle that is not open");
    return nullptr;
}

// The descriptor for path in mode, or -1. Reading takes regular files
// only: a directory, FIFO or device is not a file the host can read (a
// FIFO would block it, a device never end).
int OpenDescriptor(const char* path, int32_t mode, int64_t* base) {
    if (mode == kOpenWrite) {
        const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0644);
        // Opened: writes may wait like any writes (a pipe with a reader).
        if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
    }
    if (mode != kOpenRead && mode != (kOpenRead | kOpenReadFlag8)) return -1;
    int fd = OpenSourceName(path, base);
    if (fd == -2) fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd >= 0 && (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))) {
        close(fd);
        return -1;
    }
    return fd;
}

HostFile OpenFile(const char* path, int32_t mode) try {
    H().Log("OpenFile(%s,%d)", path, mode);
    if (H().ShouldFail(Fault::OpenFile)) return 0;
    auto record = std::make_unique<OpenHostFile>();
    record->path = path;
    int64_t base = 0;
    const int fd = OpenDescriptor(path, mode, &base);
    if (fd < 0) return 0;
    record->fd = fd;
    record->mode = mode;
    record->base = base;
    record->readAhead = mode != kOpenWrite;
    record->position = lseek(fd, 0, SEEK_CUR);  // base, for data inside another file
    const auto handle = reinterpret_cast<uintptr_t>(record.get());
    try {
        H().files[handle] = std::move(record);
    } catch (...) {
        close(fd);
        throw;
    }
    return handle;
} catch (...) {
    return 0;
}

void CloseFile(HostFile handle) try {
    H().Log("CloseFile");
    OpenHostFile* file = Find(handle, "CloseFile");
    if (file == nullptr) return;
    close(file->fd);
    H().files.erase(handle);
} catch (...) {
}

// The position of a file read ahead is the host's own; any other file's is
// its descriptor's.
int64_t SeekFile(HostFile handle, int64_t offset, int32_t mode) try {
    H().Log("SeekFile(%" PRId64 ",%d)", offset, mode);
    OpenHostFile* file = Find(handle, "SeekFile");
    if (file == nullptr) return -1;
    if (H().ShouldFail(Fault::SeekFile)) return -1;
    if (mode != kSeekStart && mode != kSeekEnd && mode != kSeekCurrent) return -1;
    // Positions count from the file's base: data inside another file
    // starts at 0 like any file.
    const int64_t current = file->readAhead ? file->position : lseek(file->fd, 0, SEEK_CUR);
    if (current < 0) return -1;
    int64_t from = current;
    if (mode == kSeekStart) {
        from = file->base;
    } else if (mode == kSeekEnd) {
        struct stat info {};
        if (fstat(file->fd, &info) != 0) return -1;
        from = info.st_size;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(from, offset, &target) || target < file->base) return -1;
    if (file->readAhead) {
        file->position = target;
    } else if (target != current && lseek(file->fd, static_cast<off_t>(target), SEEK_SET) < 0) {
        return -1;
    }
    return current - file->base;
} catch (...) {
    return -1;
}

constexpr int32_t kReadAhead = 65536;

// One step of a read of a file read ahead: a large rest goes straight from
// the file to the caller (through the read-ahead it would cost a second
// copy), and so does any rest when there is no memory for the read-ahead; a
// small one comes from the read-ahead, filled anew when it holds nothing at
// the position. The bytes gained, 0 at the end of the file, -1 on failure.
ssize_t ReadAhead(OpenHostFile* file, char* out, int32_t length) {
    if (length < kReadAhead && file->ahead == nullptr) {
        file->ahead = static_cast<char*>(malloc(kReadAhead));
    }
    if (length >= kReadAhead || file->ahead == nullptr) {
        const ssize_t n = pread(file->fd, out, static_cast<size_t>(length), file->position);
        if (n > 0) file->position += n;
        return n;
    }
    int64_t offset = file->position - file->aheadStart;
    if (offset < 0 || offset >= file->aheadLength) {
        const ssize_t n = pread(file->fd, file->ahead, kReadAhead, file->position);
        file->aheadStart = file->position;
        file->aheadLength = n > 0 ? static_cast<int32_t>(n) : 0;
        if (n <= 0) return n;
        offset = 0;
    }
    const int64_t held = file->aheadLength - offset;
    const auto n = static_cast<int32_t>(held < length ? held : length);
    memcpy(out, file->ahead + offset, static_cast<size_t>(n));
    file->position += n;
    return n;
}

int32_t ReadFile(HostFile handle, void* buffer, int32_t length) try {
    H().Log("ReadFile(%d)", length);
    OpenHostFile* file = Find(handle, "ReadFile");
    if (file == nullptr || length < 0) return -1;
    if (H().ShouldFail(Fault::ReadFile)) return -1;
    char* out = static_cast<char*>(buffer);
    int32_t done = 0;
    while (done < length) {
        const ssize_t n = file->readAhead
                              ? ReadAhead(file, out + done, length - done)
                              : read(file->fd, out + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return done > 0 ? done : -1;
        if (n == 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
} catch (...) {
    return -1;
}

int32_t WriteFile(HostFile handle, const void* buffer, int32_t length) try {
    H().Log("WriteFile(%d)", length);
    OpenHostFile* file = Find(handle, "WriteFile");
    if (file == nullptr || length < 0) return -1;
    if (H().ShouldFail(Fault::WriteFile)) return -1;
    const char* in = static_cast<const char*>(buffer);
    int32_t done = 0;
    while (done < length) {
        const ssize_t n = write(file->fd, in + done, static_cast<size_t>(length - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<int32_t>(n);
    }
    return done;
} catch (...) {
    return -1;
}

const char* FilePart(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int32_t ExamineFile(HostFile handle, int32_t, StatRecord* info, int32_t) try {
    H().Log("ExamineFile");
    OpenHostFile* file = Find(handle, "ExamineFile");
    if (file == nullptr) return 0;
    if (H().ShouldFail(Fault::ExamineFile)) return 0;
    struct stat st {};
    if (fstat(file->fd, &st) != 0) return 0;
    file->name = FilePart(file->path.c_str());
    *info = RecordFromStat(st, file->name.c_str());
    info->size -= file->base;
    return 1;
} catch (...) {
    return 0;
}

const FileServices kFiles = [] {
    FileServices f{};
    f.OpenFile = OpenFile;
    f.CloseFile = CloseFile;
    f.SeekFile = SeekFile;
    f.ReadFile = ReadFile;
    f.WriteFile = WriteFile;
    f.InitSourceFileName = InitSourceFileName;
    f.CreateSourceFileName = CreateSourceFileName;
    f.FilePart = FilePart;
    f.ExamineFile = ExamineFile;
    f.FreeSourceFileName = FreeSourceFileName;
    f.MakeSourceFileName = MakeSourceFileName;
    return f;
}();

}  // namespace

const FileServices* FileServiceTable() { return &kFiles; }

}  // namespace cvx

// Sub-table 4: host files over POSIX descriptors. A handle is the address
// of the host's own record, so an unknown or closed handle is recognised.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/host.h"
#include "host/services.h"
#include "host/source_names.h"

namespace cvx {
namespace {

Host& H() { return *ActiveHost(); }

OpenHostFile* Find(HostFile handle, const char* service) {
    auto it = H().files_.find(handle);
    if (it != H().files_.end()) return it->second.get();
    H().violations_.push_back(std::string(service) + " on a handle that is not open");
    return nullptr;
}

HostFile OpenFile(const char* path, int32_t mode) {
    H().Log(std::string("OpenFile(") + path + "," + std::to_string(mode) + ")");
    if (H().ShouldFail(Fault::OpenFile)) return 0;
    int fd = -1;
    int64_t base = 0;
    if (mode == kOpenWrite) {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    } else if (mode == kOpenRead || mode == (kOpenRead | kOpenReadFlag8)) {
        fd = OpenSourceName(path, &base);
        if (fd == -2) fd = open(path, O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) return 0;
    struct stat info {};
    if (fstat(fd, &info) != 0) info.st_mode = 0;
    if (mode != kOpenWrite && S_ISDIR(info.st_mode)) {
        close(fd);  // a directory is not a file the host can read
        return 0;
    }
    auto record = std::make_unique<OpenHostFile>();
    record->fd = fd;
    record->mode = mode;
    record->path = path;
    record->base = base;
    record->readAhead = mode != kOpenWrite && S_ISREG(info.st_mode);
    record->position = lseek(fd, 0, SEEK_CUR);  // base, for data inside another file
    const auto handle = reinterpret_cast<uintptr_t>(record.get());
    H().files_[handle] = std::move(record);
    return handle;
}

void CloseFile(HostFile handle) {
    H().Log("CloseFile");
    OpenHostFile* file = Find(handle, "CloseFile");
    if (file == nullptr) return;
    close(file->fd);
    H().files_.erase(handle);
}

// The position of a file read ahead is the host's own; any other file's is
// its descriptor's.
int64_t SeekFile(HostFile handle, int64_t offset, int32_t mode) {
    if (H().logging())
        H().Log("SeekFile(" + std::to_string(offset) + "," + std::to_string(mode) + ")");
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
}

namespace {

constexpr int32_t kReadAhead = 65536;

// The bytes of the file at its position that the read-ahead holds: copies
// up to length of them and returns the count.
int32_t TakeAhead(OpenHostFile* file, char* out, int32_t length) {
    const int64_t offset = file->position - file->aheadStart;
    if (offset < 0 || offset >= static_cast<int64_t>(file->ahead.size())) return 0;
    const int64_t held = static_cast<int64_t>(file->ahead.size()) - offset;
    const auto n = static_cast<int32_t>(held < length ? held : length);
    memcpy(out, file->ahead.data() + offset, static_cast<size_t>(n));
    file->position += n;
    return n;
}

// One step of a read of a file read ahead: a large rest goes straight from
// the file to the caller (copying it through the read-ahead would only cost
// a second copy); a small one comes from the read-ahead, filled anew when it
// holds nothing at the position. The bytes gained, 0 at the end of the
// file, -1 on failure (errno set).
ssize_t ReadAhead(OpenHostFile* file, char* out, int32_t length) {
    if (length >= kReadAhead) {
        const ssize_t n = pread(file->fd, out, static_cast<size_t>(length), file->position);
        if (n > 0) file->position += n;
        return n;
    }
    const int32_t held = TakeAhead(file, out, length);
    if (held > 0) return held;
    file->ahead.resize(kReadAhead);
    const ssize_t n = pread(file->fd, file->ahead.data(), kReadAhead, file->position);
    file->aheadStart = file->position;
    if (n <= 0) {
        std::string().swap(file->ahead);  // at the end, hold no memory
        return n;
    }
    file->ahead.resize(static_cast<size_t>(n));
    if (n < kReadAhead) file->ahead.shrink_to_fit();  // a small file holds only itself
    return TakeAhead(file, out, length);
}

}  // namespace

int32_t ReadFile(HostFile handle, void* buffer, int32_t length) {
    if (H().logging()) H().Log("ReadFile(" + std::to_string(length) + ")");
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
}

int32_t WriteFile(HostFile handle, const void* buffer, int32_t length) {
    if (H().logging()) H().Log("WriteFile(" + std::to_string(length) + ")");
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
}

const char* FilePart(const char* path) {
    const char* slash = strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

int32_t ExamineFile(HostFile handle, int32_t, StatRecord* info, int32_t) {
    H().Log("ExamineFile");
    OpenHostFile* file = Find(handle, "ExamineFile");
    if (file == nullptr) return 0;
    if (H().ShouldFail(Fault::ExamineFile)) return 0;
    struct stat st {};
    if (fstat(file->fd, &st) != 0) return 0;
    *info = StatRecord{};
    info->kind = S_ISDIR(st.st_mode) ? 1 : 0;
    info->size = static_cast<int64_t>(st.st_size) - file->base;
    const DateGroup date = DateFromTime(static_cast<long long>(st.st_mtime));
    info->dates[0] = info->dates[1] = info->dates[2] = date;
    file->name = FilePart(file->path.c_str());
    info->name = file->name.c_str();
    return 1;
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

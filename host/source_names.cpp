#include "host/source_names.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <string>

#include "host/host_state.h"

namespace cvx {
namespace {

constexpr char kPrefix[] = "cvx-source:";
constexpr size_t kSourceNameField = 1024;  // the plugin's source-name field

bool DescribeMemory(uintptr_t address, uint64_t length, uint64_t offset, SourceData* data) {
    if (address == 0 || offset > length || length > (uint64_t{1} << 40)) return false;
    data->inMemory = true;
    const char* start = reinterpret_cast<const char*>(address) + offset;
    data->bytes.assign(start, static_cast<size_t>(length - offset));
    return true;
}

bool DescribeFile(uintptr_t handle, uint64_t offset, SourceData* data) {
    if (H().files.count(handle) == 0 || offset > static_cast<uint64_t>(INT64_MAX)) return false;
    data->file = handle;
    data->offset = static_cast<int64_t>(offset);
    return true;
}

// Registers data under a fresh name and writes the name into buffer.
bool Register(SourceData data, const char* extension, char* buffer, size_t size) {
    std::string name = kPrefix + std::to_string(H().nextSourceName++);
    if (extension != nullptr && extension[0] != '\0') name += std::string(".") + extension;
    if (name.size() + 1 > size) return false;
    memcpy(buffer, name.c_str(), name.size() + 1);
    H().sourceNames[name] = std::move(data);
    return true;
}

int OpenMemory(const std::string& bytes) {
    const int fd = memfd_create("cvx-source", MFD_CLOEXEC);
    if (fd < 0) return -1;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

// A description of its own on the same file, so that seeking it leaves the
// original handle where it is.
int OpenInsideFile(const SourceData& data, int64_t* base) {
    auto it = H().files.find(data.file);
    if (it == H().files.end()) return -1;
    const OpenHostFile& outer = *it->second;
    const std::string again = "/proc/self/fd/" + std::to_string(outer.fd);
    const int fd = open(again.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat info {};
    const int64_t start = outer.base + data.offset;
    if (fstat(fd, &info) != 0 || start > info.st_size || lseek(fd, start, SEEK_SET) != start) {
        close(fd);
        return -1;
    }
    *base = start;
    return fd;
}

}  // namespace

// The services below catch what the host's own memory running short
// throws: their callers are plugin frames.
void InitSourceFileName(char* field) {
    field[0] = '\0';
    H().Log("InitSourceFileName");
}

int32_t CreateSourceFileName(char* field, uintptr_t value, uint64_t tag3, uint64_t tag4,
                             int32_t isTag5, int32_t) try {
    H().Log("CreateSourceFileName(%" PRIuPTR ",%" PRIu64 ",%" PRIu64 ",%d)", value, tag3, tag4,
            isTag5);
    SourceData data;
    const bool described =
        isTag5 != 0 ? DescribeFile(value, tag4, &data) : DescribeMemory(value, tag3, tag4, &data);
    if (!described || !Register(std::move(data), nullptr, field, kSourceNameField)) {
        field[0] = '\0';
        return 1;
    }
    return 0;
} catch (...) {
    field[0] = '\0';
    return 1;
}

void FreeSourceFileName(char* field) try {
    H().Log("FreeSourceFileName(%s)", field);
    if (field[0] == '\0') return;  // nothing was made in it
    auto it = H().sourceNames.find(field);
    if (it == H().sourceNames.end() || it->second.transient) {
        H().violations.push_back(std::string("FreeSourceFileName of a name not made: ") + field);
    } else {
        H().sourceNames.erase(it);
    }
    field[0] = '\0';
} catch (...) {
    field[0] = '\0';
}

int32_t MakeSourceFileName(char* buffer, int32_t size, const SourceDescriptor* source,
                           int32_t) try {
    H().Log("MakeSourceFileName(%" PRIuPTR ",%" PRIuPTR ",%s,%" PRIu64 ",%" PRIu64 ")",
            source->tag2, source->tag5, source->extension ? source->extension : "", source->tag3,
            source->tag4);
    if (size <= 0) return 1;
    buffer[0] = '\0';
    SourceData data;
    data.transient = true;
    const bool described = source->tag2 != 0
                               ? DescribeMemory(source->tag2, source->tag3, source->tag4, &data)
                           : source->tag5 != 0 ? DescribeFile(source->tag5, source->tag4, &data)
                                               : false;
    if (!described ||
        !Register(std::move(data), source->extension, buffer, static_cast<size_t>(size))) {
        return 1;
    }
    return 0;
} catch (...) {
    if (size > 0) buffer[0] = '\0';
    return 1;
}

void DropTransientSourceNames() {
    auto& names = H().sourceNames;
    for (auto it = names.begin(); it != names.end();) {
        it = it->second.transient ? names.erase(it) : std::next(it);
    }
}

int OpenSourceName(const char* path, int64_t* base) {
    *base = 0;
    auto it = H().sourceNames.find(path);
    if (it == H().sourceNames.end()) return -2;
    return it->second.inMemory ? OpenMemory(it->second.bytes) : OpenInsideFile(it->second, base);
}

}  // namespace cvx

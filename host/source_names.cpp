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

// Names the data in memory from offset on (memory set), or in the open host
// file from offset on: 0 and the name in buffer, or 1 and buffer emptied.
int32_t NameSource(uintptr_t memory, uint64_t length, HostFile file, uint64_t offset,
                   bool transient, const char* extension, char* buffer, size_t size) try {
    buffer[0] = '\0';
    SourceData data;
    data.transient = transient;
    if (memory != 0 && offset <= length && length <= (uint64_t{1} << 40)) {
        data.inMemory = true;
        const char* start = reinterpret_cast<const char*>(memory) + offset;
        data.bytes.assign(start, static_cast<size_t>(length - offset));
    } else if (memory == 0 && H().files.count(file) != 0 && offset <= uint64_t{INT64_MAX}) {
        data.file = file;
        data.offset = static_cast<int64_t>(offset);
    } else {
        return 1;
    }
    std::string name = kPrefix + std::to_string(H().nextSourceName++);
    if (extension != nullptr && extension[0] != '\0') name += std::string(".") + extension;
    if (name.size() + 1 > size) return 1;
    memcpy(buffer, name.c_str(), name.size() + 1);
    H().sourceNames[name] = std::move(data);
    return 0;
} catch (...) {
    buffer[0] = '\0';
    return 1;
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
                             int32_t isTag5, int32_t) {
    H().Log("CreateSourceFileName(%" PRIuPTR ",%" PRIu64 ",%" PRIu64 ",%d)", value, tag3, tag4,
            isTag5);
    return NameSource(isTag5 != 0 ? 0 : value, tag3, isTag5 != 0 ? value : 0, tag4, false,
                      nullptr, field, kSourceNameField);
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
                           int32_t) {
    H().Log("MakeSourceFileName(%" PRIuPTR ",%" PRIuPTR ",%s,%" PRIu64 ",%" PRIu64 ")",
            source->tag2, source->tag5, source->extension ? source->extension : "", source->tag3,
            source->tag4);
    if (size <= 0) return 1;
    return NameSource(source->tag2, source->tag3, source->tag5, source->tag4, true,
                      source->extension, buffer, static_cast<size_t>(size));
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

// What the host's services keep, and the one way they reach it: H(), the
// active Host's state. Private to host/: tests and tools see only Host.
#ifndef CVXHOST_HOST_STATE_H
#define CVXHOST_HOST_STATE_H

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_types.h"

namespace cvx {

struct Block {
    size_t size;
    std::string tag;
};

struct OpenHostFile {
    int fd;
    int mode;
    std::string path;
    std::string name;  // ExamineFile's name field points here
    int64_t base = 0;  // offset in fd at which this file starts (data inside another file)
    // Files opened for reading (always regular) are read ahead, as a
    // buffered file layer reads them (libzip asks for a few bytes at a time
    // while it reads a central directory); the host then keeps their
    // position itself. This emulates a real host's speed and is no host
    // obligation. The buffer comes from malloc: when memory is short the
    // file is read without it, and no exception can reach the plugin.
    bool readAhead = false;
    int64_t position = 0;      // readAhead: offset in fd of the next byte to read
    char* ahead = nullptr;     // readAhead: bytes of fd from aheadStart on, or null
    int32_t aheadLength = 0;   // how many bytes ahead holds
    int64_t aheadStart = 0;
    OpenHostFile() = default;
    OpenHostFile(const OpenHostFile&) = delete;
    OpenHostFile& operator=(const OpenHostFile&) = delete;
    ~OpenHostFile() { free(ahead); }
};

// Data that a source name made by the file services stands for: bytes held
// by the host, or the rest of an open host file from an offset on.
struct SourceData {
    bool inMemory = false;
    std::string bytes;    // inMemory: a copy taken when the name was made
    HostFile file = 0;    // otherwise: the open host file
    int64_t offset = 0;   // where the data starts in it
    bool transient = false;  // made by MakeSourceFileName: lives for one file-layer call
};

struct FileObject;

struct HostState {
    explicit HostState(const HostOptions& o) : options(o) {}

    HostOptions options;
    PluginEntries entries{};
    bool started = false;  // between InitLibrary and FreeLibrary

    // Consumes one call of f; true when this call is to fail.
    bool ShouldFail(Fault f, const char* tag = nullptr);
    void FailNth(Fault f, int64_t n, const char* tag);
    FaultSlot& fault(Fault f) { return faults[static_cast<int>(f)]; }
    FaultSlot faults[static_cast<int>(Fault::kCount)];
    std::map<uint32_t, int32_t> activateResults;

    // Adds an entry, formatted as printf does, when calls are logged.
    [[gnu::format(printf, 2, 3)]] void Log(const char* format, ...);
    std::vector<std::string> calls;

    std::map<std::string, int> LiveBlocksByTag() const;
    void AdoptBlock(void* block);
    std::map<void*, Block> blocks;
    std::map<uintptr_t, std::unique_ptr<OpenHostFile>> files;
    FileObject* scriptFiles = nullptr;  // the scripts' open file objects (file_library.cpp)
    std::vector<std::string> violations;

    std::vector<std::string> errorMessages;  // index = code - kFirstErrorCode
    std::string errorArg;
    std::string errorMessage;  // ErrorMessage's last answer
    int32_t lastErrorCode = 0;
    int32_t nextCallbackCode = kFirstCallbackCode;

    bool inCallback = false;
    // From tag 31 being set until CallFunction: the callback's arguments are
    // being built, and the VM operations that allocate do not raise.
    bool preparingCall = false;
    // Memory ran out while they were built: CallFunction calls nothing.
    bool callMemoryShort = false;

    // Script handles of automatic identifiers (vm_services.cpp): the value a
    // script holds is a token of the host's that dies with its object.
    struct Handle {
        uintptr_t token;
        bool live;
    };
    std::map<uintptr_t, Handle> handles;        // by handle word, the last token made
    std::map<uintptr_t, uintptr_t> liveTokens;  // token -> handle word
    uintptr_t nextToken = 1;
    struct ObjectType {
        std::string name;
        ArchiveObject** head;
        ObjectTypeHandler handler;
    };
    std::vector<ObjectType> objectTypes;  // index = type id - kFirstTypeId

    std::map<std::string, SourceData> sourceNames;  // names the file services made
    uint64_t nextSourceName = 1;

    static constexpr int32_t kFirstErrorCode = 1200;
    static constexpr int32_t kFirstTypeId = 16;
};

// The active host's state.
HostState& H();

// Finds the plugin header in the mapped segments of a loaded library by its
// magic. On failure returns null and says why in *error.
const PluginHeader* FindPluginHeader(void* library, const std::string& path, std::string* error);

}  // namespace cvx

#endif

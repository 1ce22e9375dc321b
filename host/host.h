// cvxhost: a stand-in for the scripting host on Linux. It loads zip.cvx the
// way the host does (by the header's magic, entry points by name), provides
// every host service over a Lua 5.4 VM and real files, and runs scripts.
// Tests use the same class directly: accounting of live allocations by tag
// and of open file handles, fault injection, and a log of service calls.
//
// One Host is active at a time: the service tables are plain C function
// pointers and reach the active Host through a global.
#ifndef CVXHOST_HOST_H
#define CVXHOST_HOST_H

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "plugin/host_interface.h"

struct lua_State;

namespace cvx {

struct HostOptions {
    uint32_t version = 7;
    uint32_t revision = 1;
    bool fixedDate = false;  // GetCurrentDate answers `date` instead of the clock
    DateGroup date{0, 0, 12, 1, 0, 2000};
    bool logCalls = false;   // record every service call in Host::calls()
    bool requirePlugin = true;
};

// Services whose calls can be made to fail.
enum class Fault {
    Alloc,
    OpenFile,
    ReadFile,
    WriteFile,
    SeekFile,
    ExamineFile,
    CallFunction,
    VmAlloc,  // the script VM's allocations, from the n-th on; tag "callback": inside callbacks
    kCount
};

struct FaultSlot {
    int64_t countdown = 0;  // the countdown-th next matching call fails; 0 = none
    std::string tag;        // Alloc only: count only blocks of this tag when set
    int64_t calls = 0;      // matching calls seen since the slot was armed or reset
    int64_t failures = 0;   // injected failures so far
    std::string failedTag;  // Alloc only: the tag of the block last made to fail
};

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
    // position itself. The buffer comes from malloc, not from a container:
    // when memory is short the file is read without it, and no exception
    // can reach the plugin.
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

class Host {
public:
    explicit Host(HostOptions options = {});
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // dlopen the plugin, find its header, resolve the entry points.
    bool Load(const std::string& pluginPath, std::string* error);
    // InitPlugin, a Lua VM, RequirePlugin, InitLibrary, the zip and host tables.
    bool Start(std::string* error);
    // Run a script file or a chunk; false with the error message when it raises.
    bool RunFile(const std::string& path, const std::vector<std::string>& args,
                 std::string* error);
    bool RunString(const std::string& chunk, std::string* error);
    // FreeLibrary, ClosePlugin, the VM closed, the plugin unloaded. Idempotent.
    void Stop();

    // The plugin's entry point of that name, through its lookup function.
    EntryPoint Lookup(const char* name) const;
    template <typename F>
    F Entry(const char* name) const {
        return reinterpret_cast<F>(Lookup(name));
    }

    const HostOptions& options() const { return options_; }
    PluginInfo& info() { return info_; }
    const HostServices* services() const { return &services_; }
    lua_State* vm() const { return vm_; }
    bool started() const { return started_; }

    // ---- accounting
    size_t LiveBlocks() const { return blocks_.size(); }
    std::map<std::string, int> LiveBlocksByTag() const;
    size_t OpenFiles() const { return files_.size(); }
    // Plugin misuse of the host: bad frees, unknown handles, unbalanced stacks.
    const std::vector<std::string>& violations() const { return violations_; }
    // Everything that should be zero after a clean run, as text; empty if clean.
    std::string LeakReport() const;
    // Take ownership of a block that passed to the caller (such as a full name).
    void AdoptBlock(void* block);

    // ---- fault injection
    FaultSlot& fault(Fault f) { return faults_[static_cast<int>(f)]; }
    void FailNth(Fault f, int64_t n, const std::string& tag = "");
    void ClearFaults();
    // Consumes one call of f; true when this call is to fail.
    bool ShouldFail(Fault f, const char* tag = nullptr);
    std::map<uint32_t, int32_t>& activateResults() { return activateResults_; }

    // ---- call log
    std::vector<std::string>& calls() { return calls_; }
    void Log(std::string entry);
    // Whether Log keeps anything: services called once per block skip
    // building their entry when it does not.
    bool logging() const { return options_.logCalls; }

    // ---- state the services keep (used by the service implementations)
    std::map<void*, Block> blocks_;
    std::map<uintptr_t, std::unique_ptr<OpenHostFile>> files_;
    std::vector<std::string> errorMessages_;  // index = code - kFirstErrorCode
    std::string errorArg_;
    int32_t lastErrorCode_ = 0;
    bool inCallback_ = false;
    // From tag 31 being set until CallFunction: the callback's arguments are
    // being built, and the VM operations that allocate do not raise.
    bool preparingCall_ = false;
    // Memory ran out while they were built: CallFunction calls nothing.
    bool callMemoryShort_ = false;
    // Script handles of automatic identifiers (vm_services.cpp): the value a
    // script holds is a token of the host's that dies with its object.
    struct Handle {
        uintptr_t token;
        bool live;
    };
    std::map<uintptr_t, Handle> handles_;        // by handle word, the last token made
    std::map<uintptr_t, uintptr_t> liveTokens_;  // token -> handle word
    uintptr_t nextToken_ = 1;
    struct ObjectType {
        std::string name;
        ArchiveObject** head;
        ObjectTypeHandler handler;
    };
    std::vector<ObjectType> objectTypes_;  // index = type id - kFirstTypeId
    int32_t nextCallbackCode_ = kFirstCallbackCode;
    std::vector<std::string> violations_;
    std::map<std::string, SourceData> sourceNames_;  // names the file services made
    uint64_t nextSourceName_ = 1;

    static constexpr int32_t kFirstErrorCode = 1200;
    static constexpr int32_t kFirstTypeId = 16;
    // Codes that carry the error a script callback raised.
    static constexpr int32_t kFirstCallbackCode = 500000;

private:
    HostOptions options_;
    HostServices services_{};
    PluginInfo info_{};
    void* library_ = nullptr;
    const PluginHeader* header_ = nullptr;
    std::string pluginPath_;
    lua_State* vm_ = nullptr;
    bool initialised_ = false;
    bool started_ = false;
    FaultSlot faults_[static_cast<int>(Fault::kCount)];
    std::map<uint32_t, int32_t> activateResults_;
    std::vector<std::string> calls_;
};

// The active host; null when none.
Host* ActiveHost();

// Finds the plugin header in the mapped segments of a loaded library by its
// magic. On failure returns null and says why in *error.
const PluginHeader* FindPluginHeader(void* library, const std::string& path, std::string* error);

}  // namespace cvx

#endif

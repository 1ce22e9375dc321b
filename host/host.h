// cvxhost: a stand-in for the scripting host on Linux. It loads zip.cvx the
// way the host does (by the header's magic, entry points by name), provides
// every host service over a Lua 5.4 VM and real files, and runs scripts.
// Tests use the same class directly: accounting of live allocations by tag
// and of open file handles, fault injection, and a log of service calls.
//
// One Host is active at a time: the service tables are plain C function
// pointers and reach the active Host's state through a global. What the
// services keep is private to host/ (host/host_state.h).
#ifndef CVXHOST_HOST_H
#define CVXHOST_HOST_H

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/host_types.h"

struct lua_State;

namespace cvx {

struct HostState;

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

    const PluginEntries& entries() const;
    // Asks the plugin's lookup function again, for any name.
    EntryPoint Lookup(const char* name) const;

    const HostOptions& options() const;
    const PluginInfo& info() const { return info_; }
    const HostServices* services() const { return &services_; }
    lua_State* vm() const { return vm_; }

    // ---- accounting
    size_t LiveBlocks() const;
    std::map<std::string, int> LiveBlocksByTag() const;
    size_t BlockSize(const void* block) const;  // of a live block; 0 for any other
    size_t OpenFiles() const;
    // Plugin misuse of the host: bad frees, unknown handles, unbalanced stacks.
    const std::vector<std::string>& violations() const;
    // Everything that should be zero after a clean run, as text; empty if clean.
    std::string LeakReport() const;
    // Take ownership of a block that passed to the caller (such as a full name).
    void AdoptBlock(void* block);

    // ---- what the plugin registered and reported
    // The code RegisterError gave for message; 0 when none did.
    int32_t ErrorCode(const std::string& message) const;
    // The code of the last failed command; 0 when none failed since the reset.
    int32_t lastErrorCode() const;
    void ResetLastErrorCode();
    // The head of the object list registered as the type-th type (from 0).
    ArchiveObject* ObjectList(size_t type) const;

    // ---- fault injection
    FaultSlot& fault(Fault f);
    void FailNth(Fault f, int64_t n, const std::string& tag = "");
    void ClearFaults();
    // ActivateCapability answers code for bit instead of 0.
    void SetActivateResult(uint32_t bit, int32_t code);

    // ---- call log
    std::vector<std::string>& calls();

    static constexpr int32_t kFirstCallbackCode = cvx::kFirstCallbackCode;

private:
    std::unique_ptr<HostState> state_;
    HostServices services_{};
    PluginInfo info_{};
    void* library_ = nullptr;
    const PluginHeader* header_ = nullptr;
    std::string pluginPath_;
    lua_State* vm_ = nullptr;
    bool initialised_ = false;
};

}  // namespace cvx

#endif

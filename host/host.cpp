// The host's life cycle: load, start, run, stop; and its accounting.
#include "host/host.h"

#include <dlfcn.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/host_state.h"
#include "host/script_tables.h"
#include "host/services.h"
#include "host/time_zone.h"

namespace cvx {
namespace {

HostState* gActive = nullptr;

// Entry points without which no plugin can run a library.
bool Required(const char* name) {
    for (const char* required : {"InitPlugin", "ClosePlugin", "InitLibrary", "FreeLibrary",
                                 "GetBaseTable", "GetCommands", "GetConstants", "GetHelpStrings"}) {
        if (strcmp(name, required) == 0) return true;
    }
    return false;
}

// The script VM's allocator: the C library's, with the host's fault
// injection. Lua lets only growing requests fail.
void* VmAllocate(void* ud, void* block, size_t oldSize, size_t newSize) {
    auto* host = static_cast<HostState*>(ud);
    if (newSize == 0) {
        free(block);
        return nullptr;
    }
    const bool grows = block == nullptr || newSize > oldSize;
    if (grows && host->ShouldFail(Fault::VmAlloc, host->inCallback ? "callback" : "")) {
        return nullptr;
    }
    return realloc(block, newSize);
}

}  // namespace

HostState& H() { return *gActive; }

Host::Host(HostOptions options) : state_(std::make_unique<HostState>(options)) {
    services_.version = options.version;
    services_.revision = options.revision;
    services_.system = SystemServiceTable();
    services_.files = FileServiceTable();
    services_.vm = VmServiceTable();
    gActive = state_.get();
}

Host::~Host() {
    Stop();
    for (auto& [block, info] : state_->blocks) free(block);
    if (gActive == state_.get()) gActive = nullptr;
}

bool Host::Load(const std::string& pluginPath, std::string* error) {
    pluginPath_ = pluginPath;
    library_ = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) {
        *error = "cannot load " + pluginPath + ": " + dlerror();
        return false;
    }
    header_ = FindPluginHeader(library_, pluginPath, error);
    if (header_ == nullptr) return false;
    const char* missing = nullptr;
    PluginEntries& e = state_->entries;
#define CVXHOST_RESOLVE(name, result, params)                           \
    e.name = reinterpret_cast<name##Fn>(header_->lookup(#name));        \
    if (e.name == nullptr && missing == nullptr && Required(#name)) missing = #name;
    CVX_ENTRY_POINTS(CVXHOST_RESOLVE)
#undef CVXHOST_RESOLVE
    if (missing != nullptr) {
        *error = std::string("entry point ") + missing + " missing in " + pluginPath;
        return false;
    }
    return true;
}

const PluginEntries& Host::entries() const { return state_->entries; }

EntryPoint Host::Lookup(const char* name) const {
    return header_ != nullptr ? header_->lookup(name) : nullptr;
}

bool Host::Start(std::string* error) {
    PinLocalTimeZone();
    const HostOptions& options = state_->options;
    const PluginEntries& e = state_->entries;
    info_ = PluginInfo{};
    info_.hostVersion = options.version;
    e.InitPlugin(&info_, &services_);
    initialised_ = true;
    if (info_.hostVersion > options.version ||
        (info_.hostVersion == options.version && info_.hostRevision > options.revision)) {
        *error = pluginPath_ + " needs host version " + std::to_string(info_.hostVersion) + "." +
                 std::to_string(info_.hostRevision) + ", this host is " +
                 std::to_string(options.version) + "." + std::to_string(options.revision);
        return false;
    }
    vm_ = luaL_newstate();
    lua_setallocf(vm_, VmAllocate, state_.get());
    luaL_openlibs(vm_);
    auto* vm = reinterpret_cast<VmState*>(vm_);
    if (options.requirePlugin) {
        const int32_t status = e.RequirePlugin(vm);
        if (status != 0) {
            *error = "RequirePlugin failed with code " + std::to_string(status);
            if (const char* message = ErrorMessage(status)) *error += std::string(": ") + message;
            return false;
        }
    }
    e.InitLibrary(vm);
    state_->started = true;
    OpenScriptLibrary(vm_);
    OpenHostLibrary(vm_);
    return true;
}

namespace {

int Traceback(lua_State* L) {
    const char* message = lua_tostring(L, 1);
    if (message == nullptr) {
        message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
    }
    luaL_traceback(L, L, message, 1);
    return 1;
}

bool RunLoaded(lua_State* L, int loadStatus, int args, std::string* error) {
    if (loadStatus == LUA_OK) {
        lua_pushcfunction(L, Traceback);
        lua_insert(L, -(args + 2));
        const int base = lua_gettop(L) - args - 1;
        loadStatus = lua_pcall(L, args, 0, base);
        lua_remove(L, base);
    }
    if (loadStatus != LUA_OK) {
        const char* message = lua_tostring(L, -1);
        *error = message != nullptr ? message : "(error object is not a string)";
        lua_pop(L, 1);
        return false;
    }
    return true;
}

}  // namespace

bool Host::RunFile(const std::string& path, const std::vector<std::string>& args,
                   std::string* error) {
    lua_State* L = vm_;
    // arg as the Lua interpreter gives it: arg[0] the script, then its arguments.
    lua_createtable(L, static_cast<int>(args.size()), 1);
    lua_pushstring(L, path.c_str());
    lua_rawseti(L, -2, 0);
    for (size_t i = 0; i < args.size(); ++i) {
        lua_pushstring(L, args[i].c_str());
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(L, "arg");
    const int status = luaL_loadfile(L, path.c_str());
    if (status == LUA_OK) {
        for (const std::string& a : args) lua_pushstring(L, a.c_str());
    }
    return RunLoaded(L, status, status == LUA_OK ? static_cast<int>(args.size()) : 0, error);
}

bool Host::RunString(const std::string& chunk, std::string* error) {
    const int status = luaL_loadbuffer(vm_, chunk.data(), chunk.size(), "=chunk");
    return RunLoaded(vm_, status, 0, error);
}

void Host::Stop() {
    // As a host closes its files before it unloads a plugin: no adapter
    // handle may outlive the plugin's code.
    if (vm_ != nullptr) CloseScriptFiles();
    if (state_->started) state_->entries.FreeLibrary(reinterpret_cast<VmState*>(vm_));
    if (initialised_) state_->entries.ClosePlugin();
    if (vm_ != nullptr) lua_close(vm_);
    if (library_ != nullptr) dlclose(library_);
    state_->started = initialised_ = false;
    vm_ = nullptr;
    library_ = nullptr;
    header_ = nullptr;
}

std::map<std::string, int> HostState::LiveBlocksByTag() const {
    std::map<std::string, int> byTag;
    for (const auto& [block, info] : blocks) ++byTag[info.tag];
    return byTag;
}

std::string Host::LeakReport() const {
    const HostState& s = *state_;
    std::string report;
    for (const auto& [tag, count] : s.LiveBlocksByTag()) {
        report += "live allocation: " + std::to_string(count) + " block(s) tagged \"" + tag + "\"\n";
    }
    for (const auto& [handle, file] : s.files) report += "open host file: " + file->path + "\n";
    for (const auto& [name, data] : s.sourceNames) {
        if (!data.transient) report += "source file name not freed: " + name + "\n";
    }
    for (const std::string& v : s.violations) report += "host interface misuse: " + v + "\n";
    return report;
}

void HostState::AdoptBlock(void* block) {
    if (block == nullptr) return;
    if (blocks.erase(block) == 0) {
        violations.push_back("a block passed to the caller that Alloc did not give");
        return;
    }
    free(block);
}

const HostOptions& Host::options() const { return state_->options; }
size_t Host::LiveBlocks() const { return state_->blocks.size(); }
std::map<std::string, int> Host::LiveBlocksByTag() const { return state_->LiveBlocksByTag(); }
size_t Host::OpenFiles() const { return state_->files.size(); }
const std::vector<std::string>& Host::violations() const { return state_->violations; }
int32_t Host::lastErrorCode() const { return state_->lastErrorCode; }
void Host::ResetLastErrorCode() { state_->lastErrorCode = 0; }
FaultSlot& Host::fault(Fault f) { return state_->fault(f); }
std::vector<std::string>& Host::calls() { return state_->calls; }

size_t Host::BlockSize(const void* block) const {
    const auto it = state_->blocks.find(const_cast<void*>(block));
    return it != state_->blocks.end() ? it->second.size : 0;
}

int32_t Host::ErrorCode(const std::string& message) const {
    const std::vector<std::string>& messages = state_->errorMessages;
    for (size_t i = 0; i < messages.size(); ++i) {
        if (messages[i] == message) return HostState::kFirstErrorCode + static_cast<int32_t>(i);
    }
    return 0;
}

ArchiveObject* Host::ObjectList(size_t type) const {
    return type < state_->objectTypes.size() ? *state_->objectTypes[type].head : nullptr;
}

void Host::SetActivateResult(uint32_t bit, int32_t code) { state_->activateResults[bit] = code; }

void Host::FailNth(Fault f, int64_t n, const std::string& tag) {
    state_->FailNth(f, n, tag.c_str());
}
void Host::AdoptBlock(void* block) { state_->AdoptBlock(block); }

void Host::ClearFaults() {
    for (FaultSlot& slot : state_->faults) slot = FaultSlot{};
}

void HostState::FailNth(Fault f, int64_t n, const char* tag) {
    FaultSlot& slot = fault(f);
    slot.countdown = n;
    slot.tag = tag;
    slot.calls = 0;
}

bool HostState::ShouldFail(Fault f, const char* tag) {
    FaultSlot& slot = fault(f);
    if (!slot.tag.empty() && (tag == nullptr || slot.tag != tag)) return false;
    ++slot.calls;
    if (slot.countdown <= 0 || --slot.countdown != 0) return false;
    // The VM retries a failed allocation after an emergency collection:
    // its memory, once gone, stays gone until the slot is reset.
    if (f == Fault::VmAlloc) slot.countdown = 1;
    ++slot.failures;
    slot.failedTag = tag != nullptr ? tag : "";
    return true;
}

// Services call this from plugin frames: an entry that cannot be kept is
// lost rather than thrown.
void HostState::Log(const char* format, ...) {
    if (!options.logCalls) return;
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = vsnprintf(nullptr, 0, format, args);
    try {
        std::string entry(static_cast<size_t>(length > 0 ? length : 0), '\0');
        vsnprintf(entry.data(), entry.size() + 1, format, again);
        calls.push_back(std::move(entry));
    } catch (...) {
    }
    va_end(again);
    va_end(args);
}

}  // namespace cvx

// The host's life cycle: load, start, run, stop; and its accounting.
#include "host/host.h"

#include <dlfcn.h>
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>

#include <cstdlib>
#include <cstring>

#include "host/script_library.h"
#include "host/services.h"
#include "host/time_zone.h"

namespace cvx {
namespace {

Host* gActiveHost = nullptr;

// Entry points without which no plugin can run a library.
const char* const kRequiredEntries[] = {"InitPlugin",   "ClosePlugin", "InitLibrary",
                                        "FreeLibrary",  "GetBaseTable", "GetCommands",
                                        "GetConstants", "GetHelpStrings"};

// The script VM's allocator: the C library's, with the host's fault
// injection. Lua lets only growing requests fail.
void* VmAllocate(void* ud, void* block, size_t oldSize, size_t newSize) {
    auto* host = static_cast<Host*>(ud);
    if (newSize == 0) {
        free(block);
        return nullptr;
    }
    const bool grows = block == nullptr || newSize > oldSize;
    if (grows && host->ShouldFail(Fault::VmAlloc, host->inCallback_ ? "callback" : "")) {
        return nullptr;
    }
    return realloc(block, newSize);
}

}  // namespace

Host* ActiveHost() { return gActiveHost; }

Host::Host(HostOptions options) : options_(options) {
    services_.version = options_.version;
    services_.revision = options_.revision;
    services_.system = SystemServiceTable();
    services_.files = FileServiceTable();
    services_.vm = VmServiceTable();
    gActiveHost = this;
}

Host::~Host() {
    Stop();
    for (auto& [block, info] : blocks_) free(block);
    if (gActiveHost == this) gActiveHost = nullptr;
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
    for (const char* name : kRequiredEntries) {
        if (Lookup(name) == nullptr) {
            *error = std::string("entry point ") + name + " missing in " + pluginPath;
            return false;
        }
    }
    return true;
}

EntryPoint Host::Lookup(const char* name) const {
    return header_ != nullptr ? header_->lookup(name) : nullptr;
}

bool Host::Start(std::string* error) {
    PinLocalTimeZone();
    info_ = PluginInfo{};
    info_.hostVersion = options_.version;
    Entry<InitPluginFn>("InitPlugin")(&info_, &services_);
    initialised_ = true;
    if (info_.hostVersion > options_.version ||
        (info_.hostVersion == options_.version && info_.hostRevision > options_.revision)) {
        *error = pluginPath_ + " needs host version " + std::to_string(info_.hostVersion) + "." +
                 std::to_string(info_.hostRevision) + ", this host is " +
                 std::to_string(options_.version) + "." + std::to_string(options_.revision);
        return false;
    }
    vm_ = luaL_newstate();
    lua_setallocf(vm_, VmAllocate, this);
    luaL_openlibs(vm_);
    auto* vm = reinterpret_cast<VmState*>(vm_);
    if (options_.requirePlugin) {
        const int32_t status = Entry<RequirePluginFn>("RequirePlugin")(vm);
        if (status != 0) {
            *error = "RequirePlugin failed with code " + std::to_string(status);
            const std::string message = ErrorMessage(status);
            if (!message.empty()) *error += ": " + message;
            return false;
        }
    }
    Entry<InitLibraryFn>("InitLibrary")(vm);
    started_ = true;
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
    if (started_) {
        Entry<FreeLibraryFn>("FreeLibrary")(reinterpret_cast<VmState*>(vm_));
        started_ = false;
    }
    if (initialised_) {
        Entry<ClosePluginFn>("ClosePlugin")();
        initialised_ = false;
    }
    if (vm_ != nullptr) {
        lua_close(vm_);
        vm_ = nullptr;
    }
    if (library_ != nullptr) {
        dlclose(library_);
        library_ = nullptr;
        header_ = nullptr;
    }
}

std::map<std::string, int> Host::LiveBlocksByTag() const {
    std::map<std::string, int> byTag;
    for (const auto& [block, info] : blocks_) ++byTag[info.tag];
    return byTag;
}

std::string Host::LeakReport() const {
    std::string report;
    for (const auto& [tag, count] : LiveBlocksByTag()) {
        report += "live allocation: " + std::to_string(count) + " block(s) tagged \"" + tag + "\"\n";
    }
    for (const auto& [handle, file] : files_) report += "open host file: " + file->path + "\n";
    for (const auto& [name, data] : sourceNames_) {
        if (!data.transient) report += "source file name not freed: " + name + "\n";
    }
    for (const std::string& v : violations_) report += "host interface misuse: " + v + "\n";
    return report;
}

void Host::AdoptBlock(void* block) {
    if (block == nullptr) return;
    if (blocks_.erase(block) == 0) {
        violations_.push_back("a block passed to the caller that Alloc did not give");
        return;
    }
    free(block);
}

void Host::FailNth(Fault f, int64_t n, const std::string& tag) {
    FaultSlot& slot = fault(f);
    slot.countdown = n;
    slot.tag = tag;
    slot.calls = 0;
}

void Host::ClearFaults() {
    for (FaultSlot& slot : faults_) slot = FaultSlot{};
}

bool Host::ShouldFail(Fault f, const char* tag) {
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

// Services call this from plugin frames: a log that cannot grow loses the
// entry rather than throw.
void Host::Log(std::string entry) {
    if (!options_.logCalls) return;
    try {
        calls_.push_back(std::move(entry));
    } catch (...) {
    }
}

}  // namespace cvx

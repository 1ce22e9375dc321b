// The host's own `host` table: attribute queries, accounting and fault
// injection (README.md says what each function does for a script); the
// file functions join it from file_library.cpp and stat_library.cpp.
#include <lauxlib.h>
#include <lua.h>

#include <cstring>

#include "host/conversions.h"
#include "host/host_state.h"
#include "host/script_tables.h"
#include "host/services.h"

namespace cvx {
namespace {

// The object type whose id is argument 1.
const HostState::ObjectType& CheckObjectType(lua_State* L) {
    const int64_t index = luaL_checkinteger(L, 1) - HostState::kFirstTypeId;
    if (index < 0 || index >= static_cast<int64_t>(H().objectTypes.size())) {
        luaL_argerror(L, 1, "unknown object type");
    }
    return H().objectTypes[static_cast<size_t>(index)];
}

int HostGetAttribute(lua_State* L) {
    const HostState::ObjectType& type = CheckObjectType(L);
    const int32_t attribute = TruncateToInt32(luaL_checknumber(L, 3));
    ObjectId id{};
    VmServiceTable()->GetObjectId(reinterpret_cast<VmState*>(L), 2, &id);
    const int before = lua_gettop(L);
    const int32_t result = type.handler(reinterpret_cast<VmState*>(L), attribute, &id);
    if (result != 1) RaiseCommandError(L, result);
    if (lua_gettop(L) != before + 1) H().violations.push_back("type handler stack imbalance");
    return 1;
}

// Walks the list as the host walks it.
int HostObjects(lua_State* L) {
    const HostState::ObjectType& type = CheckObjectType(L);
    lua_newtable(L);
    int n = 0;
    for (const ArchiveObject* r = *type.head; r != nullptr; r = r->next) {
        if (r->idHandle != 0) {
            if (!PushObjectHandle(L, r->idHandle)) return luaL_error(L, "not enough memory");
        } else {
            lua_pushinteger(L, r->idNumber);
        }
        lua_rawseti(L, -2, ++n);
    }
    return 1;
}

int HostLastErrorCode(lua_State* L) {
    lua_pushinteger(L, H().lastErrorCode);
    return 1;
}

// Counted in the table itself: no container of counts is alive when a
// table operation raises.
int HostAllocations(lua_State* L) {
    lua_newtable(L);
    for (const auto& [block, info] : H().blocks) {
        lua_getfield(L, -1, info.tag.c_str());
        const lua_Integer count = lua_tointeger(L, -1);
        lua_pop(L, 1);
        lua_pushinteger(L, count + 1);
        lua_setfield(L, -2, info.tag.c_str());
    }
    return 1;
}

int HostOpenFiles(lua_State* L) {
    lua_pushinteger(L, static_cast<lua_Integer>(H().files.size()));
    return 1;
}

int HostFailAlloc(lua_State* L) {
    const lua_Integer k = luaL_checkinteger(L, 1);
    const char* tag = luaL_optstring(L, 2, "");
    H().FailNth(Fault::Alloc, k, tag);
    return 0;
}

int HostFailVmAlloc(lua_State* L) {
    const lua_Integer k = luaL_checkinteger(L, 1);
    const bool inCallbacks = strcmp(luaL_optstring(L, 2, ""), "callback") == 0;
    FaultSlot& slot = H().fault(Fault::VmAlloc);
    const int64_t failures = slot.failures;
    H().FailNth(Fault::VmAlloc, k, inCallbacks ? "callback" : "");
    slot.failures = 0;
    lua_pushinteger(L, failures);
    return 1;
}

int HostFailIo(lua_State* L) {
    static const char* const kinds[] = {"open", "read", "write", "seek", "examine", "call", nullptr};
    static const Fault faults[] = {Fault::OpenFile,  Fault::ReadFile,    Fault::WriteFile,
                                   Fault::SeekFile,  Fault::ExamineFile, Fault::CallFunction};
    const int kind = luaL_checkoption(L, 1, nullptr, kinds);
    H().FailNth(faults[kind], luaL_checkinteger(L, 2), "");
    return 0;
}

int HostHelp(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    const CommandRecord* commands = H().entries.GetCommands();
    for (int i = 0; commands[i].name != nullptr; ++i) {
        if (strcmp(commands[i].name, name) != 0) continue;
        lua_pushstring(L, H().entries.GetHelpStrings()[i].text);
        return 1;
    }
    return 0;
}

int HostInCallback(lua_State* L) {
    lua_pushboolean(L, H().inCallback);
    return 1;
}

}  // namespace

void OpenHostLibrary(lua_State* L) {
    static const luaL_Reg functions[] = {
        {"GetAttribute", HostGetAttribute},
        {"Objects", HostObjects},
        {"LastErrorCode", HostLastErrorCode},
        {"Allocations", HostAllocations},
        {"OpenFiles", HostOpenFiles},
        {"FailAlloc", HostFailAlloc},
        {"FailIo", HostFailIo},
        {"FailVmAlloc", HostFailVmAlloc},
        {"Help", HostHelp},
        {"InCallback", HostInCallback},
        {nullptr, nullptr},
    };
    lua_getglobal(L, "host");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
    }
    luaL_setfuncs(L, functions, 0);
    AddFileFunctions(L);
    AddStatFunctions(L);
    lua_setglobal(L, "host");
}

}  // namespace cvx

// The plugin's library as scripts see it: one Lua function per command row,
// the constants as globals.
#include <lauxlib.h>
#include <lua.h>

#include <string>

#include "host/host_state.h"
#include "host/script_tables.h"
#include "host/services.h"

namespace cvx {
namespace {

// Calls the command row of the upvalue. A command returns its result count
// (0 or 1) or an error code; the stack must grow by exactly that count.
int CommandTrampoline(lua_State* L) {
    const auto* row = static_cast<const CommandRecord*>(lua_touserdata(L, lua_upvalueindex(1)));
    const int before = lua_gettop(L);
    const int32_t result = row->handler(reinterpret_cast<VmState*>(L));
    if (result != 0 && result != 1) RaiseCommandError(L, result);
    if (lua_gettop(L) != before + result) {
        H().violations.push_back(std::string("zip.") + row->name + " left the stack at " +
                                  std::to_string(lua_gettop(L)) + ", expected " +
                                  std::to_string(before + result));
    }
    return result;
}

}  // namespace

void OpenScriptLibrary(lua_State* L) {
    const char* name = H().entries.GetBaseTable();
    const CommandRecord* commands = H().entries.GetCommands();
    lua_newtable(L);
    for (const CommandRecord* row = commands; row->name != nullptr; ++row) {
        lua_pushlightuserdata(L, const_cast<CommandRecord*>(row));
        lua_pushcclosure(L, CommandTrampoline, 1);
        lua_setfield(L, -2, row->name);
    }
    lua_setglobal(L, name);

    const ConstantRecord* constants = H().entries.GetConstants();
    for (const ConstantRecord* row = constants; row->name != nullptr; ++row) {
        VmServiceTable()->PushNumber(reinterpret_cast<VmState*>(L), row->value);
        lua_setglobal(L, row->name);
    }
}

}  // namespace cvx

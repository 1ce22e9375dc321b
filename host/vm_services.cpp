// Sub-table 10: the script VM, one operation per Lua C API call. The
// Check and Opt operations raise Lua's usual argument errors, which unwind
// with longjmp: nothing in these functions needs a destructor at that point.
#include <lauxlib.h>
#include <lua.h>

#include <cmath>

#include "host/host.h"
#include "host/services.h"

namespace cvx {
namespace {

lua_State* S(VmState* vm) { return reinterpret_cast<lua_State*>(vm); }

// Key of the registry table that holds the errors raised by callbacks,
// under the codes CallFunction returned for them.
const char kCallbackErrors = 0;

int32_t GetTop(VmState* vm) { return lua_gettop(S(vm)); }
void SetTop(VmState* vm, int32_t index) { lua_settop(S(vm), index); }
void PushValue(VmState* vm, int32_t index) { lua_pushvalue(S(vm), index); }
int32_t IsNotNil(VmState* vm, int32_t index) { return lua_isnoneornil(S(vm), index) ? 0 : 1; }
double ToNumber(VmState* vm, int32_t index) { return lua_tonumber(S(vm), index); }

// Integral values become Lua integers, so scripts print 3 rather than 3.0.
void PushNumber(VmState* vm, double value) {
    if (std::isfinite(value) && value == std::floor(value) && value >= -9.007199254740992e15 &&
        value <= 9.007199254740992e15) {
        lua_pushinteger(S(vm), static_cast<lua_Integer>(value));
    } else {
        lua_pushnumber(S(vm), value);
    }
}

void PushStringLen(VmState* vm, const char* text, size_t length) {
    lua_pushlstring(S(vm), text, length);
}
void PushString(VmState* vm, const char* text) { lua_pushstring(S(vm), text); }
void PushHandle(VmState* vm, uintptr_t handle) {
    lua_pushlightuserdata(S(vm), reinterpret_cast<void*>(handle));
}
void GetTable(VmState* vm, int32_t table) { lua_gettable(S(vm), table); }
void NewTable(VmState* vm) { lua_newtable(S(vm)); }
void SetTable(VmState* vm, int32_t table) { lua_settable(S(vm), table); }

int32_t CallFunction(VmState* vm, int32_t args, int32_t results, int32_t) {
    lua_State* L = S(vm);
    Host& host = *ActiveHost();
    host.Log("CallFunction(" + std::to_string(args) + "," + std::to_string(results) + ")");
    if (host.ShouldFail(Fault::CallFunction)) {
        lua_pop(L, args + 1);
        lua_pushstring(L, "injected callback failure");
    } else if (lua_pcall(L, args, results, 0) == LUA_OK) {
        return 0;
    }
    // Keep the callback's error under a fresh code, so that a command that
    // returns the code makes the script see the callback's own error.
    const int32_t code = host.nextCallbackCode_++;
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_rawsetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    }
    lua_insert(L, -2);
    lua_rawseti(L, -2, code);
    lua_pop(L, 1);
    return code;
}

const char* CheckString(VmState* vm, int32_t index, size_t* length) {
    return luaL_checklstring(S(vm), index, length);
}
const char* OptString(VmState* vm, int32_t index, const char* def, size_t* length) {
    return luaL_optlstring(S(vm), index, def, length);
}
double CheckNumber(VmState* vm, int32_t index) { return luaL_checknumber(S(vm), index); }
double OptNumber(VmState* vm, int32_t index, double def) {
    return luaL_optnumber(S(vm), index, def);
}
void CheckTable(VmState* vm, int32_t index) { luaL_checktype(S(vm), index, LUA_TTABLE); }
void CheckFunction(VmState* vm, int32_t index) { luaL_checktype(S(vm), index, LUA_TFUNCTION); }

// A number gives (number, 0); a handle gives (0, handle).
void GetObjectId(VmState* vm, int32_t index, ObjectId* id) {
    lua_State* L = S(vm);
    if (lua_type(L, index) == LUA_TLIGHTUSERDATA) {
        *id = ObjectId{0, reinterpret_cast<uintptr_t>(lua_touserdata(L, index))};
        return;
    }
    if (lua_type(L, index) != LUA_TNUMBER) {
        luaL_typeerror(L, index, "object identifier (number or handle)");
    }
    *id = ObjectId{TruncateToInt32(lua_tonumber(L, index)), 0};
}

const char* CheckFileName(VmState* vm, int32_t index) { return luaL_checkstring(S(vm), index); }

// Nil asks for an automatic identifier: a non-zero handle word, which the
// plugin replaces with the address of its record.
void GetNewObjectId(VmState* vm, int32_t index, ObjectId* id) {
    if (lua_isnoneornil(S(vm), index)) {
        *id = ObjectId{0, 1};
        return;
    }
    GetObjectId(vm, index, id);
}

const VmServices kVm = [] {
    VmServices v{};
    v.GetTop = GetTop;
    v.SetTop = SetTop;
    v.PushValue = PushValue;
    v.IsNotNil = IsNotNil;
    v.ToNumber = ToNumber;
    v.PushNumber = PushNumber;
    v.PushStringLen = PushStringLen;
    v.PushString = PushString;
    v.PushHandle = PushHandle;
    v.GetTable = GetTable;
    v.NewTable = NewTable;
    v.SetTable = SetTable;
    v.CallFunction = CallFunction;
    v.CheckString = CheckString;
    v.OptString = OptString;
    v.CheckNumber = CheckNumber;
    v.OptNumber = OptNumber;
    v.CheckTable = CheckTable;
    v.CheckFunction = CheckFunction;
    v.GetObjectId = GetObjectId;
    v.CheckFileName = CheckFileName;
    v.GetNewObjectId = GetNewObjectId;
    return v;
}();

// Pushes the error value for code; returns false when it is a plain
// message (already pushed) rather than a callback's own error value.
bool PushCommandError(lua_State* L, int32_t code) {
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    if (lua_istable(L, -1) && lua_rawgeti(L, -1, code) != LUA_TNIL) {
        lua_pushnil(L);
        lua_rawseti(L, -3, code);  // each stored error is raised once
        lua_remove(L, -2);
        return true;
    }
    lua_pop(L, lua_istable(L, -1) ? 2 : 1);
    luaL_where(L, 1);
    std::string message = ErrorMessage(code);
    if (message.empty()) message = "unknown error code " + std::to_string(code);
    lua_pushstring(L, message.c_str());
    lua_concat(L, 2);
    return false;
}

}  // namespace

const VmServices* VmServiceTable() { return &kVm; }

void RaiseCommandError(lua_State* L, int32_t code) {
    ActiveHost()->lastErrorCode_ = code;
    PushCommandError(L, code);  // returns before the raise: its strings are gone
    ActiveHost()->errorArg_.clear();
    lua_error(L);
    __builtin_unreachable();
}

std::string ErrorMessage(int32_t code) {
    const Host& host = *ActiveHost();
    std::string text;
    const int64_t index = static_cast<int64_t>(code) - Host::kFirstErrorCode;
    if (index >= 0 && index < static_cast<int64_t>(host.errorMessages_.size())) {
        text = host.errorMessages_[static_cast<size_t>(index)];
    } else {
        switch (code) {
            case kErrNoMemory: text = "Out of memory!"; break;
            case kErrShortWrite: text = "Could not write all data to the file!"; break;
            case kErrOpenForReading: text = "Cannot open file %s for reading!"; break;
            case kErrOpenForWriting: text = "Cannot open file %s for writing!"; break;
            case kErrBadValue: text = "Argument value is not acceptable!"; break;
            case kErrUnknownAttribute: text = "Unknown attribute for this object type!"; break;
            default: return "";
        }
    }
    const size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, host.errorArg_);
    return text;
}

}  // namespace cvx

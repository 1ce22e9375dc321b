// Sub-table 10: the script VM, one operation per Lua C API call; the Check
// and Opt operations raise Lua's argument errors (longjmp: nothing here
// needs a destructor then). Two duties beyond the Lua C API:
// - Handles. A script sees not a handle word (a record's address, reused
//   once the record is freed) but a token of the host's, dead from the
//   moment the object is unregistered, whatever record later lives there.
// - Callback arguments. From tag 31 being set until CallFunction they are
//   built, possibly inside libzip, where nothing may unwind: the operations
//   that allocate run protected; when memory runs out they keep the stack's
//   shape (nil for a value) and CallFunction returns kErrNoMemory.
#include <lauxlib.h>
#include <lua.h>

#include <cmath>
#include <cstring>

#include "host/conversions.h"
#include "host/host_state.h"
#include "host/services.h"

namespace cvx {
namespace {

lua_State* S(VmState* vm) { return reinterpret_cast<lua_State*>(vm); }

// Key of the registry table that holds the errors raised by callbacks,
// under the codes CallFunction returned for them.
const char kCallbackErrors = 0;

// The handle word a dead token gives: the address of this host variable,
// which no plugin record can have.
const uintptr_t kDeadHandle = 0;

// Tokens are odd; records, and so handle words, are aligned. A light
// userdata that is even is a word some host code pushed as it is.
bool IsToken(uintptr_t value) { return (value & 1) != 0; }

bool IsListed(uintptr_t word) {
    for (const HostState::ObjectType& type : H().objectTypes) {
        for (const ArchiveObject* r = *type.head; r != nullptr; r = r->next) {
            if (r->idHandle == word) return true;
        }
    }
    return false;
}

// The token for a handle word: the live one; a new one when a listed
// record has the word but its last token died (a new object at a reused
// address); else the last one made, dead (the handle of an object being
// closed, as its close's progress callback names it). False when the
// host's own memory ran short.
bool TokenFor(uintptr_t word, uintptr_t* token) {
    HostState& host = H();
    try {
        auto it = host.handles.find(word);
        if (it != host.handles.end() && (it->second.live || !IsListed(word))) {
            *token = it->second.token;
            return true;
        }
        const uintptr_t fresh = (host.nextToken++ << 1) | 1;
        const bool live = IsListed(word);
        if (live) host.liveTokens[fresh] = word;
        host.handles[word] = HostState::Handle{fresh, live};
        *token = fresh;
        return true;
    } catch (...) {
        return false;
    }
}

// Runs op protected on the top args values, leaving its results; on
// failure (memory) the args are gone and nothing is pushed.
bool Protected(lua_State* L, lua_CFunction op, int args, int results) {
    if (!lua_checkstack(L, 2)) {
        lua_pop(L, args);
        return false;
    }
    lua_pushcfunction(L, op);
    lua_insert(L, -(args + 1));
    if (lua_pcall(L, args, results, 0) == LUA_OK) return true;
    lua_pop(L, 1);
    return false;
}

// While a callback's arguments are built: runs op protected, or, once
// memory has run short, not at all; then pushes nils for its results.
// False when the caller is to do the operation itself, unprotected.
bool WhilePreparing(lua_State* L, lua_CFunction op, int args, int results) {
    HostState& host = H();
    if (!host.preparingCall) return false;
    if (host.callMemoryShort) {
        lua_pop(L, args);
    } else if (Protected(L, op, args, results)) {
        return true;
    } else {
        host.callMemoryShort = true;
    }
    for (int i = 0; i < results; ++i) lua_pushnil(L);
    return true;
}

int NewTableOp(lua_State* L) {
    lua_newtable(L);
    return 1;
}
int PushStringOp(lua_State* L) {
    const char* text = static_cast<const char*>(lua_touserdata(L, 1));
    lua_pushlstring(L, text, static_cast<size_t>(lua_tointeger(L, 2)));
    return 1;
}
int SetTableOp(lua_State* L) {
    lua_settable(L, 1);
    return 0;
}

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
    lua_State* L = S(vm);
    if (H().preparingCall) {
        lua_pushlightuserdata(L, const_cast<char*>(text));
        lua_pushinteger(L, static_cast<lua_Integer>(length));
        if (WhilePreparing(L, PushStringOp, 2, 1)) return;
    }
    lua_pushlstring(L, text, length);
}
// As lua_pushstring, null gives nil.
void PushString(VmState* vm, const char* text) {
    if (text == nullptr) return lua_pushnil(S(vm));
    PushStringLen(vm, text, strlen(text));
}
void PushHandle(VmState* vm, uintptr_t handle) {
    if (!PushObjectHandle(S(vm), handle)) {
        lua_pushnil(S(vm));  // the host's own memory ran short
        if (!H().preparingCall) luaL_error(S(vm), "not enough memory");
        H().callMemoryShort = true;
    }
}
void GetTable(VmState* vm, int32_t table) { lua_gettable(S(vm), table); }
void NewTable(VmState* vm) {
    if (!WhilePreparing(S(vm), NewTableOp, 0, 1)) lua_newtable(S(vm));
}
void SetTable(VmState* vm, int32_t table) {
    lua_State* L = S(vm);
    if (H().preparingCall) {
        // Below the key and value: the operation, then the table.
        const int at = lua_absindex(L, table);
        if (lua_checkstack(L, 1)) {
            lua_pushvalue(L, at);
            lua_rotate(L, -3, 1);
            if (WhilePreparing(L, SetTableOp, 3, 0)) return;
        }
        lua_pop(L, 2);
        H().callMemoryShort = true;
        return;
    }
    lua_settable(L, table);
}

// Keeps the error value on top under a fresh code (popping it), so that a
// command that returns the code makes the script see the callback's own
// error; kErrNoMemory when there is no memory to keep it.
int KeepErrorOp(lua_State* L) {
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        lua_newtable(L);
        lua_pushvalue(L, -1);
        lua_rawsetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    }
    lua_pushvalue(L, 2);
    lua_rawseti(L, -2, lua_tointeger(L, 1));
    return 0;
}
int32_t KeepCallbackError(lua_State* L) {
    const int32_t code = H().nextCallbackCode++;
    lua_pushinteger(L, code);
    lua_insert(L, -2);
    return Protected(L, KeepErrorOp, 2, 0) ? code : kErrNoMemory;
}

int InjectedFailureOp(lua_State* L) {
    lua_pushstring(L, "injected callback failure");
    return 1;
}

// Never raises: it may be called from inside libzip.
int32_t CallFunction(VmState* vm, int32_t args, int32_t results, int32_t) {
    lua_State* L = S(vm);
    HostState& host = H();
    host.preparingCall = false;
    host.Log("CallFunction(%d,%d)", args, results);
    if (host.callMemoryShort) {
        host.callMemoryShort = false;
        lua_pop(L, args + 1);
        return kErrNoMemory;
    }
    if (host.ShouldFail(Fault::CallFunction)) {
        lua_pop(L, args + 1);
        if (!Protected(L, InjectedFailureOp, 0, 1)) return kErrNoMemory;
    } else if (lua_pcall(L, args, results, 0) == LUA_OK) {
        return 0;
    }
    return KeepCallbackError(L);
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

// A number gives (number, 0); a handle gives (0, handle word) while its
// object lives, and a word that names no object once it is gone.
void GetObjectId(VmState* vm, int32_t index, ObjectId* id) {
    lua_State* L = S(vm);
    if (lua_type(L, index) == LUA_TLIGHTUSERDATA) {
        const auto value = reinterpret_cast<uintptr_t>(lua_touserdata(L, index));
        uintptr_t word = value;
        if (IsToken(value)) {
            const auto it = H().liveTokens.find(value);
            word = it != H().liveTokens.end() ? it->second
                                               : reinterpret_cast<uintptr_t>(&kDeadHandle);
        }
        *id = ObjectId{0, word};
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

// The message registered or known for code, its "%s" unfilled.
const char* ErrorText(int32_t code) {
    const HostState& host = H();
    const int64_t index = static_cast<int64_t>(code) - HostState::kFirstErrorCode;
    if (index >= 0 && index < static_cast<int64_t>(host.errorMessages.size())) {
        return host.errorMessages[static_cast<size_t>(index)].c_str();
    }
    switch (code) {
        case kErrNoMemory: return "Out of memory!";
        case kErrShortWrite: return "Could not write all data to the file!";
        case kErrOpenForReading: return "Cannot open file %s for reading!";
        case kErrOpenForWriting: return "Cannot open file %s for writing!";
        case kErrBadValue: return "Argument value is not acceptable!";
        case kErrUnknownAttribute: return "Unknown attribute for this object type!";
        default: return nullptr;
    }
}

// Pushes the error value for code: a callback's own error value, kept under
// the code, or the message with the script position in front.
void PushCommandError(lua_State* L, int32_t code) {
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kCallbackErrors);
    if (lua_istable(L, -1) && lua_rawgeti(L, -1, code) != LUA_TNIL) {
        lua_pushnil(L);
        lua_rawseti(L, -3, code);  // each stored error is raised once
        lua_remove(L, -2);
        return;
    }
    lua_pop(L, lua_istable(L, -1) ? 2 : 1);
    luaL_where(L, 1);
    const char* message = ErrorMessage(code);
    if (message == nullptr) {
        lua_pushfstring(L, "unknown error code %d", code);
    } else {
        lua_pushstring(L, message);
    }
    lua_concat(L, 2);
}

}  // namespace

const VmServices* VmServiceTable() { return &kVm; }

bool PushObjectHandle(lua_State* L, uintptr_t word) {
    uintptr_t token = 0;
    if (!TokenFor(word, &token)) return false;
    lua_pushlightuserdata(L, reinterpret_cast<void*>(token));
    return true;
}

void ForgetHandle(uintptr_t word) {
    HostState& host = H();
    const auto it = host.handles.find(word);
    if (it == host.handles.end() || !it->second.live) return;
    host.liveTokens.erase(it->second.token);
    it->second.live = false;
}

const char* ErrorMessage(int32_t code) {
    const char* text = ErrorText(code);
    if (text == nullptr) return nullptr;
    std::string& message = H().errorMessage;
    try {
        message = text;
        const size_t at = message.find("%s");
        if (at != std::string::npos) message.replace(at, 2, H().errorArg);
        return message.c_str();
    } catch (...) {
        return text;
    }
}

void RaiseCommandError(lua_State* L, int32_t code) {
    H().lastErrorCode = code;
    PushCommandError(L, code);  // returns before the raise: its strings are gone
    H().errorArg.clear();
    lua_error(L);
    __builtin_unreachable();
}

}  // namespace cvx

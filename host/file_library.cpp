// host.OpenFile, host.ReadFile and the file object they make (README.md
// describes them as scripts see them). The options `archive`, `file` and
// `offset` become open tags 2 and 3, 5 and 4 (host/source_names.h).
#include <lauxlib.h>
#include <lua.h>

#include <algorithm>
#include <climits>

#include "host/host_state.h"
#include "host/script_tables.h"
#include "host/services.h"
#include "host/source_names.h"

namespace cvx {

// A script's file object. While it is open it is in the host's list of open
// file objects (HostState::scriptFiles), linked through its own fields: the
// userdata never moves, and linking allocates nothing.
struct FileObject {
    void* adapter;       // an open adapter file, or null
    HostFile real;       // an open real file, or 0
    FileObject* next;    // the next open file object
    FileObject** link;   // the pointer to this one in the list; null when closed
};

namespace {

constexpr char kFileType[] = "cvxhost.file";
constexpr int32_t kReadBlock = 65536;

const PluginEntries& Plugin() { return H().entries; }
const FileServices& Files() { return *FileServiceTable(); }

FileObject* CheckFile(lua_State* L) {
    return static_cast<FileObject*>(luaL_checkudata(L, 1, kFileType));
}

FileObject* CheckOpenFile(lua_State* L) {
    FileObject* f = CheckFile(L);
    if (f->adapter == nullptr && f->real == 0) luaL_error(L, "attempt to use a closed file");
    return f;
}

int32_t ReadObject(FileObject* f, char* out, int32_t count) {
    return f->adapter != nullptr ? Plugin().FRead(f->adapter, out, count)
                                 : Files().ReadFile(f->real, out, count);
}

void CloseObject(FileObject* f) {
    if (f->adapter != nullptr) Plugin().FClose(f->adapter);
    if (f->real != 0) Files().CloseFile(f->real);
    f->adapter = nullptr;
    f->real = 0;
    if (f->link == nullptr) return;
    *f->link = f->next;
    if (f->next != nullptr) f->next->link = f->link;
    f->link = nullptr;
}

// ----------------------------------------------------------- file methods

int FileRead(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    const lua_Integer wanted = luaL_checkinteger(L, 2);
    const int32_t count =
        static_cast<int32_t>(std::clamp<lua_Integer>(wanted, INT32_MIN, INT32_MAX));
    luaL_Buffer b;
    char* out = luaL_buffinitsize(L, &b, count > 0 ? static_cast<size_t>(count) : 0);
    const int32_t n = ReadObject(f, out, count);
    luaL_pushresultsize(&b, n > 0 ? static_cast<size_t>(n) : 0);
    return 1;
}

int FileGetC(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    int32_t c = -1;
    if (f->adapter != nullptr) {
        c = Plugin().FGetC(f->adapter);
    } else {
        unsigned char byte = 0;
        if (Files().ReadFile(f->real, &byte, 1) == 1) c = byte;
    }
    c < 0 ? lua_pushnil(L) : lua_pushinteger(L, c);
    return 1;
}

int FileSeek(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    const lua_Integer offset = luaL_checkinteger(L, 2);
    const auto mode = static_cast<int32_t>(luaL_optinteger(L, 3, kSeekStart));
    lua_pushinteger(L, f->adapter != nullptr ? Plugin().FSeek(f->adapter, offset, mode)
                                             : Files().SeekFile(f->real, offset, mode));
    return 1;
}

int FileEof(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    if (f->adapter != nullptr) {
        lua_pushboolean(L, Plugin().FEof(f->adapter) != 0);
        return 1;
    }
    StatRecord r{};
    const int64_t at = Files().SeekFile(f->real, 0, kSeekCurrent);
    lua_pushboolean(L, Files().ExamineFile(f->real, 0, &r, 0) == 0 || at < 0 || at >= r.size);
    return 1;
}

int FileStat(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    const int32_t flags = StatFlags(L, 2);
    StatRecord r{};
    if (f->adapter != nullptr) {
        if (Plugin().FStat(f->adapter, flags, &r) == 0) return 0;
        PushAdapterStat(L, r, flags);
    } else {
        if (Files().ExamineFile(f->real, 0, &r, 0) == 0) return 0;
        PushStatTable(L, r, "file");
    }
    return 1;
}

int FileClose(lua_State* L) {
    CloseObject(CheckFile(L));
    lua_pushboolean(L, 1);
    return 1;
}

int FileSource(lua_State* L) {
    FileObject* f = CheckOpenFile(L);
    lua_pushstring(L, f->adapter != nullptr ? "adapter" : "file");
    return 1;
}

// A file left open when its object is collected is closed then; those still
// open when the script is over are closed by CloseScriptFiles.
int FileCollect(lua_State* L) {
    CloseObject(CheckFile(L));
    return 0;
}

// ------------------------------------------------------------ host.OpenFile

// Plain data only: option errors unwind through it with longjmp.
struct OpenRequest {
    const char* path;
    int32_t mode = kOpenRead;
    TagItem tags[6] = {};  // ended by tag 0
    int tagCount = 0;
    void Add(uint32_t tag, uintptr_t value) { tags[tagCount++] = TagItem{tag, value}; }
};

// Reads the options at index 2 into open tags. Raises on bad options,
// before anything is opened. The archive string stays referenced by the
// options table for the whole call.
void ReadOpenOptions(lua_State* L, OpenRequest* request) {
    if (lua_isnoneornil(L, 2)) return;
    luaL_checktype(L, 2, LUA_TTABLE);
    lua_getfield(L, 2, "mode");
    if (!lua_isnil(L, -1)) request->mode = static_cast<int32_t>(luaL_checkinteger(L, -1));
    lua_getfield(L, 2, "archive");
    if (!lua_isnil(L, -1)) {
        size_t length = 0;
        const char* bytes = luaL_checklstring(L, -1, &length);
        request->Add(2, reinterpret_cast<uintptr_t>(bytes));
        request->Add(3, static_cast<uintptr_t>(length));
    }
    lua_getfield(L, 2, "file");
    if (!lua_isnil(L, -1)) {
        auto* outer = static_cast<FileObject*>(luaL_checkudata(L, -1, kFileType));
        if (outer->real == 0) luaL_error(L, "option 'file' needs an open real file");
        request->Add(5, outer->real);
    }
    lua_getfield(L, 2, "offset");
    if (!lua_isnil(L, -1)) {
        request->Add(4, static_cast<uintptr_t>(luaL_checkinteger(L, -1)));
    }
    lua_pop(L, 4);
}

FileObject* NewFileObject(lua_State* L) {
    auto* f = static_cast<FileObject*>(lua_newuserdatauv(L, sizeof(FileObject), 0));
    *f = FileObject{nullptr, 0, nullptr, nullptr};
    luaL_setmetatable(L, kFileType);
    return f;
}

// Opens the file the arguments name into a fresh file object on top of the
// stack: the adapter first, then a real file. Null, with fail and a message
// pushed, when neither opens it.
FileObject* OpenArguments(lua_State* L, OpenRequest* request) {
    request->path = luaL_checkstring(L, 1);
    ReadOpenOptions(L, request);
    FileObject* f = NewFileObject(L);
    f->adapter = Plugin().FOpen(request->path, request->mode,
                                request->tagCount == 0 ? nullptr : request->tags);
    DropTransientSourceNames();
    if (f->adapter == nullptr) f->real = Files().OpenFile(request->path, request->mode);
    if (f->adapter != nullptr || f->real != 0) {
        f->next = H().scriptFiles;
        if (f->next != nullptr) f->next->link = &f->next;
        f->link = &H().scriptFiles;
        H().scriptFiles = f;
        return f;
    }
    luaL_pushfail(L);
    lua_pushfstring(L, "cannot open %s", request->path);
    return nullptr;
}

int HostOpenFile(lua_State* L) {
    OpenRequest request;
    return OpenArguments(L, &request) != nullptr ? 1 : 2;
}

int HostReadFile(lua_State* L) {
    OpenRequest request;
    FileObject* f = OpenArguments(L, &request);
    if (f == nullptr) return 2;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    int32_t n = 0;
    do {
        char* out = luaL_prepbuffsize(&b, kReadBlock);
        n = ReadObject(f, out, kReadBlock);
        if (n > 0) luaL_addsize(&b, static_cast<size_t>(n));
    } while (n > 0);
    // The adapter answers 0 both at the end and on failure.
    const bool failed =
        n < 0 || (f->adapter != nullptr && Plugin().FEof(f->adapter) == 0);
    CloseObject(f);
    if (failed) {
        luaL_pushfail(L);
        lua_pushfstring(L, "cannot read %s", request.path);
        return 2;
    }
    luaL_pushresult(&b);
    return 1;
}

}  // namespace

void CloseScriptFiles() {
    while (H().scriptFiles != nullptr) CloseObject(H().scriptFiles);
}

void AddFileFunctions(lua_State* L) {
    static const luaL_Reg methods[] = {
        {"Read", FileRead}, {"GetC", FileGetC},   {"Seek", FileSeek},     {"Eof", FileEof},
        {"Stat", FileStat}, {"Close", FileClose}, {"Source", FileSource}, {nullptr, nullptr},
    };
    if (luaL_newmetatable(L, kFileType)) {
        luaL_newlib(L, methods);
        lua_setfield(L, -2, "__index");
        lua_pushcfunction(L, FileCollect);
        lua_setfield(L, -2, "__gc");
    }
    lua_pop(L, 1);
    static const luaL_Reg functions[] = {
        {"OpenFile", HostOpenFile}, {"ReadFile", HostReadFile}, {nullptr, nullptr},
    };
    luaL_setfuncs(L, functions, 0);
}

}  // namespace cvx
